#include "app/CVNAppController.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QMessageBox>
#include <QScreen>
#include <QSessionManager>
#include <QTimer>
#include <QVariantMap>
#include <mutex>

#include "app/CVNArchiveMenuController.h"
#include "app/CVNCollectionView.h"
#include "app/CVNOptionTables.h"
#include "app/CVNUpdateCheck.h"
#include "app/CVNUserDefaults.h"
#include "engine/io/RVException.h"
#include "jobs/CVNArchiveOperation.h"
#include "jobs/CVNLocalization.h"
#include "jobs/CVNOperation.h"
#include "jobs/CVNOperationQueue.h"
#include "jobs/CVNUnarchiveBehaviors.h"
#include "jobs/CVNUnarchiveOperation.h"

namespace {

constexpr int kMaxConcurrentOperationCount = 2;
constexpr int kWindowWidth = 400;
constexpr int kWindowHeight = 183;
// How long an informational attention request lasts.
constexpr int kAttentionMs = 1000;

QVariantList behaviorTable(std::initializer_list<const char*> titleKeys) {
  QVariantList rows;
  for (const char* key : titleKeys) {
    rows.append(QVariantMap{{QStringLiteral("Title"), CVNLocalizedString(key)}});
  }
  return rows;
}

// The extension of the path's last component, as the file manager shows it; a
// trailing slash (a folder) is ignored and a leading dot starts no extension.
std::string pathExtension(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

bool isZipExtension(const std::string& extension) {
  return QString::fromUtf8(extension).compare(QLatin1String("zip"), Qt::CaseInsensitive) == 0;
}

}  // namespace

QVariantMap CVNAppController::registeredDefaults() {
  return {
      {QStringLiteral("ReportsOnlyWarningsForCreation"), 1},
      {QStringLiteral("DefaultCompression"), -1},
      {QStringLiteral("DefaultArchivesIndividually"), false},
      {QStringLiteral("DefaultIgnoresEmptyFolders"), false},
      {QStringLiteral("DefaultWindowsLanguage"), qint64(-1)},
      {QStringLiteral("DefaultCharacterEscaping"), 9u},
      {QStringLiteral("ReportsOnlyWarningsForExtraction"), 1},
      {QStringLiteral("ContinuesExtractionAsMuchAsPossibleEvenIfThereAreWarnings"), 1},
      {QStringLiteral("ExtractsEntriesSpecificToWindows"), 1},
  };
}

CVNAppController::ExtractionPreferences CVNAppController::extractionPreferences() {
  const CVNUserDefaults& defaults = CVNUserDefaults::standardUserDefaults();
  return {defaults.integerForKey(QString::fromLatin1(CVNReportsOnlyWarningsForExtractionKey)),
          defaults.integerForKey(QString::fromLatin1(CVNExtractsEntriesSpecificToWindowsKey)),
          defaults.integerForKey(QString::fromLatin1(CVNContinuesExtractionKey))};
}

std::shared_ptr<CVNUnarchiveOperation> CVNAppController::makeUnarchiveOperation(
    const std::string& path, const ExtractionPreferences& preferences) {
  const bool continues = preferences.continuesExtraction == 1;
  auto operation = std::make_shared<CVNUnarchiveOperation>(path);
  operation->setIndeterminately(false);
  operation->setReportsOnlyWarnings(preferences.reportsOnlyWarningsForExtraction == 1);
  operation->setEntrySpecificToWindowsBehavior(preferences.extractsEntriesSpecificToWindows == 1
                                                   ? CVNEntrySpecificToWindowsBehaviorExtracts
                                                   : CVNEntrySpecificToWindowsBehaviorExcludes);
  operation->setUnrecognizableFileNameBehavior(
      continues ? CVNUnrecognizableFileNameBehaviorContinuousWarningAndExtracts
                : CVNUnrecognizableFileNameBehaviorError);
  operation->setIncorrectFileDataBehavior(continues ? CVNIncorrectFileDataBehaviorContinuousWarning
                                                    : CVNIncorrectFileDataBehaviorError);
  operation->setVerificationErrorBehavior(continues ? CVNVerificationErrorBehaviorContinuousWarning
                                                    : CVNVerificationErrorBehaviorError);
  return operation;
}

void CVNAppController::initialize() {
  static std::once_flag once;
  std::call_once(
      once, [] { CVNUserDefaults::standardUserDefaults().registerDefaults(registeredDefaults()); });
}

CVNAppController::CVNAppController(QObject* parent) : QObject(parent) {
  initialize();
  EntrySpecificToMacBehaviorArray_ = behaviorTable({
      CVN_KEY("CVNEntrySpecificToMacBehaviorExcludes"),
      CVN_KEY("CVNEntrySpecificToMacBehaviorExcludesWithWarning"),
      CVN_KEY("CVNEntrySpecificToMacBehaviorIncludesInArchive"),
  });
  EntrySpecificToWindowsBehaviorArray_ = behaviorTable({
      CVN_KEY("CVNEntrySpecificToWindowsBehaviorExcludes"),
      CVN_KEY("CVNEntrySpecificToWindowsBehaviorExcludesWithWarning"),
      CVN_KEY("CVNEntrySpecificToWindowsBehaviorExtracts"),
  });
  UnrecognizableFileNameBehaviorArray_ = behaviorTable({
      CVN_KEY("CVNUnrecognizableFileNameBehaviorContinuousWarning"),
      CVN_KEY("CVNUnrecognizableFileNameBehaviorContinuousWarningAndExtracts"),
      CVN_KEY("CVNUnrecognizableFileNameBehaviorError"),
  });
  IncorrectFileDataBehaviorArray_ = behaviorTable({
      CVN_KEY("CVNIncorrectFileDataBehaviorContinuousWarning"),
      CVN_KEY("CVNIncorrectFileDataBehaviorError"),
  });
  DecompressionMismatchBehaviorArray_ = behaviorTable({
      CVN_KEY("CVNVerificationErrorBehaviorContinuousWarning"),
      CVN_KEY("CVNVerificationErrorBehaviorContinuousWarningAndKeepsExtractedFile"),
      CVN_KEY("CVNVerificationErrorBehaviorError"),
  });
  // The same rows as the settings sheet's, the code pages led by "follow the
  // system languages".
  for (const QVariantMap& row : CVNCompressionLevelTable()) DefaultCompressionLevelArray_ << row;
  for (const QVariantMap& row : CVNCodepageTable(true)) DefaultCodepageArray_ << row;
  for (const QVariantMap& row : CVNEscapingLevelTable()) DefaultEscapingLevelArray_ << row;
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    connect(app, &QGuiApplication::commitDataRequest, this, &CVNAppController::commitDataRequest,
            Qt::DirectConnection);
  }
}

