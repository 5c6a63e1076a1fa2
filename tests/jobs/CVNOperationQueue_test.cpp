#include "jobs/CVNOperationQueue.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <memory>
#include <vector>

#include "JobsTestSupport.h"
#include "engine/CVNEngineJob.h"
#include "jobs/CVNLogModel.h"
#include "jobs/CVNMainThread.h"

namespace {

using Step = CVNScriptedOperation::Step;

std::shared_ptr<CVNScriptedOperation> pausingJob(Step at = Step::Open) {
  auto job = std::make_shared<CVNScriptedOperation>();
  job->setIndeterminately(false);
  job->pauseAt = at;
  return job;
}

// Counts the signals of a job that tell of its start and end.
struct Observer {
  std::atomic<int> didFinish{0};
  std::atomic<int> executingChanges{0};

  void watch(CVNOperation* job) {
    QObject::connect(
        job, &CVNOperation::CVNOperationDidFinish, job, [this](CVNOperation*) { ++didFinish; },
        Qt::DirectConnection);
    QObject::connect(
        job, &CVNOperation::executingChanged, job, [this] { ++executingChanges; },
        Qt::DirectConnection);
  }
};

TEST(CVNOperationQueue, JobCancelledWhileWaitingFinishesWithoutRunning) {
  CVNOperationQueue queue(1);
  auto running = pausingJob();
  auto waiting = pausingJob();
  Observer observer;
  observer.watch(waiting.get());
  queue.addOperation(running);
  queue.addOperation(waiting);
  ASSERT_TRUE(CVNSpinUntil([&] { return running->isPaused(); }));
  waiting->cancel();
  CVNDrainPostedBlocks();
  EXPECT_FALSE(waiting->isFinished());  // still waiting for its turn
  running->release();
  ASSERT_TRUE(CVNSpinUntil([&] { return queue.operations().empty(); }));

  EXPECT_TRUE(waiting->isFinished());
  EXPECT_FALSE(waiting->isExecuting());
  EXPECT_EQ(observer.didFinish, 1);
  EXPECT_EQ(observer.executingChanges, 0);
  EXPECT_EQ(waiting->opened, 0);  // no start notification, no output
  EXPECT_EQ(waiting->logModel()->count(), 0);
  EXPECT_EQ(waiting->warningCount(), 0u);
  // The tile keeps its created state.
  EXPECT_FALSE(waiting->resultHidden());
  EXPECT_TRUE(waiting->progressIndicatorHidden());
  EXPECT_TRUE(waiting->asyncArrowsHidden());
  EXPECT_EQ(waiting->status(), QStringLiteral("initial"));
  EXPECT_FALSE(waiting->resultTextColor().isValid());
  EXPECT_TRUE(running->succeeded());
}

TEST(CVNOperationQueue, ThirdJobWaitsWhileTwoRun) {
  CVNOperationQueue queue(2);
  std::vector<std::shared_ptr<CVNScriptedOperation>> jobs{pausingJob(), pausingJob(), pausingJob()};
  for (const auto& job : jobs) queue.addOperation(job);
  ASSERT_TRUE(CVNSpinUntil([&] { return jobs[0]->isPaused() && jobs[1]->isPaused(); }));
  // Give the third every chance to start wrongly.
  CVNSpinUntil([] { return false; }, 100);
  EXPECT_EQ(jobs[2]->opened, 0);
  EXPECT_FALSE(jobs[2]->isExecuting());
  EXPECT_EQ(queue.operations().size(), 3u);

  jobs[1]->release();
  ASSERT_TRUE(CVNSpinUntil([&] { return jobs[2]->isPaused(); }));
  EXPECT_TRUE(jobs[1]->isFinished());
  EXPECT_FALSE(jobs[0]->isFinished());
  jobs[0]->release();
  jobs[2]->release();
  ASSERT_TRUE(CVNSpinUntil([&] { return queue.operations().empty(); }));
  for (const auto& job : jobs) EXPECT_TRUE(job->succeeded());
}

TEST(CVNOperationQueue, CancelAllDrainsWhileTheMainThreadServesTheJobs) {
  CVNOperationQueue queue(2);
  std::vector<std::shared_ptr<CVNScriptedOperation>> jobs;
  for (int i = 0; i < 5; ++i) {
    auto job = std::make_shared<CVNScriptedOperation>();
    job->setIndeterminately(false);
    // Running jobs keep calling on the main thread until cancelled: a main thread
    // that waited for them would never drain.
    job->script = [](CVNScriptedOperation& j, Step step) {
      if (step != Step::SecondPass) return;
      for (;;) {
        CVNPerformOnMainThreadAndWait([] {});
        CVNRaiseIfCancelled(&j);
      }
    };
    jobs.push_back(job);
    queue.addOperation(job);
  }
  int drained = 0;
  QObject::connect(&queue, &CVNOperationQueue::didDrain, [&] { ++drained; });
  ASSERT_TRUE(CVNSpinUntil([&] { return jobs[0]->isExecuting() && jobs[1]->isExecuting(); }));

  // The longest the main thread goes without running its event loop.
  QElapsedTimer sinceTick;
  qint64 longestGap = 0;
  QTimer heartbeat;
  QObject::connect(&heartbeat, &QTimer::timeout,
                   [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
  heartbeat.start(5);
  sinceTick.start();
  queue.cancelAllOperations();
  ASSERT_TRUE(CVNSpinUntil([&] { return drained > 0; }));
  heartbeat.stop();

  EXPECT_EQ(drained, 1);
  EXPECT_TRUE(queue.operations().empty());
  EXPECT_LT(longestGap, 3000);
  for (size_t i = 0; i < jobs.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(jobs[i]->isFinished());
    EXPECT_FALSE(jobs[i]->succeeded());
    // The two that ran end as cancelled; the three that waited never opened.
    const bool ran = i < 2;
    EXPECT_EQ(jobs[i]->opened, ran ? 1 : 0);
    EXPECT_EQ(jobs[i]->logModel()->count(), ran ? 2 : 0);
    EXPECT_EQ(jobs[i]->warningCount(), ran ? 1u : 0u);
  }
}

TEST(CVNOperationQueue, DestroyedWhileAJobWaitsForTheMainThread) {
  auto queue = std::make_unique<CVNOperationQueue>(1);
  auto job = std::make_shared<CVNScriptedOperation>();
  std::atomic<bool> looping{false};
  job->script = [&looping](CVNScriptedOperation& j, Step step) {
    if (step != Step::OnePass) return;
    looping = true;
    for (;;) {
      CVNPerformOnMainThreadAndWait([] {});
      CVNRaiseIfCancelled(&j);
    }
  };
  queue->addOperation(job);
  ASSERT_TRUE(CVNSpinUntil([&] { return looping.load(); }));
  queue.reset();  // must neither deadlock nor leave the job running
  EXPECT_TRUE(job->isFinished());
}

TEST(CVNMainThread, BlocksRunInTheOrderPosted) {
  QObject context;
  std::vector<int> order;
  std::thread worker([&] {
    for (int i = 0; i < 2000; ++i) {
      if (i % 3 == 0)
        CVNPostToMainThread(&context, [&order, i] { order.push_back(i); });
      else if (i % 3 == 1)
        CVNPostToMainThread([&order, i] { order.push_back(i); });
      else
        CVNPerformOnMainThreadAndWait([&order, i] { order.push_back(i); });
    }
  });
  ASSERT_TRUE(CVNSpinUntil([&] { return order.size() == 2000; }));
  worker.join();
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(order[static_cast<size_t>(i)], i);
}

TEST(CVNMainThread, PerformRunsInlineOnTheMainThread) {
  bool ran = false;
  CVNPerformOnMainThreadAndWait([&] { ran = CVNIsMainThread(); });
  EXPECT_TRUE(ran);
}

TEST(CVNMainThread, BlockOfADestroyedContextIsDropped) {
  auto context = std::make_unique<QObject>();
  bool ran = false;
  std::thread([&] { CVNPostToMainThread(context.get(), [&] { ran = true; }); }).join();
  context.reset();
  CVNDrainPostedBlocks();
  EXPECT_FALSE(ran);
}

}  // namespace
