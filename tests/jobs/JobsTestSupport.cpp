#include "JobsTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPixmap>
#include <QThread>
#include <mutex>

#include "jobs/CVNMainThread.h"

bool CVNSpinUntil(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

void CVNDrainPostedBlocks() {
  bool ran = false;
  CVNPostToMainThread([&ran] { ran = true; });
  CVNSpinUntil([&ran] { return ran; });
}

QString CVNSaveScreenshot(QWidget* widget, const QString& name) {
  QDir().mkpath(QStringLiteral(CORVANA_SCREENSHOT_DIR));
  const QString path = QStringLiteral(CORVANA_SCREENSHOT_DIR "/") + name + QStringLiteral(".png");
  widget->grab().save(path);
  return path;
}

CVNScriptedOperation::CVNScriptedOperation() { setInitialStatus(); }

void CVNScriptedOperation::release() {
  {
    std::lock_guard<std::mutex> g(lock());
    released_ = true;
  }
  wake();
}

QString CVNScriptedOperation::summary() const {
  return QStringLiteral("%1 bytes").arg(currentValue());
}

void CVNScriptedOperation::setInitialStatus() { setStatus(QStringLiteral("initial")); }

CVNOperation::Texts CVNScriptedOperation::texts() const {
  return {"Test start title", "Test start message", "Test success title", "Test abort title"};
}

void CVNScriptedOperation::open() {
  ++opened;
  setStatus(QStringLiteral("/tmp/out.zip"));
  setOutputPath("/tmp/out.zip");
  postOpening();
  step(Step::Open);
}

uint64_t CVNScriptedOperation::firstPass() {
  step(Step::FirstPass);
  return firstPassTotal;
}

void CVNScriptedOperation::secondPass() { step(Step::SecondPass); }
void CVNScriptedOperation::onePass() { step(Step::OnePass); }

void CVNScriptedOperation::close() {
  ++closed;
  step(Step::Close);
}

void CVNScriptedOperation::removeOutput() { ++removedOutput; }

QString CVNScriptedOperation::successDescription() const { return QStringLiteral("out.zip"); }
QString CVNScriptedOperation::finishedArgument() const { return QStringLiteral("out.zip"); }

void CVNScriptedOperation::step(Step s) {
  if (script) script(*this, s);
  if (pauseAt != s) return;
  paused_ = true;
  try {
    waitUntil([this] { return released_; });
  } catch (...) {
    paused_ = false;
    throw;
  }
  paused_ = false;
}
