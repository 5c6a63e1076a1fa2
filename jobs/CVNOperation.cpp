#include "jobs/CVNOperation.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QStringList>
#include <QTimer>
#include <new>
#include <utility>

#include "engine/io/RVException.h"
#include "engine/io/RVPath.h"
#include "jobs/CVNCloseShortcuts.h"
#include "jobs/CVNFileURL.h"
#include "jobs/CVNLocalization.h"
#include "jobs/CVNLogModel.h"
#include "jobs/CVNLogWindow.h"
#include "jobs/CVNMainThread.h"
#include "jobs/CVNStringFromFileSystemRepresentation.h"
#include "jobs/RVGrowl.h"

namespace {

// How often the main thread looks for the progress and status the worker has set.
constexpr int kProgressIntervalMs = 50;

// The reason as a person reads it: a file-system failure as the C library
// describes it, with its number; any other reason looked up as a key, or the
// name when the failure gave no reason, so that the result never goes blank
// for a failure that has something to say.
QString shownReason(const RVException& e) {
  if (const std::optional<int> error = RVFileSystemErrorNumber(e)) {
    return CVNLocalizedStringWithFormat(
        "%1$@ (errno = %2$d)", {QString::fromLocal8Bit(RVSystemErrorDescription(*error)), *error});
  }
  const std::string& key = e.reason() ? *e.reason() : e.name();
  return key.empty() ? QString() : CVNLocalizedString(key.c_str());
}

}  // namespace

void CVNRaiseExpectedException() { throw RVException(CVNExpectedException, std::string()); }

CVNOperation::CVNOperation(QObject* parent)
    : QObject(parent),
      handOverTimer_(new QTimer(this)),
      logModel_(new CVNLogModel(this)),
      progressTimer_(new QTimer(this)) {
  progressTimer_->setInterval(kProgressIntervalMs);
  connect(progressTimer_, &QTimer::timeout, this, &CVNOperation::emitCoalescedChanges);
  handOverTimer_->setSingleShot(true);
  connect(handOverTimer_, &QTimer::timeout, this, [this] { appendPendingRows(); });
  setResult(CVNLocalizedString("Please wait..."));
}

CVNOperation::~CVNOperation() {
  setStatus(QString());
  setResult(QString());
  setResultTextColor(QColor());
  // A top-level window has no QObject parent to take it along.
  delete logWindow_.data();
}

// Compares, stores under the lock, then emits on the calling thread.
#define CVN_SETTER(field, value, signal)    \
  do {                                      \
    {                                       \
      std::lock_guard<std::mutex> g(lock_); \
      if (field == value) return;           \
      field = value;                        \
    }                                       \
    emit signal();                          \
  } while (0)

#define CVN_GETTER(field)               \
  std::lock_guard<std::mutex> g(lock_); \
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

void CVNOperation::setCurrentValue(uint64_t value) {
  {
    std::lock_guard<std::mutex> g(lock_);
    if (currentValue_ == value) return;
    currentValue_ = value;
  }
  currentValueChangedFlag_.store(true, std::memory_order_relaxed);
}

void CVNOperation::emitCoalescedChanges() {
  if (currentValueChangedFlag_.exchange(false, std::memory_order_relaxed))
    emit currentValueChanged();
  if (statusChangedFlag_.exchange(false, std::memory_order_relaxed)) emit statusChanged();
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
  // The last rows, progress and status reach observers with the job's end, not
  // a tick later.
  post([this] { appendPendingRows(true); });
  emitCoalescedChanges();
  if (executingWas) emit executingChanged();
  if (!finishedWas) emit finishedChanged();
  post([this] { progressTimer_->stop(); });
  emit CVNOperationDidFinish(this);
}

void CVNOperation::showInFinder() {
  const std::string path = outputPath();
  if (path.empty()) return;
  const QUrl folder = CVNFileURLFromPath(RVPathDeletingLastComponent(path));
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    QDesktopServices::openUrl(folder);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.FileManager1"),
      QStringLiteral("/org/freedesktop/FileManager1"),
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
  call << QStringList{QString::fromLatin1(CVNFileURLFromPath(path).toEncoded())} << QString();
  // Not the job's child: the answer may come after the job has left the list.
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                   [folder](QDBusPendingCallWatcher* w) {
                     if (w->isError()) QDesktopServices::openUrl(folder);
                     w->deleteLater();
                   });
}

void CVNOperation::showLogWindow() { toggleLogWindow(); }

