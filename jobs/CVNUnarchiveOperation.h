// The extraction job: unpacks one Zip archive into a new folder beside it,
// asking for a password when an entry needs one, and keeps a log of what it did.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "jobs/CVNOperation.h"
#include "jobs/CVNUnarchiveBehaviors.h"

class CVNZipCentralFileHeader;
class CVNZipFileReader;
class CVNZipPasswordEncoder;

class CVNUnarchiveOperation : public CVNOperation {
  Q_OBJECT

 public:
  // A job for the archive at `path` (file-system bytes) with the default
  // behaviours: Windows-only entries skipped with a warning, unreadable names
  // skipped with a warning, damaged data and failed checks reported. Loads the
  // log window and the password sheet. Create on the main thread.
  explicit CVNUnarchiveOperation(std::string path, QObject* parent = nullptr);
  ~CVNUnarchiveOperation() override;

  const std::string& path() const { return path_; }

  // The window that carries the password sheet; without one the sheet is a
  // dialog of its own. Main thread.
  QWidget* mainWindow() const { return mainWindow_; }
  void setMainWindow(QWidget* window) { mainWindow_ = window; }

  // Set before the job is queued (CVNUnarchiveBehaviors.h).
  uint64_t entrySpecificToWindowsBehavior() const { return entrySpecificToWindowsBehavior_; }
  void setEntrySpecificToWindowsBehavior(uint64_t value) {
    entrySpecificToWindowsBehavior_ = value;
  }
  uint64_t unrecognizableFileNameBehavior() const { return unrecognizableFileNameBehavior_; }
  void setUnrecognizableFileNameBehavior(uint64_t value) {
    unrecognizableFileNameBehavior_ = value;
  }
  uint64_t incorrectFileDataBehavior() const { return incorrectFileDataBehavior_; }
  void setIncorrectFileDataBehavior(uint64_t value) { incorrectFileDataBehavior_ = value; }
  uint64_t verificationErrorBehavior() const { return verificationErrorBehavior_; }
  void setVerificationErrorBehavior(uint64_t value) { verificationErrorBehavior_ = value; }

  // The password typed last; none until one is typed, and again once it has
  // failed in every candidate encoding. Any thread.
  std::optional<QString> passwordText() const;
  bool isPasswordEntered() const;

  // Entries handed on for extraction so far (the benchmark driver's count).
  uint64_t entriesHandedOn() const { return entriesHandedOn_.load(std::memory_order_relaxed); }

  QString summary() const override;
  void setInitialStatus() override;

  // The sheet and its field, from the interface file.
  QDialog* passwordSheet() const { return passwordSheet_; }
  QLineEdit* passwordTextField() const { return passwordTextField_; }

  // Asks for the sheet (main thread): it shows at once, or, on a main window
  // that already carries another job's sheet, once that one has ended.
  void showPasswordSheet();

 public slots:
  // The sheet's accepting button: keeps the field's text (empty counts) as the
  // password, ends the sheet and wakes the worker.
  void submitPassword();
  // The sheet's cancelling button: cancels the job and ends the sheet.
  void cancelPassword();

 signals:
  // The sheet is on screen with the focus in its field. Main thread.
  void passwordSheetShown();

 protected:
  // The job's steps in the base's run, on the worker thread.
  Texts texts() const override;
  // Opens the reader and makes a free output folder; warns and stops on a file
  // that is no Zip archive, before any folder is made.
  void open() override;
  // Walks the central directory with its rules; the uncompressed sizes handed on.
  uint64_t firstPass() override;
  // Walks it again from the start, extracting each entry handed on.
  void secondPass() override;
  // Walks it once, extracting each entry as it comes.
  void onePass() override;
  // Closes the reader and lets go of its buffers.
  void close() override;
  // Removes the output folder with everything extracted into it.
  void removeOutput() override;
  // Both the archive's path.
  QString successDescription() const override;
  QString finishedArgument() const override;

 private:
  // Walks the central directory once, applying the unreadable-name and
  // Windows-only rules with their rows; hands each entry that passes to `block`.
  // Each header lives only while its entry is handled.
  void enumerateWithZipFileReader(CVNZipFileReader& reader,
                                  const std::function<void(const CVNZipCentralFileHeader&)>& block);
  // Extracts one entry, trying and asking for passwords as needed, and logs
  // its result; raises the expected exception where a behaviour says stop.
  void process(const CVNZipCentralFileHeader& header, CVNZipFileReader& reader);
  // Asks for a password for the entry shown as `entryName`, saying so when a
  // sheet for it was answered before; blocks the worker until a password is
  // typed or the job is cancelled.
  void waitForPassword(const QString& entryName, bool askingAgain);
  // Names the archive and the entry on the sheet and shows or hides the note
  // of a text that was not accepted (main thread).
  void setPasswordSheetEntry(const QString& entryName, bool askingAgain);
  // Puts the sheet on screen (main thread).
  void presentPasswordSheet();
  // Takes the sheet down, or out of the queue, when the job no longer waits.
  void withdrawPasswordSheet();
  // Hides the sheet and lets the next waiting sheet show. Idempotent.
  void passwordSheetDidEnd();
  void setPasswordText(std::optional<QString> text);

  const std::string path_;
  QPointer<QWidget> mainWindow_;
  std::atomic<uint64_t> entrySpecificToWindowsBehavior_{
      CVNEntrySpecificToWindowsBehaviorExcludesWithWarning};
  std::atomic<uint64_t> unrecognizableFileNameBehavior_{
      CVNUnrecognizableFileNameBehaviorContinuousWarning};
  std::atomic<uint64_t> incorrectFileDataBehavior_{CVNIncorrectFileDataBehaviorContinuousWarning};
  std::atomic<uint64_t> verificationErrorBehavior_{CVNVerificationErrorBehaviorContinuousWarning};
  std::atomic<uint64_t> entriesHandedOn_{0};

  // Under the job's lock.
  std::optional<QString> passwordText_;

  // Worker thread only.
  std::unique_ptr<CVNZipFileReader> reader_;
  std::unique_ptr<CVNZipPasswordEncoder> encoder_;
  std::string folderMade_;

  // Main thread only. The sheet is the job's, even while it is parented to
  // the main window; the log window is the base's.
  QPointer<QDialog> passwordSheet_;
  QPointer<QLineEdit> passwordTextField_;
  QPointer<QLabel> passwordArchiveLabel_;
  QPointer<QLabel> passwordEntryLabel_;
  QPointer<QLabel> passwordAskingAgainLabel_;
  // Looked up when the job is made, as every other text of the sheet.
  QString passwordArchiveFormat_;
  QString passwordEntryFormat_;
  bool passwordSheetVisible_ = false;
};