CVNAppController::~CVNAppController() {
  decideTermination();
  if (terminateAlert_) delete terminateAlert_.data();
  if (!operationQueue_) return;
  // A finish seen while going away must not start a quit or ask for attention.
  for (auto& [operation, connection] : finishObservations_) disconnect(connection);
  finishObservations_.clear();
  // A running job may be waiting for the main thread, so the wait keeps the
  // event loop turning.
  operationQueue_->cancelAllOperations();
  // processEvents, not a nested loop: after exit() a new loop would return at once.
  while (!operationQueue_->operations().empty()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  operationQueue_.reset();
}

void CVNAppController::setWindow(QWidget* window) {
  if (window_) window_->removeEventFilter(this);
  window_ = window;
  if (window_) window_->installEventFilter(this);
}

void CVNAppController::awakeFromNib() {
  operationQueue_ = std::make_unique<CVNOperationQueue>(kMaxConcurrentOperationCount);
  connect(operationQueue_.get(), &CVNOperationQueue::didDrain, this, [this] {
    if (terminatesWhenDrained_) replyToApplicationShouldTerminate(true);
  });
  if (!window_) return;
  window_->setMinimumSize(kWindowWidth, kWindowHeight);
  window_->resize(kWindowWidth, kWindowHeight);
  // Wayland lets the compositor place windows; elsewhere the window centres itself
  // on the free part of the primary screen, which need not start at 0,0 when
  // there are several monitors or a panel on the left or top.
  if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect available = screen->availableGeometry();
      const QRect frame = window_->frameGeometry();
      window_->move(available.x() + (available.width() - frame.width()) / 2,
                    available.y() + (available.height() - frame.height()) / 2);
    }
  }
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void CVNAppController::applicationDidFinishLaunching() { launched_ = true; }