bool CVNOperation::indeterminately() const { return indeterminately_.load(); }
void CVNOperation::setIndeterminately(bool value) { indeterminately_.store(value); }

uint64_t CVNOperation::minValue() const { CVN_GETTER(minValue_); }
void CVNOperation::setMinValue(uint64_t value) { CVN_SETTER(minValue_, value, minValueChanged); }
uint64_t CVNOperation::maxValue() const { CVN_GETTER(maxValue_); }
void CVNOperation::setMaxValue(uint64_t value) { CVN_SETTER(maxValue_, value, maxValueChanged); }
uint64_t CVNOperation::currentValue() const { CVN_GETTER(currentValue_); }
QString CVNOperation::status() const { CVN_GETTER(status_); }
void CVNOperation::setStatus(const QString& value) {
  {
    std::lock_guard<std::mutex> g(lock_);
    if (status_ == value) return;
    status_ = value;
  }
  // The worker changes it once per item: observers hear of the latest value
  // with the next tick rather than of every one, each a relayout of the tile.
  if (CVNIsMainThread()) {
    emit statusChanged();
  } else {
    statusChangedFlag_.store(true, std::memory_order_relaxed);
  }
}
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

void CVNOperation::post(std::function<void()> block) {
  CVNPostToMainThread(this, std::move(block));
}

void CVNOperation::logWithIconName(const QString& iconName, const char* messageKey,
                                   std::optional<QString> argument) {
  const bool warning = iconName == QLatin1String(CVNIconWarning);
  if (warning || iconName == QLatin1String(CVNIconError)) {
    bool warnedChanged;
    {
      std::lock_guard<std::mutex> g(lock_);
      warnedChanged = reportsOnlyWarnings_ && warningCount_ == 0;
      ++warningCount_;
      // Its text is made only if a stop needs it.
      if (warning) lastWarning_ = {messageKey, argument};
    }
    if (warnedChanged) emit isWarnedChanged();
  }
  appendRow(iconName, messageKey, std::move(argument));
}

void CVNOperation::appendRow(const QString& iconName, const char* messageKey,
                             std::optional<QString> argument) {
  bool schedule;
  {
    std::lock_guard<std::mutex> g(pendingRowsLock_);
    pendingRows_.append(rowKind(iconName, messageKey), argument);
    schedule = !handOverScheduled_;
    handOverScheduled_ = true;
  }
  if (schedule) post([this] { scheduleHandOver(); });
}

uint32_t CVNOperation::rowKind(const QString& iconName, const char* messageKey) {
  std::vector<CVNLogRow>& kinds = pendingRows_.kinds;
  for (size_t i = kinds.size(); i-- > 0;) {
    if (rowKindKeys_[i] == messageKey && kinds[i].iconName == iconName)
      return static_cast<uint32_t>(i);
  }
  rowKindKeys_.emplace_back(messageKey);
  kinds.push_back(
      {iconName, QString::fromUtf8(messageKey), CVNLocalizedString(messageKey), std::nullopt});
  return static_cast<uint32_t>(kinds.size() - 1);
}

void CVNOperation::scheduleHandOver() {
  const qint64 wait =
      sinceHandOver_.isValid() ? kLogHandOverIntervalMs - sinceHandOver_.elapsed() : 0;
  if (wait > 0) {
    if (!handOverTimer_->isActive()) handOverTimer_->start(static_cast<int>(wait));
    return;
  }
  appendPendingRows();
}

void CVNOperation::appendPendingRows(bool last) {
  handOverTimer_->stop();
  {
    std::lock_guard<std::mutex> g(pendingRowsLock_);
    handOverScheduled_ = false;
    // The worker goes on in the pages of the batch before, already written.
    if (!pendingRows_.rows.empty()) {
      handedOverRows_.kinds = pendingRows_.kinds;  // the texts are shared, not copied
      handedOverRows_.rows.swap(pendingRows_.rows);
      handedOverRows_.arguments.swap(pendingRows_.arguments);
    }
    if (last) {
      pendingRows_.rows.clear(0);
      pendingRows_.arguments.clear(0);
    }
  }
  if (!handedOverRows_.rows.empty()) {
    sinceHandOver_.start();
    logModel_->appendRows(handedOverRows_);
  }
  // A burst may have grown the batch; what a batch of a display frame needs is kept.
  constexpr size_t kKeptBytes = 1024 * 1024;
  handedOverRows_.rows.clear(last ? 0 : kKeptBytes);
  handedOverRows_.arguments.clear(last ? 0 : kKeptBytes);
}

