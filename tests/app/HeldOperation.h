// A job for the application tests that runs its second pass to half of its
// bytes and then holds until released, so that a test can see it running,
// cancel it, or let it end with or without a warning.
#pragma once

#include <QString>
#include <atomic>

#include "jobs/CVNOperation.h"
#include "jobs/CVNStringFromByteCount.h"

class HeldOperation : public CVNOperation {
 public:
  explicit HeldOperation(QString name = QStringLiteral("/tmp/held"), uint64_t total = 2000000)
      : name_(std::move(name)), total_(total) {
    setIndeterminately(false);
    setInitialStatus();
  }

  // Lets the job finish; with `warn` it logs a warning first.
  void release(bool warn = false) {
    warns_ = warn;
    {
      std::lock_guard<std::mutex> g(lock());
      released_ = true;
    }
    wake();
  }

  QString summary() const override { return CVNStringFromByteCount(currentValue()); }
  void setInitialStatus() override { setStatus(name_); }

 protected:
  Texts texts() const override {
    return {"Growl:StartArchiving", "Log:圧縮開始", "Growl:ArchivedSuccessfully",
            "Growl:AbortedArchiving"};
  }
  void open() override {
    setOutputPath(name_.toStdString() + ".zip");
    postOpening();
  }
  uint64_t firstPass() override { return total_; }
  void secondPass() override {
    increaseCurrentValue(total_ / 2);
    waitUntil([this] { return released_; });
    if (warns_) logWithIconName(CVNIconWarning, "Skipped", name_);
    increaseCurrentValue(total_ - total_ / 2);
  }
  void onePass() override {}
  void close() override {}
  void removeOutput() override {}
  QString successDescription() const override { return name_; }
  QString finishedArgument() const override { return name_; }

 private:
  const QString name_;
  const uint64_t total_;
  bool released_ = false;  // under the job's lock
  std::atomic<bool> warns_{false};
};
