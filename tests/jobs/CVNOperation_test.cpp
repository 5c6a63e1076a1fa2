#include "jobs/CVNOperation.h"

#include <gtest/gtest.h>

#include <memory>

#include "JobsTestSupport.h"
#include "engine/io/RVException.h"
#include "jobs/CVNLogModel.h"
#include "jobs/CVNOperationQueue.h"

namespace {

// A job whose passes run a scripted body.
class ScriptedOperation : public CVNOperation {
 public:
  std::function<void(ScriptedOperation&)> body = [](ScriptedOperation&) {};
  QString summary() const override { return QStringLiteral("summary"); }
  void setInitialStatus() override { setStatus(QStringLiteral("initial")); }

 protected:
  Texts texts() const override {
    return {"Growl:Start", "Log:Start", "Growl:Success", "Growl:Abort"};
  }
  void open() override {
    setStatus(QStringLiteral("working"));
    postOpening();
  }
  uint64_t firstPass() override { return 10; }
  void secondPass() override { body(*this); }
  void onePass() override { body(*this); }
  void close() override {}
  void removeOutput() override {}
  QString successDescription() const override { return {}; }
  QString finishedArgument() const override { return QStringLiteral("done"); }
};

TEST(CVNOperationSmoke, SucceedsAndFails) {
  CVNOperationQueue queue(2);
  auto ok = std::make_shared<ScriptedOperation>();
  ok->setIndeterminately(false);
  ok->body = [](ScriptedOperation& job) { job.increaseCurrentValue(10); };
  auto bad = std::make_shared<ScriptedOperation>();
  bad->body = [](ScriptedOperation&) { RVRaiseOperationCancelled(); };
  queue.addOperation(ok);
  queue.addOperation(bad);
  ASSERT_TRUE(CVNSpinUntil([&] { return queue.operations().empty(); }));
  EXPECT_TRUE(ok->succeeded());
  EXPECT_EQ(ok->currentValue(), 10u);
  EXPECT_EQ(ok->maxValue(), 10u);
  EXPECT_EQ(ok->logModel()->count(), 2);
  EXPECT_FALSE(bad->succeeded());
  EXPECT_EQ(bad->result(), QStringLiteral("Cancelled"));
  EXPECT_EQ(bad->status(), QStringLiteral("initial"));
  EXPECT_EQ(bad->warningCount(), 1u);
}

}  // namespace
