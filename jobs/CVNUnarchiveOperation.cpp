#include "jobs/CVNUnarchiveOperation.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <deque>
#include <filesystem>
#include <set>
#include <system_error>

#include "engine/CVNFileSystemNames.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileReader.h"
#include "engine/CVNZipPasswordEncoder.h"
#include "engine/io/RVFileSystem.h"
#include "engine/io/RVPath.h"
#include "jobs/CVNLocalization.h"
#include "jobs/CVNMainThread.h"
#include "jobs/CVNShowElidedText.h"
#include "jobs/CVNStringFromByteCount.h"
#include "jobs/CVNStringFromFileSystemRepresentation.h"
#include "ui_CVNUnarchiveOperationPasswordSheet.h"

namespace {

// The least width of a name line on the password sheet, in pixels: the sheet's
// width less its margins.
constexpr int kPasswordSheetNameWidth = 376;

// Sheets asked for on a main window, shown one at a time in the order asked:
// a window carries one sheet, and a second job waits for its turn. Main thread.
struct PasswordSheetQueue {
  QPointer<CVNUnarchiveOperation> showing;
  std::deque<QPointer<CVNUnarchiveOperation>> waiting;
};

PasswordSheetQueue& sheetQueue() {
  static PasswordSheetQueue queue;
  return queue;
}

}  // namespace

CVNUnarchiveOperation::CVNUnarchiveOperation(std::string path, QObject* parent)
    : CVNOperation(parent), path_(std::move(path)) {
  setReportsOnlyWarnings(false);
  setInitialStatus();

  loadLogWindow();

  auto* sheet = new QDialog;
  Ui::CVNUnarchiveOperationPasswordSheet sheetUi;
  sheetUi.setupUi(sheet);
  sheet->setWindowTitle(CVNLocalizedString("パスワード入力:シート件名:パスワード"));
  sheetUi.passwordLabel->setText(CVNLocalizedString("パスワード入力:シート本文:パスワードを入力"));
  sheetUi.askingAgainLabel->setText(
      CVNLocalizedString("パスワード入力:シート本文:受け付けられなかった"));
  sheetUi.askingAgainLabel->hide();
  passwordArchiveFormat_ = CVNLocalizedString("パスワード入力:シート本文:アーカイブ");
  passwordEntryFormat_ = CVNLocalizedString("パスワード入力:シート本文:項目");
  passwordArchiveLabel_ = sheetUi.archiveLabel;
  passwordEntryLabel_ = sheetUi.entryLabel;
  passwordAskingAgainLabel_ = sheetUi.askingAgainLabel;
  sheetUi.submitPasswordButton->setText(CVNLocalizedString("OK"));
  sheetUi.cancelPasswordButton->setText(CVNLocalizedString("Cancel"));
  passwordSheet_ = sheet;
  passwordTextField_ = sheetUi.passwordTextField;
  connect(sheetUi.submitPasswordButton, &QPushButton::clicked, this,
          &CVNUnarchiveOperation::submitPassword);
  connect(sheetUi.cancelPasswordButton, &QPushButton::clicked, this,
          &CVNUnarchiveOperation::cancelPassword);
  // Escape and the window's close button end the sheet the way its cancel does.
  connect(sheet, &QDialog::rejected, this, &CVNUnarchiveOperation::cancelPassword);
}

CVNUnarchiveOperation::~CVNUnarchiveOperation() {
  withdrawPasswordSheet();
  delete passwordSheet_.data();
}

std::optional<QString> CVNUnarchiveOperation::passwordText() const {
  std::lock_guard<std::mutex> g(lock());
  return passwordText_;
}

bool CVNUnarchiveOperation::isPasswordEntered() const {
  std::lock_guard<std::mutex> g(lock());
  return passwordText_.has_value();
}

void CVNUnarchiveOperation::setPasswordText(std::optional<QString> text) {
  std::lock_guard<std::mutex> g(lock());
  passwordText_ = std::move(text);
}

QString CVNUnarchiveOperation::summary() const { return CVNStringFromByteCount(currentValue()); }

void CVNUnarchiveOperation::setInitialStatus() {
  setStatus(CVNStringFromFileSystemRepresentation(path_));
}

