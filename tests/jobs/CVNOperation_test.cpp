#include "jobs/CVNOperation.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <future>
#include <memory>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include "JobsTestSupport.h"
#include "engine/io/RVException.h"
#include "jobs/CVNLocalization.h"
#include "jobs/CVNLogModel.h"
#include "jobs/CVNMainThread.h"
#include "jobs/CVNOperationQueue.h"

namespace {

using Step = CVNScriptedOperation::Step;
using Script = std::function<void(CVNScriptedOperation&, Step)>;

// What the job tile shows, taken on the main thread.
struct Display {
  bool resultHidden;
  bool progressIndicatorHidden;
  bool asyncArrowsHidden;
  QString result;
  bool red;
  bool succeeded;
  bool executing;
  bool finished;
  QString status;

  bool operator==(const Display&) const = default;
};

void PrintTo(const Display& d, std::ostream* os) {
  *os << "{resultHidden " << d.resultHidden << ", bar hidden " << d.progressIndicatorHidden
      << ", arrows hidden " << d.asyncArrowsHidden << ", result \"" << d.result.toStdString()
      << "\", red " << d.red << ", succeeded " << d.succeeded << ", executing " << d.executing
      << ", finished " << d.finished << ", status \"" << d.status.toStdString() << "\"}";
}

Display displayOf(const CVNOperation& job) {
  return {job.resultHidden(),
          job.progressIndicatorHidden(),
          job.asyncArrowsHidden(),
          job.result(),
          job.resultTextColor() == QColor(Qt::red),
          job.succeeded(),
          job.isExecuting(),
          job.isFinished(),
          job.status()};
}

std::vector<std::string> iconsOf(const CVNLogModel& model) {
  std::vector<std::string> icons;
  for (int i = 0; i < model.count(); ++i) icons.push_back(model.row(i).iconName.toStdString());
  return icons;
}

void addBytes(CVNScriptedOperation& job, Step step) {
  if (step == Step::SecondPass || step == Step::OnePass) job.increaseCurrentValue(1234);
}

Script raiseAt(Step at, std::function<void(CVNScriptedOperation&)> raise) {
  return [at, raise](CVNScriptedOperation& job, Step step) {
    if (step == at) raise(job);
  };
}

// ---------------------------------------------------------------------------
// The display values through a job's life.

struct PhaseCase {
  const char* name;
  bool onePass;
  bool run;                     // queued at all
  std::optional<Step> pauseAt;  // taken while paused there, else once the job has ended
  Script script;
  Display expected;
  std::vector<std::string> icons;  // the rows' icons once the job has ended
  const char* lastMessageKey;      // the last row's key once the job has ended
  QString lastArgument;
  uint64_t warningCount;
};

using Icons = std::vector<std::string>;

std::vector<PhaseCase> phaseCases() {
  const QString waitText = CVNLocalizedString("Please wait...");
  const QString cancelled = CVNLocalizedString("Cancelled");
  const QString enoent = QStringLiteral("No such file or directory (errno = 2)");
  const QString eacces = QStringLiteral("Permission denied (errno = 13)");
  const Icons finished{"box.png", "box_okay.png"};
  const Icons failed{"box.png", "error_small.png"};
  return {
      {"Created", false, false, std::nullopt, nullptr,
       Display{false, true, true, waitText, false, false, false, false, "initial"}, Icons{},
       nullptr, QString(), 0},
      {"Started", false, true, Step::Open, nullptr,
       Display{true, true, true, waitText, false, false, true, false, "/tmp/out.zip"}, finished,
       "Finished", "out.zip", 0},
      {"TwoPassRunning", false, true, Step::SecondPass, nullptr,
       Display{true, false, true, waitText, false, false, true, false, "/tmp/out.zip"}, finished,
       "Finished", "out.zip", 0},
      {"OnePassRunning", true, true, Step::OnePass, nullptr,
       Display{false, true, false, "0 bytes", false, false, true, false, "/tmp/out.zip"}, finished,
       "Finished", "out.zip", 0},
      {"TwoPassSucceeded", false, true, std::nullopt, addBytes,
       Display{false, true, true, "1234 bytes", false, true, false, true, "/tmp/out.zip"}, finished,
       "Finished", "out.zip", 0},
      {"OnePassSucceeded", true, true, std::nullopt, addBytes,
       Display{false, true, true, "1234 bytes", false, true, false, true, "/tmp/out.zip"}, finished,
       "Finished", "out.zip", 0},
      {"Cancelled", false, true, std::nullopt,
       raiseAt(Step::SecondPass,
               [](CVNScriptedOperation& job) {
                 job.cancel();
                 CVNRaiseIfCancelled(&job);
               }),
       Display{false, true, true, cancelled, true, false, false, true, "initial"}, failed, "Failed",
       cancelled, 1},
      {"ExpectedException", true, true, std::nullopt,
       raiseAt(Step::OnePass, [](CVNScriptedOperation&) { CVNRaiseExpectedException(); }),
       Display{false, true, true, "", true, false, false, true, "initial"}, failed, "Failed", "",
       1},
      {"OtherException", false, true, std::nullopt,
       raiseAt(Step::Close, [](CVNScriptedOperation&) { RVRaiseFileSystemError(2); }),
       Display{false, true, true, enoent, true, false, false, true, "initial"}, failed, "Error",
       enoent, 1},
      {"FailureWhileOpening", false, true, std::nullopt,
       raiseAt(Step::Open, [](CVNScriptedOperation&) { RVRaiseFileSystemError(13); }),
       Display{false, true, true, eacces, true, false, false, true, "initial"}, failed, "Error",
       eacces, 1},
  };
}

void PrintTo(const PhaseCase& c, std::ostream* os) { *os << c.name; }

class CVNOperationPhaseTest : public ::testing::TestWithParam<PhaseCase> {};

TEST_P(CVNOperationPhaseTest, ShowsThePhase) {
  const PhaseCase& c = GetParam();
  CVNOperationQueue queue(2);
  auto job = std::make_shared<CVNScriptedOperation>();
  job->setIndeterminately(c.onePass);
  job->pauseAt = c.pauseAt;
  job->script = c.script;
  if (!c.run) {
    CVNDrainPostedBlocks();
    EXPECT_EQ(displayOf(*job), c.expected);
    EXPECT_TRUE(job->isIndeterminate());
    EXPECT_EQ(job->currentValue(), 0u);
    EXPECT_EQ(job->maxValue(), 0u);
    EXPECT_EQ(job->logModel()->count(), 0);
    return;
  }
  queue.addOperation(job);
  if (c.pauseAt) {
    ASSERT_TRUE(CVNSpinUntil([&] { return job->isPaused(); }));
    CVNDrainPostedBlocks();
    EXPECT_EQ(displayOf(*job), c.expected);
    EXPECT_EQ(job->isIndeterminate(), *c.pauseAt != Step::SecondPass);
    if (*c.pauseAt == Step::SecondPass) {
      EXPECT_EQ(job->maxValue(), job->firstPassTotal);
    }
    job->release();
  }
  ASSERT_TRUE(CVNSpinUntil([&] { return queue.operations().empty(); }));
  if (!c.pauseAt) {
    EXPECT_EQ(displayOf(*job), c.expected);
  }
  EXPECT_EQ(iconsOf(*job->logModel()), c.icons);
  const CVNLogRow& last = job->logModel()->row(job->logModel()->count() - 1);
  EXPECT_EQ(last.messageKey, QString::fromUtf8(c.lastMessageKey));
  EXPECT_EQ(last.argument, c.lastArgument);
  EXPECT_EQ(job->warningCount(), c.warningCount);
  EXPECT_EQ(job->removedOutput, c.warningCount > 0 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Phases, CVNOperationPhaseTest, ::testing::ValuesIn(phaseCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// What each kind of failure shows: the "Failed"/"Error" rule and the reason.

// A row logged before the failure.
struct Logged {
  const char* icon;
  const char* key;
  std::optional<QString> argument;
};
using Logs = std::vector<Logged>;

struct FailureCase {
  const char* name;
  std::function<void()> raise;
  const char* messageKey;
  QString result;
  std::optional<QString> argument = std::nullopt;  // the last row's, where not the result
  Logs logged = {};
  // The C library's texts in the language of the messages locale where it has
  // them, else in English. C.UTF-8 follows LANGUAGE: no generated locale needed.
  const char* language = nullptr;
};

const char* const kWarning = CVNIconWarning;

std::vector<FailureCase> failureCases() {
  return {
      {"Cancellation", [] { RVRaiseOperationCancelled(); }, "Failed",
       CVNLocalizedString("Cancelled")},
      {"Expected", [] { CVNRaiseExpectedException(); }, "Failed", ""},
      // The C library's words, then the number.
      {"FileSystem", [] { RVRaiseFileSystemError(5); }, "Error", "Input/output error (errno = 5)"},
      {"FileSystemUnknown", [] { RVRaiseFileSystemError(4242); }, "Error",
       "Unknown error 4242 (errno = 4242)"},
      {"FileSystemInJapanese", [] { RVRaiseFileSystemError(13); }, "Error",
       "許可がありません (errno = 13)", std::nullopt, Logs{}, "ja"},
      {"FileSystemInALanguageWithoutTexts", [] { RVRaiseFileSystemError(13); }, "Error",
       "Permission denied (errno = 13)", std::nullopt, Logs{}, "tlh"},
      // No reason: the name stands in, rather than a blank red line.
      {"DiskFull", [] { RVRaiseDiskFull(); }, "Error", CVNLocalizedString("RVDiskFullException")},
      {"DiskFullWrite", [] { throw RVException(RVDiskFullWriteException); }, "Error",
       CVNLocalizedString("Disk Full")},
      {"OutOfMemory", [] { throw std::bad_alloc(); }, "Error",
       CVNLocalizedString("RVOutOfMemoryException")},
      {"StandardException", [] { throw std::runtime_error("boom"); }, "Error", "boom"},
      {"Foreign", [] { throw 42; }, "Error", CVNLocalizedString("Error")},
      // A stop that the log explains shows the last warning's message and
      // argument on the tile; the "Failed" row keeps the empty reason.
      {"DamagedEntry", [] { CVNRaiseExpectedException(); }, "Failed", "Damaged data: photo.jpg",
       QString(), Logs{{kWarning, "Log:データが壊れている", "photo.jpg"}}},
      {"WarningWithoutArgument", [] { CVNRaiseExpectedException(); }, "Failed", "Skipped",
       QString(), Logs{{kWarning, "Skipped", std::nullopt}}},
      {"LastWarningCounts", [] { CVNRaiseExpectedException(); }, "Failed",
       "File name not readable: 3 bytes", QString(),
       Logs{{kWarning, "Skipped", "Thumbs.db"},
            {CVNIconItemSucceeded, "Log:展開した", "x.txt"},
            {kWarning, "Log:認識できないパス", "3 bytes"}}},
      {"CancelledAfterAWarning", [] { RVRaiseOperationCancelled(); }, "Failed",
       CVNLocalizedString("Cancelled"), std::nullopt, Logs{{kWarning, "Skipped", "Thumbs.db"}}},
      {"ErrorAfterAWarning", [] { RVRaiseFileSystemError(2); }, "Error",
       "No such file or directory (errno = 2)", std::nullopt,
       Logs{{kWarning, "Skipped", "Thumbs.db"}}},
  };
}

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class CVNOperationFailureTest : public ::testing::TestWithParam<FailureCase> {
 protected:
  void SetUp() override {
    if (!GetParam().language) return;
    const char* language = std::getenv("LANGUAGE");
    savedLanguage_ = language ? std::optional<std::string>(language) : std::nullopt;
    ASSERT_TRUE(std::setlocale(LC_MESSAGES, "C.UTF-8"));
    ::setenv("LANGUAGE", GetParam().language, 1);
  }
  void TearDown() override {
    if (!GetParam().language) return;
    savedLanguage_ ? ::setenv("LANGUAGE", savedLanguage_->c_str(), 1) : ::unsetenv("LANGUAGE");
    std::setlocale(LC_MESSAGES, "C");
  }

 private:
  std::optional<std::string> savedLanguage_;
};

TEST_P(CVNOperationFailureTest, LogsAndShowsTheReason) {
  const FailureCase& c = GetParam();
  if (c.language && !c.result.startsWith(QStringLiteral("Permission denied")) &&
      RVSystemErrorDescription(EACCES) == "Permission denied")
    GTEST_SKIP() << "the C library has no " << c.language << " texts here (package libc-l10n)";
  auto job = std::make_shared<CVNScriptedOperation>();
  job->setIndeterminately(false);
  job->script = raiseAt(Step::SecondPass, [&c](CVNScriptedOperation& j) {
    for (const Logged& row : c.logged)
      j.logWithIconName(QString::fromLatin1(row.icon), row.key, row.argument);
    c.raise();
  });
  ASSERT_TRUE(CVNRunToEnd(job));
  const int rows = 2 + static_cast<int>(c.logged.size());
  ASSERT_EQ(job->logModel()->count(), rows);
  const CVNLogRow& row = job->logModel()->row(rows - 1);
  EXPECT_EQ(row.iconName, QStringLiteral("error_small.png"));
  EXPECT_EQ(row.messageKey, QString::fromUtf8(c.messageKey));
  EXPECT_EQ(row.argument, c.argument.value_or(c.result));
  EXPECT_EQ(job->result(), c.result);
  EXPECT_EQ(job->resultTextColor(), QColor(Qt::red));
  EXPECT_EQ(job->status(), QStringLiteral("initial"));
  EXPECT_FALSE(job->succeeded());
  EXPECT_TRUE(job->isFinished());
  EXPECT_EQ(job->removedOutput, 1);
  EXPECT_EQ(job->closed, 0);
}

INSTANTIATE_TEST_SUITE_P(Failures, CVNOperationFailureTest, ::testing::ValuesIn(failureCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// "isWarned": always while every row is reported, else once a warning is logged.

struct WarnedCase {
  const char* name;
  bool reportsOnlyWarnings;
  std::vector<const char*> icons;
  bool warned;
  uint64_t warningCount;
};

void PrintTo(const WarnedCase& c, std::ostream* os) { *os << c.name; }

class CVNOperationWarnedTest : public ::testing::TestWithParam<WarnedCase> {};

TEST_P(CVNOperationWarnedTest, FollowsTheRows) {
  const WarnedCase& c = GetParam();
  CVNScriptedOperation job;
  job.setReportsOnlyWarnings(c.reportsOnlyWarnings);
  int announced = 0;
  QObject::connect(&job, &CVNOperation::isWarnedChanged, [&] { ++announced; });
  const bool before = job.isWarned();
  for (const char* icon : c.icons) job.logWithIconName(QString::fromLatin1(icon), "Row");
  EXPECT_EQ(job.isWarned(), c.warned);
  EXPECT_EQ(job.warningCount(), c.warningCount);
  EXPECT_EQ(announced > 0, before != c.warned);
  CVNDrainPostedBlocks();
  EXPECT_EQ(job.logModel()->count(), static_cast<int>(c.icons.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CVNOperationWarnedTest,
    ::testing::Values(
        WarnedCase{"AllRowsNone", false, {}, true, 0},
        WarnedCase{"AllRowsWarning", false, {"warning_triangle.png"}, true, 1},
        WarnedCase{"OnlyWarningsNone", true, {}, false, 0},
        WarnedCase{
            "OnlyWarningsSuccessRows", true, {"box.png", "gem_okay.png", "box_okay.png"}, false, 0},
        WarnedCase{"OnlyWarningsWarning", true, {"gem_okay.png", "warning_triangle.png"}, true, 1},
        WarnedCase{
            "OnlyWarningsError", true, {"error_small.png", "warning_triangle.png"}, true, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------

TEST(CVNOperation, FinishedAndCountedBeforeDidFinish) {
  auto job = std::make_shared<CVNScriptedOperation>();
  job->script = raiseAt(Step::OnePass, [](CVNScriptedOperation&) { RVRaiseFileSystemError(5); });
  std::atomic<int> calls{0};
  std::atomic<bool> finished{false};
  std::atomic<bool> executing{true};
  std::atomic<uint64_t> warnings{0};
  QObject::connect(
      job.get(), &CVNOperation::CVNOperationDidFinish, job.get(),
      [&](CVNOperation* operation) {
        ++calls;
        finished = operation->isFinished();
        executing = operation->isExecuting();
        warnings = operation->warningCount();
      },
      Qt::DirectConnection);
  ASSERT_TRUE(CVNRunToEnd(job));
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(finished);
  EXPECT_FALSE(executing);
  // The "Error" row was only posted when the notification went out, yet counted.
  EXPECT_EQ(warnings, 1u);
}

TEST(CVNOperation, StartRowAndTitleNameTheOutputAsOpened) {
  auto job = std::make_shared<CVNScriptedOperation>();
  auto* window = new QWidget;
  job->setLogWindow(window);
  // The worker moves on at once, long before the main thread gets to the rows.
  job->script = [](CVNScriptedOperation& j, Step step) {
    if (step == Step::Open) j.setStatus(QStringLiteral("first item"));
    if (step == Step::OnePass) RVRaiseOperationCancelled();
  };
  ASSERT_TRUE(CVNRunToEnd(job));
  EXPECT_EQ(job->logModel()->row(0).argument, QStringLiteral("/tmp/out.zip"));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("/tmp/out.zip"));
}

TEST(CVNOperation, RowWithoutArgumentHasNone) {
  CVNScriptedOperation job;
  job.logWithIconName(QStringLiteral("gem_okay.png"), "Row");
  job.logWithIconName(QStringLiteral("gem_okay.png"), "Row", QString());
  CVNDrainPostedBlocks();
  const QModelIndex none = job.logModel()->index(0);
  const QModelIndex empty = job.logModel()->index(1);
  EXPECT_FALSE(none.data(CVNLogModel::ArgumentRole).isValid());
  EXPECT_TRUE(empty.data(CVNLogModel::ArgumentRole).isValid());
  EXPECT_EQ(none.data(CVNLogModel::MessageKeyRole).toString(), QStringLiteral("Row"));
}

TEST(CVNOperation, ManyThreadsRaiseTheCounterExactly) {
  constexpr int kThreads = 4;
  constexpr int kCalls = 50000;
  constexpr uint64_t kChunk = 256 * 1024;
  CVNOperationQueue queue(1);
  auto job = std::make_shared<CVNScriptedOperation>();
  job->setIndeterminately(false);
  job->script = [](CVNScriptedOperation& j, Step step) {
    if (step != Step::SecondPass) return;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&j] {
        for (int i = 0; i < kCalls; ++i) j.increaseCurrentValue(kChunk);
      });
    for (auto& thread : threads) thread.join();
  };
  uint64_t shown = 0;
  QObject::connect(job.get(), &CVNOperation::currentValueChanged, job.get(),
                   [&] { shown = job->currentValue(); });
  queue.addOperation(job);
  uint64_t previous = 0;
  bool monotonic = true;
  ASSERT_TRUE(CVNSpinUntil([&] {
    const uint64_t now = job->currentValue();
    monotonic = monotonic && now >= previous && now % kChunk == 0;
    previous = now;
    return queue.operations().empty();
  }));
  EXPECT_TRUE(monotonic);
  EXPECT_EQ(job->currentValue(), kThreads * kCalls * kChunk);
  // What observers were last told is the final value.
  EXPECT_EQ(shown, kThreads * kCalls * kChunk);
}

// A count set back (a failed try's bytes) reaches observers like a raise, and
// the value they hear of last is the final one.
TEST(CVNOperation, ACounterSetBackReachesObservers) {
  auto job = std::make_shared<CVNScriptedOperation>();
  job->setIndeterminately(false);
  bool heard = false;  // under job->lock()
  job->script = [&heard](CVNScriptedOperation& j, Step step) {
    if (step != Step::SecondPass) return;
    j.increaseCurrentValue(1000);
    j.waitUntil([&heard] { return heard; });
    j.setCurrentValue(200);
  };
  std::vector<uint64_t> told;
  QObject::connect(job.get(), &CVNOperation::currentValueChanged, job.get(), [&] {
    told.push_back(job->currentValue());
    if (told.back() != 1000) return;
    {
      std::lock_guard<std::mutex> g(job->lock());
      heard = true;
    }
    job->wake();
  });
  ASSERT_TRUE(CVNRunToEnd(job));
  EXPECT_EQ(job->currentValue(), 200u);
  EXPECT_EQ(told, (std::vector<uint64_t>{1000, 200}));
  EXPECT_EQ(job->result(), QStringLiteral("200 bytes"));
}

TEST(CVNOperation, CancelWakesAWaitingWorkerAtOnce) {
  int asked = 0;  // under the job's lock
  CVNOperationQueue queue(1);
  auto job = std::make_shared<CVNScriptedOperation>();
  job->script = [&](CVNScriptedOperation& j, Step step) {
    if (step != Step::OnePass) return;
    j.waitUntil([&] {
      ++asked;
      return false;
    });
  };
  queue.addOperation(job);
  // The worker holds the lock from its first question until it waits, so once
  // the lock is ours after that question, it is waiting.
  ASSERT_TRUE(CVNSpinUntil([&] {
    std::lock_guard<std::mutex> g(job->lock());
    return asked > 0;
  }));
  const auto start = std::chrono::steady_clock::now();
  job->cancel();
  const bool finished = CVNSpinUntil([&] { return job->isFinished(); }, 5000);
  // The queue's end only cancels: without this the worker would wait for ever.
  if (!finished) job->wake();
  ASSERT_TRUE(finished) << "cancel() did not wake the waiting worker";
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  ASSERT_TRUE(CVNSpinUntil([&] { return queue.operations().empty(); }));
  EXPECT_EQ(job->logModel()->row(1).messageKey, QStringLiteral("Failed"));
}

TEST(CVNOperation, WakeMakesTheWorkerAskAgain) {
  CVNScriptedOperation job;
  bool ready = false;  // under job.lock()
  int asked = 0;       // under job.lock()
  std::promise<bool> woke;
  std::future<bool> answer = woke.get_future();
  std::thread worker([&] {
    try {
      job.waitUntil([&] {
        ++asked;
        return ready;
      });
      woke.set_value(true);
    } catch (const RVException&) {
      woke.set_value(false);  // only the cancellation below, once wake has failed
    }
  });
  // The worker holds the lock from its first question until it waits, so once
  // the lock is ours after that question, it is waiting.
  ASSERT_TRUE(CVNSpinUntil([&] {
    std::lock_guard<std::mutex> g(job.lock());
    if (asked == 0) return false;
    ready = true;
    return true;
  }));
  job.wake();
  const bool answered = answer.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  if (!answered) job.cancel();
  worker.join();
  EXPECT_TRUE(answered) << "the worker did not ask again after wake()";
  EXPECT_TRUE(answer.get());
}

TEST(CVNOperation, DestructionClearsTheDisplayAndTakesItsWindow) {
  auto job = std::make_unique<CVNScriptedOperation>();
  job->setResultTextColor(Qt::red);
  QPointer<QWidget> window = new QWidget;
  job->setLogWindow(window);
  QStringList statuses;
  QStringList results;
  QObject::connect(job.get(), &CVNOperation::statusChanged,
                   [&, j = job.get()] { statuses << j->status(); });
  QObject::connect(job.get(), &CVNOperation::resultChanged,
                   [&, j = job.get()] { results << j->result(); });
  bool colourCleared = false;
  QObject::connect(job.get(), &CVNOperation::resultTextColorChanged,
                   [&, j = job.get()] { colourCleared = !j->resultTextColor().isValid(); });
  // Blocks still queued for a job that goes must not run on it.
  bool ran = false;
  job->post([&] { ran = true; });
  job->logWithIconName(QStringLiteral("warning_triangle.png"), "Row");
  job.reset();
  CVNDrainPostedBlocks();
  EXPECT_FALSE(ran);
  EXPECT_EQ(statuses, QStringList{QString()});
  EXPECT_EQ(results, QStringList{QString()});
  EXPECT_TRUE(colourCleared);
  EXPECT_TRUE(window.isNull());
}

// ---------------------------------------------------------------------------
// The status the worker sets reaches observers coalesced, and its last value
// always reaches them.

struct StatusCase {
  const char* name;
  bool pauses;  // heard while the worker waits after its last change
  bool fails;
  QString expected;  // what observers heard last
};

class CVNOperationStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(CVNOperationStatusTest, ObserversHearTheLastValue) {
  constexpr int kChanges = 10000;
  const StatusCase& c = GetParam();
  // Outlives the job, which clears its status as it goes.
  QStringList heard;
  CVNOperationQueue queue(1);
  auto job = std::make_shared<CVNScriptedOperation>();
  job->setIndeterminately(false);
  if (c.pauses) job->pauseAt = Step::SecondPass;
  job->script = [&c](CVNScriptedOperation& j, Step step) {
    if (step != Step::SecondPass) return;
    for (int i = 0; i < kChanges; ++i) j.setStatus(QStringLiteral("item %1").arg(i));
    if (c.fails) RVRaiseOperationCancelled();
  };
  QObject::connect(job.get(), &CVNOperation::statusChanged, job.get(),
                   [&heard, j = job.get()] { heard << j->status(); });
  queue.addOperation(job);
  if (c.pauses) {
    EXPECT_TRUE(CVNSpinUntil(
        [&] { return job->isPaused() && !heard.isEmpty() && heard.last() == c.expected; }));
    job->release();
  }
  ASSERT_TRUE(CVNSpinUntil([&] { return queue.operations().empty(); }));
  CVNDrainPostedBlocks();
  ASSERT_FALSE(heard.isEmpty());
  if (!c.pauses) {
    EXPECT_EQ(heard.last(), c.expected);
  }
  EXPECT_EQ(heard.last(), job->status());
  // Told of the latest value now and then, not of every change.
  EXPECT_LT(heard.size(), kChanges);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, CVNOperationStatusTest,
    ::testing::Values(StatusCase{"WhileRunning", true, false, QStringLiteral("item 9999")},
                      StatusCase{"AfterSuccess", false, false, QStringLiteral("/tmp/out.zip")},
                      StatusCase{"AfterFailure", false, true, QStringLiteral("initial")}),
    [](const auto& info) { return std::string(info.param.name); });

// Rows share their icon and message texts, yet each keeps its own.
TEST(CVNOperation, RowsKeepTheirIconMessageAndArgument) {
  struct Row {
    const char* icon;
    const char* key;
    std::optional<QString> argument;
  };
  const std::vector<Row> rows = {
      {"box.png", "Log:展開開始", QStringLiteral("/tmp/a.zip")},
      {"gem_okay.png", "Log:展開した", QStringLiteral("a/1.txt")},
      {"gem_okay.png", "Log:展開した", std::nullopt},
      // The same key under another icon is a row of its own kind.
      {"warning_triangle.png", "Log:展開した", QString()},
      {"gem_okay.png", "Log:展開した", QStringLiteral("書類/請求書 2024年3月.pdf")},
      {"warning_triangle.png", "Skipped", QString(QChar(0xD800)) + QStringLiteral(" half")},
      {"gem_okay.png", "Log:展開した", QStringLiteral("a/2.txt")},
  };
  CVNScriptedOperation job;
  // In two batches: the second finds the kinds the first brought.
  for (size_t half : {size_t{0}, rows.size() / 2}) {
    std::thread worker([&job, &rows, half] {
      for (size_t i = half; i < (half == 0 ? rows.size() / 2 : rows.size()); ++i)
        job.logWithIconName(QString::fromLatin1(rows[i].icon), rows[i].key, rows[i].argument);
    });
    worker.join();
    CVNDrainPostedBlocks();
  }
  const CVNLogModel& model = *job.logModel();
  ASSERT_EQ(model.count(), static_cast<int>(rows.size()));
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    const int at = static_cast<int>(i);
    const CVNLogRow row = model.row(at);
    EXPECT_EQ(row.iconName, QString::fromLatin1(rows[i].icon));
    EXPECT_EQ(row.messageKey, QString::fromUtf8(rows[i].key));
    EXPECT_EQ(row.message, CVNLocalizedString(rows[i].key));
    EXPECT_EQ(row.argument, rows[i].argument);
    const QModelIndex index = model.index(at);
    EXPECT_EQ(index.data(CVNLogModel::IconNameRole).toString(), row.iconName);
    EXPECT_EQ(index.data(CVNLogModel::MessageRole).toString(), row.message);
    EXPECT_EQ(model.messageAt(at), row.message);
    const QVariant argument = index.data(CVNLogModel::ArgumentRole);
    EXPECT_EQ(argument.isValid(), rows[i].argument.has_value());
    if (rows[i].argument) {
      EXPECT_EQ(argument.toString(), *rows[i].argument);
    }
  }
}

}  // namespace
