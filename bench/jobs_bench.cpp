// The job base under load: the progress counter as the codec drives it, a job's
// log filling up with its window open, and what a log row costs in memory; and
// the passes the extraction job makes over an encrypted entry for one wrong
// password.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

#include "engine/CVNZipFileWriter.h"
#include "jobs/CVNLocalization.h"
#include "jobs/CVNLogModel.h"
#include "jobs/CVNLogWindow.h"
#include "jobs/CVNMainThread.h"
#include "jobs/CVNOperation.h"
#include "jobs/CVNOperationQueue.h"
#include "jobs/CVNUnarchiveOperation.h"

namespace {

constexpr uint64_t kBufferBytes = 256 * 1024;
constexpr int kLogRows = 100000;

// A job with nothing to do but take progress and log rows.
class IdleOperation : public CVNOperation {
 public:
  QString summary() const override { return {}; }
  void setInitialStatus() override {}

 protected:
  Texts texts() const override { return {"", "", "", ""}; }
  void open() override {}
  uint64_t firstPass() override { return 0; }
  void secondPass() override {}
  void onePass() override {}
  void close() override {}
  void removeOutput() override {}
  QString successDescription() const override { return {}; }
  QString finishedArgument() const override { return {}; }
};

void BM_IncreaseCurrentValue(benchmark::State& state) {
  IdleOperation job;
  job.execute();  // the main thread's progress timer runs as in a real job
  for (auto _ : state) job.increaseCurrentValue(kBufferBytes);
  benchmark::DoNotOptimize(job.currentValue());
}
BENCHMARK(BM_IncreaseCurrentValue);

void BM_LogModelAppendRow(benchmark::State& state) {
  CVNLogModel model;
  int i = 0;
  for (auto _ : state)
    model.appendRow({QStringLiteral("gem_okay.png"), QStringLiteral("Added"),
                     QStringLiteral("Added"), QStringLiteral("folder/file %1.txt").arg(++i)});
}
BENCHMARK(BM_LogModelAppendRow);

// Calls per second of increaseCurrentValue on a worker thread while the main
// thread runs its event loop and polls the counter, best of several rounds.
double progressCallsPerSecond() {
  constexpr int kCalls = 20'000'000;
  IdleOperation job;
  job.execute();
  double best = 0;
  for (int round = 0; round < 5; ++round) {
    std::atomic<bool> done{false};
    double seconds = 0;
    std::thread worker([&] {
      const auto t0 = std::chrono::steady_clock::now();
      for (int i = 0; i < kCalls; ++i) job.increaseCurrentValue(kBufferBytes);
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      done = true;
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    best = std::max(best, kCalls / seconds);
  }
  return best;
}

// Rows per second from the first logWithIconName on a worker thread until the
// open log window holds all rows and has painted them, best of three rounds.
double logRowsPerSecond() {
  double best = 0;
  for (int round = 0; round < 3; ++round) {
    IdleOperation job;
    auto* window = new CVNLogWindow(job.logModel());
    window->show();
    QCoreApplication::processEvents();
    const auto t0 = std::chrono::steady_clock::now();
    std::thread worker([&job] {
      for (int i = 0; i < kLogRows; ++i)
        job.logWithIconName(QStringLiteral("gem_okay.png"), "Added",
                            QStringLiteral("Photos/2024/Holiday/IMG_%1.JPG").arg(i));
    });
    while (job.logModel()->count() < kLogRows)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    worker.join();
    // The view lays the rows out and follows them to the bottom.
    QCoreApplication::processEvents();
    window->repaint();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    best = std::max(best, kLogRows / seconds);
    delete window;
  }
  return best;
}

// Counts every byte the codec credits, including those a failed try takes back.
class CreditCountingOperation : public CVNUnarchiveOperation {
 public:
  using CVNUnarchiveOperation::CVNUnarchiveOperation;
  void increaseCurrentValue(uint64_t byteCount) override {
    credited += byteCount;
    CVNUnarchiveOperation::increaseCurrentValue(byteCount);
  }
  std::atomic<uint64_t> credited{0};
};

// Passes over one stored 1 MiB entry (encrypted, from host MS-DOS: six
// candidate encodings) for the wrong ASCII text typed into the first sheet;
// the second sheet gets the right one. 0 when the job does not run through.
uint64_t wrongPasswordPasses() {
  constexpr uint64_t kEntryBytes = uint64_t{1} << 20;
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  const std::string source = folder + "/entry.bin";
  {
    std::ofstream out(source, std::ios::binary);
    std::vector<char> data(kEntryBytes);
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 2654435761u >> 24);
    out.write(data.data(), std::streamsize(data.size()));
  }
  const std::string archive = folder + "/a.zip";
  {
    CVNZipFileWriter writer(archive);
    writer.setPassword(std::vector<uint8_t>{'s', 'e', 'c', 'r', 'e', 't'});
    writer.writeFileName(u"entry.bin", source, 0);
    writer.closeFile();
  }
  auto job = std::make_shared<CreditCountingOperation>(archive);
  job->setIndeterminately(false);
  int sheets = 0;
  QObject::connect(
      job.get(), &CVNUnarchiveOperation::passwordSheetShown, job.get(),
      [&job, &sheets] {
        job->passwordTextField()->setText(++sheets == 1 ? QStringLiteral("wrong")
                                                        : QStringLiteral("secret"));
        job->submitPassword();
      },
      Qt::QueuedConnection);
  CVNOperationQueue queue(1);
  queue.addOperation(job);
  while (!queue.operations().empty()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  if (!job->succeeded()) return 0;
  // The right password's pass is the last.
  return job->credited.load() / kEntryBytes - 1;
}

// The resident set now, in bytes.
long residentBytes() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * ::sysconf(_SC_PAGESIZE);
}

// What one row costs a job's log: the growth of the resident set while a worker
// logs 1,000,000 item rows, each with an argument of 21 characters, until all
// are in the log, per row.
double logRowBytes() {
  constexpr int kRows = 1'000'000;
  IdleOperation job;
  QCoreApplication::processEvents();
  const long before = residentBytes();
  std::thread worker([&job] {
    for (int i = 0; i < kRows; ++i)
      job.logWithIconName(QStringLiteral("gem_okay.png"), "Log:展開した",
                          QStringLiteral("Photos/IMG_%1.JPG").arg(i, 6, 10, QLatin1Char('0')));
  });
  while (job.logModel()->count() < kRows) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  worker.join();
  return static_cast<double>(residentBytes() - before) / kRows;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  CVNInstallLocalization(QStringLiteral("en"));
  // First, before the other rounds leave freed memory to reuse.
  const double rowBytes = logRowBytes();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("progress_calls_per_s=%.0f\n", progressCallsPerSecond());
  std::printf("log_rows_per_s=%.0f\n", logRowsPerSecond());
  std::printf("wrong_password_passes=%llu\n",
              static_cast<unsigned long long>(wrongPasswordPasses()));
  std::printf("log_row_bytes=%.0f\n", rowBytes);
  return 0;
}