void CVNAppController::openFiles(const std::vector<std::string>& filenames) {
  if (!launched_) terminatesAutomatically_ = true;
  acceptFiles(filenames);
}

bool CVNAppController::applicationOpenUntitledFile() {
  if (window_) {
    window_->show();
    window_->raise();
    window_->activateWindow();
  }
  return true;
}

void CVNAppController::acceptFiles(const std::vector<std::string>& filenames) {
  if (filenames.empty()) RVRaiseInvalidParameter("!filenames.empty()");
  if (filenames.size() == 1 && isZipExtension(pathExtension(filenames.front()))) {
    auto operation = makeUnarchiveOperation(filenames.front(), extractionPreferences());
    operation->setMainWindow(window_);
    addOperation(std::move(operation));
    return;
  }
  // Until the sheet has ended its files may still become jobs, so the
  // automatic quit waits for it.
  ++openSheets_;
  // The sheet keeps itself alive until it has ended.
  QTimer::singleShot(0, this, [this, filenames] {
    auto* sheet = new CVNArchiveMenuController(filenames);
    connect(sheet, &CVNArchiveMenuController::CVNArchiveMenuControllerDidSubmit, this,
            [this](std::shared_ptr<CVNArchiveOperation> operation) {
              archiveMenuControllerDidSubmit(std::move(operation));
            });
    const auto ended = std::make_shared<bool>(false);
    const auto sheetDidEnd = [this, ended] {
      if (*ended) return;
      *ended = true;
      --openSheets_;
      resumeHeldTermination();
    };
    connect(sheet->window(), &QDialog::finished, this, sheetDidEnd);
    connect(sheet, &QObject::destroyed, this, sheetDidEnd);
    sheet->showSheetInWindow(window_);
  });
}

void CVNAppController::archiveMenuControllerDidSubmit(std::shared_ptr<CVNOperation> operation) {
  addOperation(std::move(operation));
}

void CVNAppController::addOperation(std::shared_ptr<CVNOperation> operation) {
  CVNOperation* job = operation.get();
  // Observed before it can run, so no finish is missed; the finish arrives on
  // the worker thread and is handled here, queued.
  finishObservations_[job] = connect(
      job, &CVNOperation::finishedChanged, this,
      [this, job] {
        if (job->isFinished()) operationDidFinish(job);
      },
      Qt::QueuedConnection);
  // Quitting is under way: the job is shown but never runs, so the drain it
  // joins still comes to an end.
  if (terminatesWhenDrained_ || terminated_) job->cancel();
  operationQueue_->addOperation(operation);
  if (operationsController_) operationsController_->addObject(std::move(operation));
  if (window_) window_->raise();
}

void CVNAppController::operationDidFinish(CVNOperation* operation) {
  auto found = finishObservations_.find(operation);
  if (found == finishObservations_.end()) return;
  disconnect(found->second);
  finishObservations_.erase(found);
  // Only the job that has just finished decides; earlier warnings hold nothing open.
  if (terminatesAutomatically_) {
    const bool terminates = operation->warningCount() == 0 && !hasUnfinishedOperations();
    // Quitting now would end the check's wait or its alert, and with them
    // the day's check, or throw away a sheet's files.
    if (CVNUpdateCheck::isChecking() || openSheets_ > 0) {
      terminationHeld_ = terminates;
    } else if (terminates) {
      terminate();
    }
  }
  if (!operation->isCancelled()) {
    emit attentionRequested();
    if (window_) QApplication::alert(window_, kAttentionMs);
  }
}

bool CVNAppController::hasUnfinishedOperations() const {
  if (!operationQueue_) return false;
  for (const auto& operation : operationQueue_->operations()) {
    if (!operation->isFinished()) return true;
  }
  return false;
}