void CVNOperation::postOpening() {
  // Taken now: by the time the blocks run, the worker may have moved the status
  // on to the first item, or back to the initial text after a failure.
  const QString opened = status();
  post([this, opened] {
    if (logWindow_) logWindow_->setWindowTitle(opened);
  });
  const Texts t = texts();
  RVGrowl::notifyWithTitle(CVNLocalizedString(t.startTitleKey), opened);
  appendRow(QString::fromLatin1(CVNIconStart), t.startMessageKey, opened);
}

void CVNOperation::postSummary() {
  post([this] { setResult(summary()); });
}

void CVNOperation::setLogWindow(QWidget* window) {
  logWindow_ = window;
  if (window) CVNAddCloseShortcuts(window);
}

void CVNOperation::loadLogWindow() {
  // A top-level window; the job owns it from here.
  auto* window = new CVNLogWindow(logModel_);
  window->setWindowTitle(status());
  setLogWindow(window);
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
  bool warnedChanged;
  {
    std::lock_guard<std::mutex> g(lock_);
    warnedChanged = reportsOnlyWarnings_ && warningCount_ > 0;
    warningCount_ = 0;
    lastWarning_.reset();
  }
  if (warnedChanged) emit isWarnedChanged();
  post([this] { setResultHidden(true); });
  CVNPerformOnMainThreadAndWait([this] { execute(); });

  const Texts t = texts();
  // What failed, and its reason as shown.
  std::optional<std::pair<std::string, QString>> failure;
  try {
    open();
    if (!indeterminately()) {
      post([this] { setProgressIndicatorHidden(false); });
      const uint64_t total = firstPass();
      post([this, total] { setMaxValue(total); });
      CVNPerformOnMainThreadAndWait([this] { determine(); });
      secondPass();
    } else {
      post([this] {
        setAsyncArrowsHidden(false);
        setResultHidden(false);
        setResult(summary());
      });
      onePass();
    }
    close();
    post([this] { setSucceeded(true); });
    RVGrowl::notifyWithTitle(CVNLocalizedString(t.successTitleKey), successDescription());
    post([this] {
      setStatus(CVNStringFromFileSystemRepresentation(outputPath()));
      setResult(summary());
    });
    logWithIconName(CVNIconFinished, CVN_KEY("Finished"), finishedArgument());
  } catch (const RVException& e) {
    failure.emplace(e.name(), shownReason(e));
  } catch (const std::bad_alloc&) {
    const std::string name(RVOutOfMemoryException);
    failure.emplace(name, CVNLocalizedString(name.c_str()));
  } catch (const std::exception& e) {
    failure.emplace(std::string(), CVNLocalizedString(e.what()));
  } catch (...) {
    failure.emplace(std::string(), CVNLocalizedString("Error"));
  }
  if (failure) {
    try {
      removeOutput();
    } catch (...) {
      // Nothing more can be done about it; the failure itself is reported below.
    }
    fail(failure->first, failure->second);
  }

  post([this] {
    setProgressIndicatorHidden(true);
    setAsyncArrowsHidden(true);
    setResultHidden(false);
  });
  finish();
}

void CVNOperation::fail(const std::string& name, const QString& reason) {
  setInitialStatus();
  // A stop that the log explains has no reason of its own: the tile and the
  // notification say what the last warning said rather than nothing.
  QString shown = reason;
  std::optional<std::pair<QByteArray, std::optional<QString>>> warning;
  if (name == std::string_view(CVNExpectedException) && reason.isEmpty()) {
    std::lock_guard<std::mutex> g(lock_);
    warning = lastWarning_;
  }
  if (warning) {
    const QString message = CVNLocalizedString(warning->first.constData());
    const std::optional<QString>& argument = warning->second;
    shown = argument && !argument->isEmpty()
                ? CVNLocalizedStringWithFormat("%1$@: %2$@", {message, *argument})
                : message;
  }
  RVGrowl::notifyWithTitle(CVNLocalizedString(texts().abortTitleKey), shown);
  post([this, shown] {
    setResult(shown);
    setResultTextColor(QColor(Qt::red));
  });
  const bool explained =
      name == RVOperationCancelledException || name == std::string_view(CVNExpectedException);
  logWithIconName(CVNIconError, explained ? CVN_KEY("Failed") : CVN_KEY("Error"), reason);
}
