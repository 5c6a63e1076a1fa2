#include "jobs/CVNOperation.h"

#include <QTimer>
#include <new>

#include "engine/io/RVException.h"
#include "jobs/CVNLocalization.h"
#include "jobs/CVNLogModel.h"
#include "jobs/CVNMainThread.h"
#include "jobs/RVGrowl.h"

namespace {

// How often the main thread looks for progress the worker has made.
constexpr int kProgressIntervalMs = 50;

QString displayPath(const std::string& path) { return QString::fromUtf8(path); }

}  // namespace

void CVNRaiseExpectedException() { throw RVException(CVNExpectedException, std::string()); }

CVNOperation::CVNOperation(QObject* parent)
    : QObject(parent), logModel_(new CVNLogModel(this)), progressTimer_(new QTimer(this)) {
  progressTimer_->setInterval(kProgressIntervalMs);
  connect(progressTimer_, &QTimer::timeout, this, &CVNOperation::emitCurrentValueIfChanged);
  setResult(CVNLocalizedString("Please wait..."));
}

CVNOperation::~CVNOperation() {
  setStatus(QString());
  setResult(QString());
  setResultTextColor(QColor());
}

// Compares, stores under the lock, then emits on the calling thread.
#define CVN_SETTER(field, value, signal)  \
  do {                                    \
    {                                     \
      std::lock_guard<std::mutex> g(lock_); \
      if (field == value) return;         \
      field = value;                      \
    }                                     \
    emit signal();                        \
  } while (0)

#define CVN_GETTER(field)                 \
  std::lock_guard<std::mutex> g(lock_);   \
  return field

void CVNOperation::start() {
  if (isCancelled()) {
    finish();
    return;
  }
  main();
}

void CVNOperation::cancel() {
  {
    std::lock_guard<std::mutex> g(lock_);
    cancelled_ = true;
  }
  wakeCondition_.notify_all();
}

bool CVNOperation::isCancelled() const { return cancelled_.load(std::memory_order_relaxed); }

bool CVNOperation::isExecuting() const { CVN_GETTER(executing_); }
bool CVNOperation::isFinished() const { CVN_GETTER(finished_); }
bool CVNOperation::isIndeterminate() const { CVN_GETTER(indeterminate_); }

void CVNOperation::execute() {
  if (CVNIsMainThread()) progressTimer_->start();
  CVN_SETTER(executing_, true, executingChanged);
}

void CVNOperation::determine() { CVN_SETTER(indeterminate_, false, indeterminateChanged); }

void CVNOperation::increaseCurrentValue(uint64_t byteCount) {
  {
    std::lock_guard<std::mutex> g(lock_);
    currentValue_ += byteCount;
  }
  currentValueChangedFlag_.store(true, std::memory_order_relaxed);
}

void CVNOperation::emitCurrentValueIfChanged() {
  if (currentValueChangedFlag_.exchange(false, std::memory_order_relaxed)) emit currentValueChanged();
}

void CVNOperation::finish() {
  bool executingWas;
  bool finishedWas;
  {
    std::lock_guard<std::mutex> g(lock_);
    executingWas = executing_;
    finishedWas = finished_;
    executing_ = false;
    finished_ = true;
  }
  // The last progress reaches observers with the job's end, not a tick later.
  emitCurrentValueIfChanged();
  if (executingWas) emit executingChanged();
  if (!finishedWas) emit finishedChanged();
  CVNPostToMainThread([timer = QPointer<QTimer>(progressTimer_)] {
    if (timer) timer->stop();
  });
  emit CVNOperationDidFinish(this);
}

void CVNOperation::showInFinder() {}
void CVNOperation::showLogWindow() {}

bool CVNOperation::indeterminately() const { return indeterminately_.load(); }
void CVNOperation::setIndeterminately(bool value) { indeterminately_.store(value); }

uint64_t CVNOperation::minValue() const { CVN_GETTER(minValue_); }
void CVNOperation::setMinValue(uint64_t value) { CVN_SETTER(minValue_, value, minValueChanged); }
uint64_t CVNOperation::maxValue() const { CVN_GETTER(maxValue_); }
void CVNOperation::setMaxValue(uint64_t value) { CVN_SETTER(maxValue_, value, maxValueChanged); }
uint64_t CVNOperation::currentValue() const { CVN_GETTER(currentValue_); }
QString CVNOperation::status() const { CVN_GETTER(status_); }
void CVNOperation::setStatus(const QString& value) { CVN_SETTER(status_, value, statusChanged); }
bool CVNOperation::succeeded() const { CVN_GETTER(succeeded_); }
void CVNOperation::setSucceeded(bool value) { CVN_SETTER(succeeded_, value, succeededChanged); }
bool CVNOperation::progressIndicatorHidden() const { CVN_GETTER(progressIndicatorHidden_); }
void CVNOperation::setProgressIndicatorHidden(bool value) {
  CVN_SETTER(progressIndicatorHidden_, value, progressIndicatorHiddenChanged);
}
bool CVNOperation::asyncArrowsHidden() const { CVN_GETTER(asyncArrowsHidden_); }
void CVNOperation::setAsyncArrowsHidden(bool value) {
  CVN_SETTER(asyncArrowsHidden_, value, asyncArrowsHiddenChanged);
}
bool CVNOperation::resultHidden() const { CVN_GETTER(resultHidden_); }
void CVNOperation::setResultHidden(bool value) {
  CVN_SETTER(resultHidden_, value, resultHiddenChanged);
}
QString CVNOperation::result() const { CVN_GETTER(result_); }
void CVNOperation::setResult(const QString& value) { CVN_SETTER(result_, value, resultChanged); }
QColor CVNOperation::resultTextColor() const { CVN_GETTER(resultTextColor_); }
void CVNOperation::setResultTextColor(const QColor& value) {
  CVN_SETTER(resultTextColor_, value, resultTextColorChanged);
}

