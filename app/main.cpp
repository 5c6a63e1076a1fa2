// corvana [FILE...]: the application. Files on the command line are handed over
// as the system does before launch has finished; when another Corvana already
// runs in this session, they go to it instead.
#include <unistd.h>

#include <QApplication>
#include <cerrno>
#include <string>
#include <vector>

#include "CVNBundle.h"
#include "app/CVNAppController.h"
#include "app/CVNApplicationService.h"
#include "app/CVNMainMenu.h"
#include "app/CVNSignalWatcher.h"
#include "app/CVNUpdateCheck.h"
#include "engine/io/RVDOSTime.h"
#include "jobs/CVNLocalization.h"

namespace {

std::string absolutePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return path;
    buffer.resize(buffer.size() * 2);
  }
  std::string cwd(buffer.data());
  if (cwd.back() != '/') cwd += '/';
  return cwd + path;
}

}  // namespace

int main(int argc, char** argv) {
  RVPinLocalTimeZone();
  QApplication app(argc, argv);
  const QString identifier =
      QString::fromUtf8(CVNBundleIdentifier.data(), CVNBundleIdentifier.size());
  QApplication::setApplicationName(QStringLiteral("Corvana"));
  QApplication::setApplicationVersion(
      QString::fromUtf8(CVNBundleVersion.data(), CVNBundleVersion.size()));
  QGuiApplication::setDesktopFileName(identifier);
  // Closing the main window is a quit request, answered by the controller.
  QApplication::setQuitOnLastWindowClosed(false);

  // QApplication has taken its own options (-platform, ...) out of argv; the
  // rest are files, kept as the file system's bytes.
  std::vector<std::string> filenames;
  for (int i = 1; i < argc; ++i) filenames.push_back(absolutePath(argv[i]));

  CVNApplicationService service;
  if (!service.registerService() && CVNApplicationService::isConnected()) {
    if (CVNApplicationService::handOver(filenames)) return 0;
    // The owner did not take the files (it may be quitting and have let the
    // name go meanwhile): this launch runs on its own, under the name if free.
    service.registerService();
  }

  CVNInstallLocalization();
  CVNAppController::initialize();
  std::unique_ptr<CVNMainMenu> mainMenu = CVNMainMenu::load();
  CVNAppController* controller = mainMenu->appController();
  service.setAppController(controller);
  CVNSignalWatcher signalWatcher([controller] { controller->terminateWithoutAsking(); });

  if (!filenames.empty()) controller->openFiles(filenames);
  controller->applicationDidFinishLaunching();
  CVNUpdateCheck::install(controller);
  if (filenames.empty()) controller->applicationOpenUntitledFile();
  const int status = QApplication::exec();
  mainMenu.reset();
  return status;
}
