// The base of the background jobs: observable state and progress, the log, and
// the skeleton of a job's run (start, one or two passes, success or failure,
// end) that the archiving and extraction jobs fill in.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

#include "engine/CVNEngineJob.h"
#include "jobs/CVNLogModel.h"

class QTimer;
class RVException;

// Icon names of the log rows. The last two count as warnings.
inline constexpr const char* CVNIconStart = "box.png";
inline constexpr const char* CVNIconFinished = "box_okay.png";
inline constexpr const char* CVNIconItemSucceeded = "gem_okay.png";
inline constexpr const char* CVNIconWarning = "warning_triangle.png";
inline constexpr const char* CVNIconError = "error_small.png";

// Name of the failure a job raises after it has explained the stop in its log.
inline constexpr const char* CVNExpectedException = "CVNExpectedException";

// Raises CVNExpectedException with an empty reason.
[[noreturn]] void CVNRaiseExpectedException();

class CVNOperation : public QObject, public CVNEngineJob {
  Q_OBJECT
  Q_PROPERTY(bool executing READ isExecuting NOTIFY executingChanged)
  Q_PROPERTY(bool finished READ isFinished NOTIFY finishedChanged)
  Q_PROPERTY(bool indeterminate READ isIndeterminate NOTIFY indeterminateChanged)
  Q_PROPERTY(quint64 minValue READ minValue WRITE setMinValue NOTIFY minValueChanged)
  Q_PROPERTY(quint64 maxValue READ maxValue WRITE setMaxValue NOTIFY maxValueChanged)
  Q_PROPERTY(quint64 currentValue READ currentValue NOTIFY currentValueChanged)
  Q_PROPERTY(QString status READ status WRITE setStatus NOTIFY statusChanged)
  Q_PROPERTY(bool succeeded READ succeeded WRITE setSucceeded NOTIFY succeededChanged)
  Q_PROPERTY(bool progressIndicatorHidden READ progressIndicatorHidden WRITE
                 setProgressIndicatorHidden NOTIFY progressIndicatorHiddenChanged)
  Q_PROPERTY(bool asyncArrowsHidden READ asyncArrowsHidden WRITE setAsyncArrowsHidden NOTIFY
                 asyncArrowsHiddenChanged)
  Q_PROPERTY(bool resultHidden READ resultHidden WRITE setResultHidden NOTIFY resultHiddenChanged)
  Q_PROPERTY(QString result READ result WRITE setResult NOTIFY resultChanged)
  Q_PROPERTY(QColor resultTextColor READ resultTextColor WRITE setResultTextColor NOTIFY
                 resultTextColorChanged)
  Q_PROPERTY(bool isWarned READ isWarned NOTIFY isWarnedChanged)

 public:
  // The initial state: one-pass mode, indeterminate, progress 0, bar and spinner
  // hidden, "Please wait..." shown. Create on the main thread.
  explicit CVNOperation(QObject* parent = nullptr);
  // Clears status, result and resultTextColor through their setters and deletes
  // the log window. Main thread, once the job has left its queue.
  ~CVNOperation() override;

  // Run by the job queue on its worker thread: `finish` alone when the job was
  // cancelled while it waited, else `main`. Never throws.
  void start();

  // Cancellation, from any thread. Also wakes a worker blocked in waitUntil().
  void cancel();
  bool isCancelled() const override;

  // Flags, read under the job's lock from any thread.
  bool isExecuting() const;
  bool isFinished() const;
  bool isIndeterminate() const;

  // Sets executing. The jobs run it on the main thread and wait.
  void execute();
  // Ends the indeterminate state. The jobs run it on the main thread and wait.
  void determine();
  // Adds to currentValue: locks, adds, marks. Observers on the main thread hear
  // of it within a short interval, and always once the job has finished.
  void increaseCurrentValue(uint64_t byteCount) override;
  // Clears executing and sets finished, then emits CVNOperationDidFinish on the
  // calling thread (the worker's).
  void finish();