bool CVNOperation::reportsOnlyWarnings() const { CVN_GETTER(reportsOnlyWarnings_); }
void CVNOperation::setReportsOnlyWarnings(bool value) {
  CVN_SETTER(reportsOnlyWarnings_, value, isWarnedChanged);
}
uint64_t CVNOperation::warningCount() const { CVN_GETTER(warningCount_); }
bool CVNOperation::isWarned() const {
  std::lock_guard<std::mutex> g(lock_);
  return !reportsOnlyWarnings_ || warningCount_ > 0;
}

std::string CVNOperation::outputPath() const { CVN_GETTER(outputPath_); }
void CVNOperation::setOutputPath(std::string path) {
  std::lock_guard<std::mutex> g(lock_);
  outputPath_ = std::move(path);
}

void CVNOperation::logWithIconName(const QString& iconName, const char* messageKey,
                                   std::optional<QString> argument) {
  if (iconName == QLatin1String(CVNIconWarning) || iconName == QLatin1String(CVNIconError)) {
    {
      std::lock_guard<std::mutex> g(lock_);
      ++warningCount_;
    }
    emit isWarnedChanged();
  }
  CVNLogRow row{iconName, QString::fromUtf8(messageKey), CVNLocalizedString(messageKey),
                std::move(argument)};
  CVNPostToMainThread([model = QPointer<CVNLogModel>(logModel_), row = std::move(row)]() mutable {
    if (model) model->appendRow(std::move(row));
  });
}

void CVNOperation::postOpening() {
  CVNPostToMainThread([this] {
    if (logWindow_) logWindow_->setWindowTitle(status());
  });
  const Texts t = texts();
  RVGrowl::notifyWithTitle(CVNLocalizedString(t.startTitleKey), status());
  // The row's argument is the status as the block finds it, like the title.
  CVNPostToMainThread([this, key = t.startMessageKey] {
    CVNLogRow row{QString::fromLatin1(CVNIconStart), QString::fromUtf8(key),
                  CVNLocalizedString(key), status()};
    logModel_->appendRow(std::move(row));
  });
}

void CVNOperation::postSummary() {
  CVNPostToMainThread([this] { setResult(summary()); });
}

void CVNOperation::toggleLogWindow() {
  if (!logWindow_) return;
  if (logWindow_->isVisible()) {
    logWindow_->hide();
  } else {
    logWindow_->show();
    logWindow_->raise();
    logWindow_->activateWindow();
  }
}

void CVNOperation::waitUntil(const std::function<bool()>& ready) {
  std::unique_lock<std::mutex> g(lock_);
  for (;;) {
    if (isCancelled()) {
      g.unlock();
      RVRaiseOperationCancelled();
    }
    if (ready()) return;
    wakeCondition_.wait(g);
  }
}

void CVNOperation::wake() {
  { std::lock_guard<std::mutex> g(lock_); }
  wakeCondition_.notify_all();
}

void CVNOperation::main() {
  {
    std::lock_guard<std::mutex> g(lock_);
    warningCount_ = 0;
  }
  emit isWarnedChanged();
  CVNPostToMainThread([this] { setResultHidden(true); });
  CVNPerformOnMainThreadAndWait([this] { execute(); });

  const Texts t = texts();
  try {
    open();
    if (!indeterminately()) {
      CVNPostToMainThread([this] { setProgressIndicatorHidden(false); });
      const uint64_t total = firstPass();
      CVNPostToMainThread([this, total] { setMaxValue(total); });
      CVNPerformOnMainThreadAndWait([this] { determine(); });
      secondPass();
    } else {
      CVNPostToMainThread([this] {
        setAsyncArrowsHidden(false);
        setResultHidden(false);
        setResult(summary());
      });
      onePass();
    }
    close();
    CVNPostToMainThread([this] { setSucceeded(true); });
    RVGrowl::notifyWithTitle(CVNLocalizedString(t.successTitleKey), successDescription());
    CVNPostToMainThread([this] {
      setStatus(displayPath(outputPath()));
      setResult(summary());
    });
    logWithIconName(CVNIconFinished, "Finished", finishedArgument());
  } catch (const RVException& e) {
    removeOutput();
    fail(e.name(), e.reason());
  } catch (const std::bad_alloc&) {
    removeOutput();
    fail(std::string(RVOutOfMemoryException), std::nullopt);
  } catch (const std::exception& e) {
    removeOutput();
    fail(std::string(), std::string(e.what()));
  }

  CVNPostToMainThread([this] {
    setProgressIndicatorHidden(true);
    setAsyncArrowsHidden(true);
    setResultHidden(false);
  });
  finish();
}

void CVNOperation::fail(const std::string& name, const std::optional<std::string>& reason) {
  setInitialStatus();
  const QString text = reason ? CVNLocalizedString(reason->c_str()) : QString();
  RVGrowl::notifyWithTitle(CVNLocalizedString(texts().abortTitleKey), text);
  CVNPostToMainThread([this, text] {
    setResult(text);
    setResultTextColor(QColor(Qt::red));
  });
  const bool explained =
      name == RVOperationCancelledException || name == std::string_view(CVNExpectedException);
  logWithIconName(CVNIconError, explained ? "Failed" : "Error", text);
}