CVNOperation::Texts CVNUnarchiveOperation::texts() const {
  return {CVN_KEY("Growl:StartExtracting"), CVN_KEY("Log:展開開始"),
          CVN_KEY("Growl:ExtractedSuccessfully"), CVN_KEY("Growl:AbortedExtracting")};
}

void CVNUnarchiveOperation::open() {
  reader_ = CVNZipFileReader::withZipFileAtPath(path_);
  if (!reader_) {
    logWithIconName(CVNIconWarning, CVN_KEY("Log:Zipファイルではない"),
                    CVNStringFromFileSystemRepresentation(path_));
    CVNRaiseExpectedException();
  }
  std::string folder;
  RVCreateUniqueDirectory(RVPathDeletingExtension(path_), &folder);
  folderMade_ = folder;
  postOpening();
  setOutputPath(folder);
  reader_->setOperation(this);
  reader_->setDefaultFileName(CVNLocalizedString("名称不明ファイル").toStdU16String());
  reader_->setDirectoryPath(folder);
}

uint64_t CVNUnarchiveOperation::firstPass() {
  uint64_t total = 0;
  enumerateWithZipFileReader(*reader_, [&total](const CVNZipCentralFileHeader& header) {
    total += header.uncompressedSize();
  });
  return total;
}

void CVNUnarchiveOperation::secondPass() {
  // The directory is read again rather than kept: memory stays flat however
  // many entries the archive holds.
  reader_->rewind();
  enumerateWithZipFileReader(
      *reader_, [this](const CVNZipCentralFileHeader& header) { process(header, *reader_); });
}

void CVNUnarchiveOperation::onePass() {
  enumerateWithZipFileReader(*reader_, [this](const CVNZipCentralFileHeader& header) {
    process(header, *reader_);
    postSummary();
  });
}

void CVNUnarchiveOperation::close() {
  reader_->closeFile();
  // Its buffers are not needed while the job waits in the list.
  reader_.reset();
  encoder_.reset();
}

void CVNUnarchiveOperation::removeOutput() {
  reader_.reset();
  encoder_.reset();
  if (folderMade_.empty()) return;
  // Links inside are removed, never followed.
  std::error_code error;
  std::filesystem::remove_all(std::filesystem::path(folderMade_), error);
  folderMade_.clear();
}

QString CVNUnarchiveOperation::successDescription() const {
  return CVNStringFromFileSystemRepresentation(path_);
}

QString CVNUnarchiveOperation::finishedArgument() const {
  return CVNStringFromFileSystemRepresentation(path_);
}

void CVNUnarchiveOperation::enumerateWithZipFileReader(
    CVNZipFileReader& reader, const std::function<void(const CVNZipCentralFileHeader&)>& block) {
  for (;;) {
    CVNRaiseIfCancelled(this);
    std::unique_ptr<CVNZipCentralFileHeader> header = reader.readCentralFileHeader();
    if (!header) return;
    const std::optional<std::u16string> name = header->fileNameString();
    if (!name) {
      const quint64 size = header->uncompressedSize();
      logWithIconName(CVNIconWarning, CVN_KEY("Log:認識できないパス"),
                      CVNLocalizedPluralWithFormat("%1$qu bytes", size, {size}));
      switch (unrecognizableFileNameBehavior_.load()) {
        case CVNUnrecognizableFileNameBehaviorError:
          CVNRaiseExpectedException();
        case CVNUnrecognizableFileNameBehaviorContinuousWarning:
          logWithIconName(CVNIconWarning, CVN_KEY("Skipped"));
          continue;
        default:
          block(*header);
          continue;
      }
    }
    // "\" separates folders in names from Windows, so "sub\Thumbs.db" counts.
    if (isWindowsFileSystemFile(zipFileNameWithSeparators(*name, header->versionMadeBy()))) {
      switch (entrySpecificToWindowsBehavior_.load()) {
        case CVNEntrySpecificToWindowsBehaviorExtracts:
          block(*header);
          break;
        case CVNEntrySpecificToWindowsBehaviorExcludesWithWarning:
          logWithIconName(CVNIconWarning, CVN_KEY("Skipped"), QString::fromStdU16String(*name));
          break;
        default:
          break;
      }
      continue;
    }
    block(*header);
  }
}