  // The job tile's reveal button: shows outputPath selected in the desktop's
  // file manager, or opens its folder when no file manager answers. Nothing
  // before the job has made its output. Main thread.
  virtual void showInFinder();
  // The job tile's log button: hides the log window when it is visible, else
  // brings it to the front. Main thread.
  virtual void showLogWindow();

  // The mode: true runs one pass with a spinner and a running summary; false two
  // passes with a byte-count bar. true at creation.
  bool indeterminately() const;
  void setIndeterminately(bool value);

  uint64_t minValue() const;
  void setMinValue(uint64_t value);
  uint64_t maxValue() const;
  void setMaxValue(uint64_t value);
  uint64_t currentValue() const;
  QString status() const;
  // Stored at once. Set on the main thread, observers hear of it at once; set on
  // the worker, within a short interval (the last value of the interval), and
  // always once the job has finished.
  void setStatus(const QString& value);
  bool succeeded() const;
  void setSucceeded(bool value);
  bool progressIndicatorHidden() const;
  void setProgressIndicatorHidden(bool value);
  bool asyncArrowsHidden() const;
  void setAsyncArrowsHidden(bool value);
  bool resultHidden() const;
  void setResultHidden(bool value);
  QString result() const;
  void setResult(const QString& value);
  // Invalid (the default colour) until a failure turns it red.
  QColor resultTextColor() const;
  void setResultTextColor(const QColor& value);

  // true: the per-item success rows are not logged.
  bool reportsOnlyWarnings() const;
  void setReportsOnlyWarnings(bool value);
  // Warning and error rows logged so far; a row counts when it is posted.
  uint64_t warningCount() const;
  // true while reportsOnlyWarnings is false; otherwise true once a warning was logged.
  bool isWarned() const;

  // The archive or folder the job made, in the file system's bytes; empty before.
  std::string outputPath() const;

  // The least time between two batches of rows handed to the main thread: a
  // display frame, so that a busy log still looks live.
  static constexpr int kLogHandOverIntervalMs = 16;

  // The rows in logging order. Lives on the main thread.
  CVNLogModel* logModel() const { return logModel_; }
  // The job's log window, from its interface file; titled by the status when the
  // job opens its output. The base has none. Main thread.
  QWidget* logWindow() const { return logWindow_; }

  // Logs a row from any thread: counts a warning (and keeps its text) at once;
  // the row reaches the model on the main thread, in logging order, within
  // kLogHandOverIntervalMs and in any case before the job's finish is
  // observed there. Never waits. The message is looked up by its key.
  void logWithIconName(const QString& iconName, const char* messageKey,
                       std::optional<QString> argument = std::nullopt);

  // The result text (each job's own).
  virtual QString summary() const = 0;
  // Sets status to the job's initial text.
  virtual void setInitialStatus() = 0;

 signals:
  void executingChanged();
  void finishedChanged();
  void indeterminateChanged();
  void minValueChanged();
  void maxValueChanged();
  void currentValueChanged();
  void statusChanged();
  void succeededChanged();
  void progressIndicatorHiddenChanged();
  void asyncArrowsHiddenChanged();
  void resultHiddenChanged();
  void resultChanged();
  void resultTextColorChanged();
  void isWarnedChanged();
  // Emitted on the worker thread once the job is finished.
  void CVNOperationDidFinish(CVNOperation* operation);

 protected:
  // The job's own steps, called on the worker thread by the skeleton in `main`.
  struct Texts {
    const char* startTitleKey;    // notification title when the output is open
    const char* startMessageKey;  // the start row's message
    const char* successTitleKey;  // notification title on success
    const char* abortTitleKey;    // notification title on failure
  };
  virtual Texts texts() const = 0;
  // Opens the output (reader or writer, folder or archive) and sets outputPath;
  // calls postOpening() once the status names what is being worked on.
  virtual void open() = 0;
  // Two-pass mode: the first pass, returning the bytes the second will process.
  virtual uint64_t firstPass() = 0;
  // Two-pass mode: the second pass.
  virtual void secondPass() = 0;
  // One-pass mode: walks and processes each item, calling postSummary() after each.
  virtual void onePass() = 0;
  // Closes the reader or writer on success.
  virtual void close() = 0;
  // On any failure after open() began: removes what the job made. Never throws.
  virtual void removeOutput() = 0;
  // The success notification's text and the "Finished" row's argument.
  virtual QString successDescription() const = 0;
  virtual QString finishedArgument() const = 0;

