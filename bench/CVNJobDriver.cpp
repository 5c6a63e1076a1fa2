#include "CVNJobDriver.h"

#include <sys/resource.h>

#include <QApplication>
#include <QLocale>
#include <chrono>
#include <clocale>
#include <cstdio>

#include "jobs/CVNLocalization.h"
#include "jobs/CVNLogModel.h"
#include "jobs/CVNOperation.h"
#include "jobs/CVNOperationQueue.h"

namespace {

constexpr int kMaxConcurrentJobs = 2;

void printJob(const CVNOperation& job) {
  const CVNLogModel& log = *job.logModel();
  for (int i = 0; i < log.count(); ++i) {
    const CVNLogRow& row = log.row(i);
    std::printf("%s\t%s\t%s\n", CVNEscapeField(row.iconName.toStdString()).c_str(),
                CVNEscapeField(row.messageKey.toStdString()).c_str(),
                CVNEscapeField(row.argument ? row.argument->toStdString() : std::string()).c_str());
  }
  std::printf("job\tsucceeded=%d\twarnings=%llu\toutput=%s\tstatus=%s\tresult=%s\n",
              job.succeeded() ? 1 : 0, static_cast<unsigned long long>(job.warningCount()),
              CVNEscapeField(job.outputPath()).c_str(),
              CVNEscapeField(job.status().toStdString()).c_str(),
              CVNEscapeField(job.result().toStdString()).c_str());
  std::fflush(stdout);
}

}  // namespace

std::string CVNEscapeField(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

int CVNRunJobsHeadless(int argc, char** argv, const CVNJobDriverRun& run) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  CVNInstallLocalization(QStringLiteral("en"));
  QLocale::setDefault(QLocale::c());
  // The C library's descriptions of failures in English as well.
  std::setlocale(LC_MESSAGES, "C");

  const auto started = std::chrono::steady_clock::now();
  std::optional<std::vector<std::shared_ptr<CVNOperation>>> made = run.makeJobs();
  if (!made) return 2;
  std::vector<std::shared_ptr<CVNOperation>> jobs = std::move(*made);
  CVNOperationQueue queue(kMaxConcurrentJobs);
  size_t remaining = jobs.size();
  bool allSucceeded = true;
  uint64_t entries = 0;
  uint64_t bytes = 0;
  for (const auto& job : jobs) {
    if (run.prepare) run.prepare(*job);
    // Queued: the rows and display values the job posted before it finished
    // are in place when this runs.
    QObject::connect(
        job.get(), &CVNOperation::CVNOperationDidFinish, &app,
        [&, job = job.get()](CVNOperation*) {
          printJob(*job);
          allSucceeded = allSucceeded && job->succeeded();
          if (run.entriesOf) entries += run.entriesOf(*job);
          bytes += job->currentValue();
          if (--remaining == 0) QCoreApplication::quit();
        },
        Qt::QueuedConnection);
  }
  for (const auto& job : jobs) queue.addOperation(job);
  if (remaining > 0) app.exec();

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  struct rusage usage;
  ::getrusage(RUSAGE_SELF, &usage);
  const double mbps = seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0;
  std::printf("entries=%llu bytes=%llu seconds=%.3f MBps=%.1f rss_kib=%ld\n",
              static_cast<unsigned long long>(entries), static_cast<unsigned long long>(bytes),
              seconds, mbps, usage.ru_maxrss);
  std::fflush(stdout);
  return allSucceeded ? 0 : 1;
}