void CVNUnarchiveOperation::process(const CVNZipCentralFileHeader& header,
                                    CVNZipFileReader& reader) {
  entriesHandedOn_.fetch_add(1, std::memory_order_relaxed);
  const std::optional<std::u16string> name = header.fileNameString();
  const std::optional<QString> argument =
      name ? std::optional<QString>(QString::fromStdU16String(*name)) : std::nullopt;
  setStatus(argument.value_or(QString()));
  reader.setPassword(std::nullopt);
  encoder_.reset();

  // A failed try's output is gone, and so is its progress.
  auto extract = [this, &header, &reader] {
    const uint64_t before = currentValue();
    const CVNZipResult r = reader.decompressFileDataRelativeToCentralFileHeader(header);
    if (r == CVNZipResultPasswordRequired) setCurrentValue(before);
    return r;
  };
  // An ASCII text is the same bytes in every candidate encoding: one pass is enough.
  std::set<std::vector<uint8_t>> tried;
  // The text typed into the last sheet shown for this entry; a text carried over
  // from an earlier entry was never typed for this one.
  std::optional<QString> typed;

  CVNZipResult result = extract();
  while (result == CVNZipResultPasswordRequired) {
    if (!encoder_) {
      std::optional<QString> text = passwordText();
      if (!text) {
        waitForPassword(argument.value_or(QString::fromStdU16String(
                            reader.defaultFileName().value_or(std::u16string()))),
                        typed.has_value());
        text = passwordText().value_or(QString());
        if (text == typed) {
          // Typed again after it failed: the user holds it for the right one, and
          // a damaged entry must not keep asking. The entry is taken as it comes out.
          std::optional<std::vector<uint8_t>> bytes =
              CVNZipPasswordEncoder(header.versionMadeBy(), text->toStdU16String()).nextEncoding();
          if (bytes) {
            reader.setPassword(std::move(bytes));
            reader.setPasswordTrusted(true);
            try {
              result = extract();
            } catch (...) {
              reader.setPasswordTrusted(false);
              throw;
            }
            reader.setPasswordTrusted(false);
            break;
          }
        }
        typed = text;
      }
      encoder_ =
          std::make_unique<CVNZipPasswordEncoder>(header.versionMadeBy(), text->toStdU16String());
    }
    std::optional<std::vector<uint8_t>> bytes = encoder_->nextEncoding();
    while (bytes && !tried.insert(*bytes).second) bytes = encoder_->nextEncoding();
    if (!bytes) {
      // Tried in every candidate encoding, or it fits none: ask again.
      encoder_.reset();
      setPasswordText(std::nullopt);
      continue;
    }
    reader.setPassword(std::move(bytes));
    result = extract();
  }
  encoder_.reset();

  switch (result) {
    case CVNZipResultSucceeded:
      if (!reportsOnlyWarnings())
        logWithIconName(CVNIconItemSucceeded, CVN_KEY("Log:展開した"), argument);
      break;
    case CVNZipResultUnsupportedCompressionMethod:
      logWithIconName(CVNIconWarning, CVN_KEY("Log:未対応の圧縮メソッド"), argument);
      break;
    case CVNZipResultDataError:
      logWithIconName(CVNIconWarning, CVN_KEY("Log:データが壊れている"), argument);
      if (incorrectFileDataBehavior_.load() == CVNIncorrectFileDataBehaviorError) {
        CVNRaiseExpectedException();
      }
      break;
    case CVNZipResultVerificationFailed:
      if (!reportsOnlyWarnings())
        logWithIconName(CVNIconItemSucceeded, CVN_KEY("Log:展開した"), argument);
      logWithIconName(CVNIconWarning, CVN_KEY("Log:データの検証に失敗"), argument);
      if (verificationErrorBehavior_.load() == CVNVerificationErrorBehaviorError) {
        CVNRaiseExpectedException();
      }
      break;
    default:
      break;
  }
}