  // The shared skeleton. Jobs do not override it.
  void main();

  // Posts `block` to the main thread after every block posted before it; the
  // block is dropped if the job is destroyed first.
  void post(std::function<void()> block);

  // The opening steps: the log window's title, the start notification and the
  // start row, all naming the status as it is at the call.
  void postOpening();
  // Posts result = summary().
  void postSummary();
  void setOutputPath(std::string path);
  // Sets currentValue back, for bytes that no longer count (a try that failed
  // and left nothing). Observers hear of it as of increaseCurrentValue.
  void setCurrentValue(uint64_t value);
  // Makes the job's log window over its rows, titled by the status. Main thread.
  void loadLogWindow();
  // The job owns `window` from now on (unless it is deleted first); Escape and
  // Ctrl+W close it. Main thread.
  void setLogWindow(QWidget* window);
  // Hides the log window when it is visible, else raises and focuses it.
  void toggleLogWindow();

  // Blocks the worker until `ready` holds (asked under the job's lock) or the job
  // is cancelled, which raises RVOperationCancelledException. wake() and cancel()
  // make it ask again. Never runs an event loop.
  void waitUntil(const std::function<bool()>& ready);
  void wake();
  // The job's lock, for a job's own fields that share it (the typed password).
  std::mutex& lock() const { return lock_; }

 private:
  void fail(const std::string& name, const QString& reason);
  // Tells observers of the counter and the status that the worker changed them.
  void emitCoalescedChanges();
  void appendRow(const QString& iconName, const char* messageKey, std::optional<QString> argument);
  // Hands the waiting rows over now, or once kLogHandOverIntervalMs has passed
  // since the last hand-over. Main thread.
  void scheduleHandOver();
  // Moves the waiting rows into the model; `last` once the job has finished,
  // which gives their pages back. Main thread.
  void appendPendingRows(bool last = false);
  // The index of the kind of that icon and key, its message looked up the
  // first time. Under pendingRowsLock_.
  uint32_t rowKind(const QString& iconName, const char* messageKey);

  mutable std::mutex lock_;
  std::condition_variable wakeCondition_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> currentValueChangedFlag_{false};
  std::atomic<bool> statusChangedFlag_{false};
  std::atomic<bool> indeterminately_{true};

  bool executing_ = false;
  bool finished_ = false;
  bool indeterminate_ = true;
  uint64_t minValue_ = 0;
  uint64_t maxValue_ = 0;
  uint64_t currentValue_ = 0;
  QString status_;
  bool succeeded_ = false;
  bool progressIndicatorHidden_ = true;
  bool asyncArrowsHidden_ = true;
  bool resultHidden_ = false;
  QString result_;
  QColor resultTextColor_;
  bool reportsOnlyWarnings_ = false;
  uint64_t warningCount_ = 0;
  // The message key and argument of the last warning row the job logged: what
  // a stop that the log explains shows. Kept here because the rows reach the
  // model only later, on the main thread.
  std::optional<std::pair<QByteArray, std::optional<QString>>> lastWarning_;
  std::string outputPath_;

  // Rows logged but not yet in the model. They reach it in batches, at most
  // one per kLogHandOverIntervalMs, so a busy walk costs the main thread (and every
  // view of the log) one insertion per batch rather than one per row.
  std::mutex pendingRowsLock_;
  // The kinds stay from one batch to the next; rows and arguments move.
  CVNLogBatch pendingRows_;
  // The message key of each kind, as the caller spelled it.
  std::vector<QByteArray> rowKindKeys_;
  // A hand-over is posted or waits for its timer.
  bool handOverScheduled_ = false;
  QTimer* handOverTimer_;
  CVNLogBatch handedOverRows_;   // main thread; its pages go back to the worker
  QElapsedTimer sinceHandOver_;  // main thread

  CVNLogModel* logModel_;
  QPointer<QWidget> logWindow_;
  QTimer* progressTimer_;
};
