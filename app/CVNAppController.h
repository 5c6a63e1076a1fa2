// The object that ties the application together: registers the preferences,
// owns the job queue, turns opened and dropped files into jobs or the archive
// settings sheet, reacts when jobs finish, and confirms quitting while jobs run.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QVariantMap>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/CVNDraggableScrollView.h"
#include "app/CVNOperationsController.h"
#include "app/CVNYesNoAlert.h"

class CVNOperation;
class CVNOperationQueue;
class CVNUnarchiveOperation;
class QSessionManager;

class CVNAppController : public QObject {
  Q_OBJECT
  // The option tables, published for the preferences window. The behaviour
  // tables' rows carry "Title"; the value tables' rows their values and "title".
  Q_PROPERTY(
      QVariantList EntrySpecificToMacBehaviorArray MEMBER EntrySpecificToMacBehaviorArray_ CONSTANT)
  Q_PROPERTY(QVariantList EntrySpecificToWindowsBehaviorArray MEMBER
                 EntrySpecificToWindowsBehaviorArray_ CONSTANT)
  Q_PROPERTY(QVariantList UnrecognizableFileNameBehaviorArray MEMBER
                 UnrecognizableFileNameBehaviorArray_ CONSTANT)
  Q_PROPERTY(
      QVariantList IncorrectFileDataBehaviorArray MEMBER IncorrectFileDataBehaviorArray_ CONSTANT)
  Q_PROPERTY(QVariantList DecompressionMismatchBehaviorArray MEMBER
                 DecompressionMismatchBehaviorArray_ CONSTANT)
  Q_PROPERTY(
      QVariantList DefaultCompressionLevelArray MEMBER DefaultCompressionLevelArray_ CONSTANT)
  Q_PROPERTY(QVariantList DefaultCodepageArray MEMBER DefaultCodepageArray_ CONSTANT)
  Q_PROPERTY(QVariantList DefaultEscapingLevelArray MEMBER DefaultEscapingLevelArray_ CONSTANT)

 public:
  // What applicationShouldTerminate() answers.
  enum class TerminateReply {
    TerminateCancel,  // keep running
    TerminateNow,
    TerminateLater,  // the answer follows through replyToApplicationShouldTerminate()
  };

  // The three extraction preferences, each on exactly when its stored value is 1.
  struct ExtractionPreferences {
    int64_t reportsOnlyWarningsForExtraction = 1;
    int64_t extractsEntriesSpecificToWindows = 1;
    int64_t continuesExtraction = 1;
  };
  // The extraction preferences as the application's store holds them.
  static ExtractionPreferences extractionPreferences();
  // An extraction job for the archive at `path` (file-system bytes) as the
  // application makes one: two passes, reporting and behaviours from
  // `preferences`. Needs no controller; main thread.
  static std::shared_ptr<CVNUnarchiveOperation> makeUnarchiveOperation(
      const std::string& path, const ExtractionPreferences& preferences);

  // Registers the default preferences. Runs once per process; call it before the
  // first controller exists (the constructor calls it too).
  static void initialize();
  // The nine registered defaults.
  static QVariantMap registeredDefaults();

  // Both flags clear and the eight option tables built with localised titles.
  explicit CVNAppController(QObject* parent = nullptr);
  // Cancels every job and waits for them with the event loop running.
  ~CVNAppController() override;

  // Once the outlets are set: the queue of two, the window sized, placed, shown.
  void awakeFromNib();
  // Marks the launch as finished.
  void applicationDidFinishLaunching();
  // Files handed over by the system; before launch has finished they arm the
  // automatic quit.
  void openFiles(const std::vector<std::string>& filenames);
  // A launch without files while running: the window comes to the front. Answers true.
  bool applicationOpenUntitledFile();
  // The common entry of opened and dropped items (full paths, never empty): one
  // Zip file becomes an extraction job, anything else opens the settings sheet
  // on the next turn of the event loop; until that sheet has ended, the
  // automatic quit waits.
  void acceptFiles(const std::vector<std::string>& filenames);
  // Observes, queues and lists `operation`, and raises the window without focus.
  void addOperation(std::shared_ptr<CVNOperation> operation);
  // A job from the settings sheet.
  void archiveMenuControllerDidSubmit(std::shared_ptr<CVNOperation> operation);

