// The application's main thread while a job runs: the real main interface
// (offscreen) is handed an archive of 50,000 small stored entries as at a launch
// with files, extracts it with the registered preferences and quits by itself.
// The main thread's CPU time from the hand-over to the quit, per entry, is what
// the job costs the interface.
//
//   build/bench/app_bench    prints main_thread_us_per_entry=N (and the totals)
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/CVNAppController.h"
#include "app/CVNMainMenu.h"
#include "app/CVNUserDefaults.h"
#include "engine/CVNZipFileWriter.h"
#include "jobs/CVNLocalization.h"

namespace {

constexpr int kEntries = 50000;

double threadCPUSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// `count` stored entries of 16 bytes, each under a name of its own.
std::string smallEntriesArchive(const std::string& folder, int count) {
  const std::string source = folder + "/source.txt", archive = folder + "/entries.zip";
  std::FILE* file = std::fopen(source.c_str(), "w");
  std::fputs("sixteen bytes..\n", file);
  std::fclose(file);
  CVNZipFileWriter writer(archive);
  char name[32];
  for (int i = 0; i < count; ++i) {
    std::snprintf(name, sizeof name, "entry_%05d.txt", i);
    const std::string text(name);
    writer.writeFileName(std::u16string(text.begin(), text.end()), source, 0);
  }
  writer.closeFile();
  return archive;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QTemporaryDir scratch;
  if (!scratch.isValid()) return 1;
  const std::string folder = scratch.path().toStdString();
  const std::string archive = smallEntriesArchive(folder, kEntries);

  // A store of its own: the user's preferences stay untouched.
  CVNUserDefaults::setStandardUserDefaults(
      std::make_unique<CVNUserDefaults>(std::make_unique<QSettings>(
          scratch.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat)));
  CVNInstallLocalization(QStringLiteral("en"));
  CVNAppController::initialize();
  std::unique_ptr<CVNMainMenu> mainMenu = CVNMainMenu::load();
  CVNAppController* controller = mainMenu->appController();
  // exit(), not quit(): quit() asks the main window, which never closes.
  controller->setTerminationHandler([] { QCoreApplication::exit(0); });
  QCoreApplication::processEvents();

  const double cpu0 = threadCPUSeconds();
  const auto wall0 = std::chrono::steady_clock::now();
  // Before launch has finished, as `corvana entries.zip` hands it over: the
  // application quits once the job has ended without a warning.
  controller->openFiles({archive});
  controller->applicationDidFinishLaunching();
  QApplication::exec();
  const double cpu = threadCPUSeconds() - cpu0;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  mainMenu.reset();

  std::printf("main_thread_cpu_s=%.3f wall_s=%.3f entries=%d\n", cpu, wall, kEntries);
  std::printf("main_thread_us_per_entry=%.2f\n", cpu * 1e6 / kEntries);
  return 0;
}
