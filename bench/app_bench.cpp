// The application's main thread while a job runs: the real main interface
// (offscreen) is handed an archive of 50,000 small stored entries as at a launch
// with files, extracts it and quits by itself. The main thread's CPU time from
// the hand-over to the quit, per entry, is what the job costs the interface:
// with the registered preferences (warnings only), with every entry logged and
// the log window never shown, and with every entry logged and the log window
// opened from the tile before the job starts. Works in /dev/shm where it can,
// so that the disk stays out of the figures.
//
//   build/bench/app_bench    prints main_thread_us_per_entry=N,
//                            main_thread_us_per_entry_all_rows=N and
//                            main_thread_us_per_entry_log_shown=N (and the totals)
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
#include "app/CVNCollectionView.h"
#include "app/CVNCollectionViewItem.h"
#include "app/CVNMainMenu.h"
#include "app/CVNOperationsController.h"
#include "app/CVNUserDefaults.h"
#include "engine/CVNZipFileWriter.h"
#include "jobs/CVNLocalization.h"
#include "jobs/CVNLogModel.h"
#include "jobs/CVNOperation.h"

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

struct Run {
  const char* key;
  bool reportsOnlyWarnings;
  bool logShown;
};

// The main thread's CPU seconds for one extraction of `archive` in a fresh main
// interface; -1 when the job's log misses rows.
double mainThreadSeconds(const QTemporaryDir& scratch, const std::string& archive, const Run& run,
                         double& wall) {
  // A store of its own: the user's preferences stay untouched.
  const QString store =
      scratch.filePath(QStringLiteral("%1.ini").arg(QString::fromLatin1(run.key)));
  CVNUserDefaults::setStandardUserDefaults(
      std::make_unique<CVNUserDefaults>(std::make_unique<QSettings>(store, QSettings::IniFormat)));
  CVNAppController::initialize();
  CVNUserDefaults::standardUserDefaults().setObject(
      run.reportsOnlyWarnings ? 1 : 0, QString::fromLatin1(CVNReportsOnlyWarningsForExtractionKey));
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
  // The job waits for the main thread before it starts.
  if (run.logShown) mainMenu->collectionView()->items().front()->showDetail();
  QApplication::exec();
  const double cpu = threadCPUSeconds() - cpu0;
  wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();

  // The start row, one row per entry unless only warnings are logged, "Finished".
  const int rows = mainMenu->operationsController()->arrangedObjects().front()->logModel()->count();
  mainMenu.reset();
  return rows == (run.reportsOnlyWarnings ? 2 : kEntries + 2) ? cpu : -1;
}

// A scratch folder in memory where the system has one.
std::unique_ptr<QTemporaryDir> scratchFolder() {
  if (std::filesystem::is_directory("/dev/shm"))
    return std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/corvana-app-bench-XXXXXX"));
  return std::make_unique<QTemporaryDir>();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  const std::unique_ptr<QTemporaryDir> scratch = scratchFolder();
  if (!scratch->isValid()) return 1;
  const std::string archive = smallEntriesArchive(scratch->path().toStdString(), kEntries);
  CVNInstallLocalization(QStringLiteral("en"));

  int status = 0;
  for (const Run& run : {Run{"main_thread_us_per_entry", true, false},
                         Run{"main_thread_us_per_entry_all_rows", false, false},
                         Run{"main_thread_us_per_entry_log_shown", false, true}}) {
    double wall = 0;
    const double cpu = mainThreadSeconds(*scratch, archive, run, wall);
    if (cpu < 0) {
      std::fprintf(stderr, "%s: the job's log misses rows\n", run.key);
      status = 1;
      continue;
    }
    std::printf("%s_cpu_s=%.3f wall_s=%.3f entries=%d\n", run.key, cpu, wall, kEntries);
    std::printf("%s=%.2f\n", run.key, cpu * 1e6 / kEntries);
  }
  return status;
}