void CVNAppController::clearAllOperations() {
  if (!operationsController_) return;
  for (int i = operationsController_->count() - 1; i >= 0; --i) {
    if (operationsController_->arrangedObjects()[static_cast<size_t>(i)]->isFinished()) {
      operationsController_->removeObjectAtArrangedObjectIndex(i);
    }
  }
}

bool CVNAppController::windowShouldClose() {
  terminate();
  return false;
}

CVNAppController::TerminateReply CVNAppController::applicationShouldTerminate() {
  if (!hasUnfinishedOperations()) return TerminateReply::TerminateNow;
  auto* alert = new CVNYesNoAlert(CVN_KEY("ダイアログタイトル:アプリケーション終了"),
                                  CVN_KEY("ダイアログメッセージ:アプリケーション終了"), window_);
  // Shown without a nested event loop; the answer comes back through the signal.
  alert->setWindowModality(Qt::ApplicationModal);
  alert->setAttribute(Qt::WA_DeleteOnClose);
  connect(alert, &QMessageBox::finished, this, [this, alert] {
    if (terminateAlert_ != alert) return;
    terminateAlert_ = nullptr;
    if (alert->isConfirmed()) {
      cancelAllAndTerminateWhenDrained();
    } else {
      replyToApplicationShouldTerminate(false);
    }
  });
  terminateAlert_ = alert;
  alert->show();
  return TerminateReply::TerminateLater;
}

void CVNAppController::terminate() {
  if (terminated_ || terminatesWhenDrained_) return;
  if (terminateAlert_) {
    terminateAlert_->raise();
    terminateAlert_->activateWindow();
    return;
  }
  switch (applicationShouldTerminate()) {
    case TerminateReply::TerminateNow:
      quit();
      break;
    case TerminateReply::TerminateCancel:
    case TerminateReply::TerminateLater:
      break;
  }
}

void CVNAppController::terminateWithoutAsking() {
  if (terminated_) return;
  if (terminateAlert_) {
    CVNYesNoAlert* alert = terminateAlert_;
    terminateAlert_ = nullptr;
    alert->close();
  }
  cancelAllAndTerminateWhenDrained();
}

void CVNAppController::cancelAllAndTerminateWhenDrained() {
  decideTermination();
  terminatesWhenDrained_ = true;
  if (!operationQueue_ || operationQueue_->operations().empty()) {
    replyToApplicationShouldTerminate(true);
    return;
  }
  // Waiting jobs finish without running; the queue drains with the loop running.
  operationQueue_->cancelAllOperations();
}

void CVNAppController::replyToApplicationShouldTerminate(bool shouldTerminate) {
  if (shouldTerminate) {
    quit();
  } else {
    terminatesWhenDrained_ = false;
  }
}

void CVNAppController::quit() {
  if (terminated_) return;
  decideTermination();
  terminated_ = true;
  terminatesWhenDrained_ = false;
  emit willTerminate();
  if (terminationHandler_) {
    terminationHandler_();
  } else {
    QCoreApplication::exit(0);
  }
}

void CVNAppController::decideTermination() {
  if (terminationDecided_) return;
  terminationDecided_ = true;
  emit terminationDecided();
}

void CVNAppController::commitDataRequest(QSessionManager& manager) {
  // The session asks to quit: without unfinished jobs it may go on; with them
  // the user is asked, and the logout waits for the answer.
  if (!hasUnfinishedOperations()) return;
  if (manager.allowsInteraction()) terminate();
  manager.cancel();
}

void CVNAppController::checkForUpdates() { emit checkForUpdatesRequested(); }

void CVNAppController::updateCheckDidReturn() { resumeHeldTermination(); }

void CVNAppController::resumeHeldTermination() {
  if (!terminationHeld_ || CVNUpdateCheck::isChecking() || openSheets_ > 0) return;
  terminationHeld_ = false;
  // A job added meanwhile that is still running decides when it finishes.
  if (!hasUnfinishedOperations()) terminate();
}

bool CVNAppController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::Close) {
    event->ignore();
    windowShouldClose();
    return true;
  }
  return QObject::eventFilter(watched, event);
}