  // Removes every finished job from the list.
  void clearAllOperations();
  // Closing the window asks to quit; the window itself never closes.
  bool windowShouldClose();
  // Quits now when no job waits or runs; otherwise asks (application-modal, "No"
  // the default) and answers later.
  TerminateReply applicationShouldTerminate();
  // Notifications show while the application is in front too.
  bool userNotificationCenterShouldPresentNotification() const { return true; }

  // The platform's quit request (Quit, closing the window, the session, the
  // automatic quit): asks applicationShouldTerminate() and acts on the answer.
  void terminate();
  // The "Yes" path without asking (SIGINT, SIGTERM): cancels every job and quits
  // once the queue has drained.
  void terminateWithoutAsking();

  // What quitting does once it is decided; by default the event loop ends with
  // status 0. Tests put their own here.
  void setTerminationHandler(std::function<void()> handler) {
    terminationHandler_ = std::move(handler);
  }

  // The update check (wired by the update checker).
  void checkForUpdates();
  // An update check has returned, its alert answered: an automatic quit held
  // back meanwhile happens now, if no job has come to stop it.
  void updateCheckDidReturn();

  QWidget* window() const { return window_; }
  void setWindow(QWidget* window);
  CVNOperationsController* operationsController() const { return operationsController_; }
  void setOperationsController(CVNOperationsController* controller) {
    operationsController_ = controller;
  }
  CVNDraggableScrollView* collectionView() const { return collectionView_; }
  void setCollectionView(CVNDraggableScrollView* view) { collectionView_ = view; }

  CVNOperationQueue* operationQueue() const { return operationQueue_.get(); }
  bool launched() const { return launched_; }
  bool terminatesAutomatically() const { return terminatesAutomatically_; }
  // The open quit confirmation, or null.
  CVNYesNoAlert* terminateAlert() const { return terminateAlert_; }

 signals:
  // The user's attention was requested for a job that was not cancelled.
  void attentionRequested();
  // Quitting is decided and cannot be taken back: after the confirming answer,
  // a signal, a quit without jobs, or at teardown. Emitted once.
  void terminationDecided();
  // The application is about to leave its event loop.
  void willTerminate();
  // The update check was asked for.
  void checkForUpdatesRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void operationDidFinish(CVNOperation* operation);
  // True while a job in the queue has not finished.
  bool hasUnfinishedOperations() const;
  void replyToApplicationShouldTerminate(bool shouldTerminate);
  // Cancels every job and quits once the queue has drained.
  void cancelAllAndTerminateWhenDrained();
  void quit();
  void decideTermination();
  // Quits by itself as held back, once no check or sheet holds it any more.
  void resumeHeldTermination();
  void commitDataRequest(QSessionManager& manager);

  bool launched_ = false;
  bool terminatesAutomatically_ = false;
  QVariantList EntrySpecificToMacBehaviorArray_;
  QVariantList EntrySpecificToWindowsBehaviorArray_;
  QVariantList UnrecognizableFileNameBehaviorArray_;
  QVariantList IncorrectFileDataBehaviorArray_;
  QVariantList DecompressionMismatchBehaviorArray_;
  QVariantList DefaultCompressionLevelArray_;
  QVariantList DefaultCodepageArray_;
  QVariantList DefaultEscapingLevelArray_;
  std::unique_ptr<CVNOperationQueue> operationQueue_;
  QPointer<QWidget> window_;
  QPointer<CVNOperationsController> operationsController_;
  QPointer<CVNDraggableScrollView> collectionView_;

  std::map<CVNOperation*, QMetaObject::Connection> finishObservations_;
  QPointer<CVNYesNoAlert> terminateAlert_;
  bool terminatesWhenDrained_ = false;
  // The automatic quit came while an update check or a settings sheet was
  // under way, and happens once none is.
  bool terminationHeld_ = false;
  // Settings sheets asked for and not ended yet.
  int openSheets_ = 0;
  bool terminated_ = false;
  bool terminationDecided_ = false;
  std::function<void()> terminationHandler_;
};