void CVNUnarchiveOperation::waitForPassword(const QString& entryName, bool askingAgain) {
  CVNPostToMainThread([job = QPointer<CVNUnarchiveOperation>(this), entryName, askingAgain] {
    if (!job) return;
    job->setPasswordSheetEntry(entryName, askingAgain);
    job->showPasswordSheet();
  });
  try {
    // Under the job's lock already: read the field directly.
    waitUntil([this] { return passwordText_.has_value(); });
  } catch (...) {
    // Cancelled from anywhere (the tile, quitting): the sheet goes too.
    CVNPostToMainThread([job = QPointer<CVNUnarchiveOperation>(this)] {
      if (job) job->withdrawPasswordSheet();
    });
    throw;
  }
}

void CVNUnarchiveOperation::setPasswordSheetEntry(const QString& entryName, bool askingAgain) {
  if (!passwordSheet_) return;
  // Long names are cut, so that the sheet keeps its width.
  CVNShowElidedText(
      passwordArchiveLabel_,
      CVNStringWithFormat(passwordArchiveFormat_,
                          {CVNStringFromFileSystemRepresentation(RVPathLastComponent(path_))}),
      kPasswordSheetNameWidth);
  CVNShowElidedText(passwordEntryLabel_, CVNStringWithFormat(passwordEntryFormat_, {entryName}),
                    kPasswordSheetNameWidth);
  passwordAskingAgainLabel_->setVisible(askingAgain);
  // The note comes and goes: the sheet takes the height its lines need.
  passwordSheet_->resize(passwordSheet_->width(),
                         passwordSheet_->layout()->totalHeightForWidth(passwordSheet_->width()));
}

void CVNUnarchiveOperation::showPasswordSheet() {
  if (isCancelled() || !passwordSheet_) return;
  if (!mainWindow_) {
    presentPasswordSheet();
    return;
  }
  PasswordSheetQueue& queue = sheetQueue();
  if (queue.showing && queue.showing != this) {
    queue.waiting.emplace_back(this);
    return;
  }
  queue.showing = this;
  presentPasswordSheet();
}

void CVNUnarchiveOperation::presentPasswordSheet() {
  QDialog* sheet = passwordSheet_;
  if (mainWindow_) {
    // Parented while it is shown, for the window-modal sheet; the job owns it.
    sheet->setParent(mainWindow_, Qt::Dialog);
    sheet->setWindowModality(Qt::WindowModal);
  } else {
    sheet->setWindowModality(Qt::NonModal);
  }
  passwordSheetVisible_ = true;
  sheet->show();
  sheet->raise();
  sheet->activateWindow();
  // The text typed last stays, selected, so that typing replaces it.
  passwordTextField_->selectAll();
  passwordTextField_->setFocus(Qt::OtherFocusReason);
  emit passwordSheetShown();
}

void CVNUnarchiveOperation::submitPassword() {
  if (!passwordSheetVisible_) return;
  setPasswordText(passwordTextField_ ? passwordTextField_->text() : QString());
  passwordSheetDidEnd();
  wake();
}

void CVNUnarchiveOperation::cancelPassword() {
  if (!passwordSheetVisible_) return;
  cancel();
  passwordSheetDidEnd();
}

void CVNUnarchiveOperation::withdrawPasswordSheet() {
  std::erase(sheetQueue().waiting, QPointer<CVNUnarchiveOperation>(this));
  passwordSheetDidEnd();
}

void CVNUnarchiveOperation::passwordSheetDidEnd() {
  if (!passwordSheetVisible_) return;
  passwordSheetVisible_ = false;
  if (passwordSheet_) {
    passwordSheet_->hide();
    // Off the main window again, so that closing that window never takes it.
    passwordSheet_->setParent(nullptr, Qt::Dialog);
  }
  PasswordSheetQueue& queue = sheetQueue();
  if (queue.showing != this) return;
  queue.showing = nullptr;
  while (!queue.waiting.empty()) {
    QPointer<CVNUnarchiveOperation> next = queue.waiting.front();
    queue.waiting.pop_front();
    if (!next || next->isCancelled() || !next->passwordSheet_) continue;
    queue.showing = next;
    next->presentPasswordSheet();
    return;
  }
}
