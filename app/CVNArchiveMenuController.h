// The archive-settings sheet: lists the items to pack, offers the compression
// level, Windows language version, escaping, password and grouping, and turns a
// confirmation into one archiving job per archive.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CVNOptionTables.h"

class CVNArchiveOperation;
class CVNArrayController;
class CVNPreferencesBinding;
class QDialog;
class QEvent;
class QLineEdit;
class QWidget;
namespace Ui {
class CVNArchiveMenuController;
}

class CVNArchiveMenuController : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool archivesIndividually READ archivesIndividually WRITE setArchivesIndividually
                 NOTIFY archivesIndividuallyChanged)
  Q_PROPERTY(bool ignoresEmptyFolder READ ignoresEmptyFolder WRITE setIgnoresEmptyFolder NOTIFY
                 ignoresEmptyFolderChanged)
  Q_PROPERTY(qint64 compressionLevel READ compressionLevel NOTIFY compressionLevelChanged)
  Q_PROPERTY(qint64 codepage READ codepage NOTIFY codepageChanged)
  Q_PROPERTY(quint64 escapingLevel READ escapingLevel NOTIFY escapingLevelChanged)
  Q_PROPERTY(bool triesConvertingToFullwidth READ triesConvertingToFullwidth NOTIFY
                 triesConvertingToFullwidthChanged)
  Q_PROPERTY(
      QString characterEscapeFormat READ characterEscapeFormat NOTIFY characterEscapeFormatChanged)
  Q_PROPERTY(QString password READ password WRITE setPassword NOTIFY passwordChanged)

 public:
  // What one confirmation is made of; the defaults are those of the preferences.
  struct Choices {
    // Full paths in the file system's bytes, at least one, in the order shown.
    std::vector<std::string> filenames;
    // Every item gets an archive of its own; else one archive holds them all.
    bool archivesIndividually = false;
    // Folders that yield no entry are left out; else they become folder entries.
    bool ignoresEmptyFolder = false;
    // -1 standard, 0 stored, 1 fastest, 9 smallest.
    int64_t compressionLevel = -1;
    // 1252, 932, 949, 936, 950, or -1 for the code page of the user's languages.
    int64_t codepage = -1;
    bool triesConvertingToFullwidth = true;
    // None removes the characters that would be escaped.
    std::optional<std::string> characterEscapeFormat = std::string("(U+%04X)");
    // Empty: no encryption.
    QString password;
    // Handed to every job.
    bool reportsOnlyWarnings = true;
  };

  // The confirmation, shared by the sheet and the headless driver: one name
  // encoder for the code page and escaping, the password converted into its
  // code page without loss, then one job per group (each item, or all items),
  // each handed to `submit` as soon as it is made. Returns false, having made
  // nothing, when the password cannot be represented in the code page. Main thread.
  static bool makeOperations(
      const Choices& choices,
      const std::function<void(std::shared_ptr<CVNArchiveOperation>)>& submit);

  // Builds the tables, loads the sheet and sets its values from the preferences
  // (see the preferences store); the sheet is not yet shown. `filenames` must not
  // be empty. Main thread.
  explicit CVNArchiveMenuController(std::vector<std::string> filenames, QObject* parent = nullptr);
  // Deletes the sheet's windows.
  ~CVNArchiveMenuController() override;

  // Shows the sheet window-modal on `parentWindow`. From here the controller
  // keeps itself: it must have been made with new, with no parent and no other
  // owner, and it deletes itself once the sheet has ended.
  void showSheetInWindow(QWidget* parentWindow);

  // The confirming action: makes the jobs, emitting CVNArchiveMenuControllerDidSubmit
  // for each, and ends the sheet; or, when the password does not fit the
  // chosen code page, shows an alert on the sheet and leaves everything as it is.
  void archive();
  // The cancelling action: ends the sheet with -1, making nothing.
  void close();
  // Shows and hides the nested sheet of defaults for new archives.
  void showPreferencesSheet();
  void closePreferencesSheet();

  // The localised title of the password box.
  static QString passwordBoxTitle();

  // The file table: one row per item, its full path in every column.
  int numberOfRowsInTableView() const;
  QString objectValue(int column, int row) const;

  const std::vector<std::string>& filenames() const { return filenames_; }
  const CVNOptionTable& compressionLevelValues() const { return compressionLevelValues_; }
  const CVNOptionTable& codepageValues() const { return codepageValues_; }
  const CVNOptionTable& escapingValues() const { return escapingValues_; }

  // The option values. All but the two Booleans and the password follow the
  // selected rows of their option controllers.
  bool archivesIndividually() const { return archivesIndividually_; }
  void setArchivesIndividually(bool value);
  bool ignoresEmptyFolder() const { return ignoresEmptyFolder_; }
  void setIgnoresEmptyFolder(bool value);
  int64_t compressionLevel() const { return compressionLevel_; }
  int64_t codepage() const { return codepage_; }
  uint64_t escapingLevel() const { return escapingLevel_; }
  bool triesConvertingToFullwidth() const { return triesConvertingToFullwidth_; }
  QString characterEscapeFormat() const { return characterEscapeFormat_; }
  QString password() const { return password_; }
  void setPassword(const QString& value);
  // From "ReportsOnlyWarningsForCreation" at creation.
  bool reportsOnlyWarnings() const { return reportsOnlyWarnings_; }

  // The interface objects, owned by the controller.
  QDialog* window() const;
  QDialog* preferencesSheet() const;
  CVNArrayController* compressionLevelArrayController() const {
    return compressionLevelArrayController_;
  }
  CVNArrayController* codepageArrayController() const { return codepageArrayController_; }
  CVNArrayController* escapingArrayController() const { return escapingArrayController_; }
  QLineEdit* passwordTextField() const;

 signals:
  // One per job, in order, as soon as it is made; the receiver takes the job over.
  void CVNArchiveMenuControllerDidSubmit(std::shared_ptr<CVNArchiveOperation> operation);

  void archivesIndividuallyChanged();
  void ignoresEmptyFolderChanged();
  void compressionLevelChanged();
  void codepageChanged();
  void escapingLevelChanged();
  void triesConvertingToFullwidthChanged();
  void characterEscapeFormatChanged();
  void passwordChanged();

 protected:
  // Escape on the sheet is the cancelling action.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void sheetDidEnd(int returnCode);
  void preferencesSheetDidEnd(int returnCode);
  void localizeInterface();
  void bindOptionValues();
  void bindPreferences();
  void readPreferences();
  void updateSummary();

  void setCompressionLevel(int64_t value);
  void setCodepage(int64_t value);
  void setEscapingLevel(uint64_t value);
  void setTriesConvertingToFullwidth(bool value);
  void setCharacterEscapeFormat(const QString& value);

  const std::vector<std::string> filenames_;
  const CVNOptionTable compressionLevelValues_;
  const CVNOptionTable codepageValues_;
  const CVNOptionTable escapingValues_;

  bool archivesIndividually_ = false;
  bool ignoresEmptyFolder_ = false;
  int64_t compressionLevel_ = 0;
  int64_t codepage_ = 0;
  uint64_t escapingLevel_ = 0;
  bool triesConvertingToFullwidth_ = false;
  QString characterEscapeFormat_;
  QString password_;
  bool reportsOnlyWarnings_ = false;

  std::unique_ptr<Ui::CVNArchiveMenuController> ui_;
  // Parented to the main window while shown; deleted with the controller.
  QPointer<QDialog> window_;
  CVNArrayController* compressionLevelArrayController_;
  CVNArrayController* codepageArrayController_;
  CVNArrayController* escapingArrayController_;
  // The nested sheet's controls, bound to the preferences rather than to the options.
  CVNPreferencesBinding* preferencesBinding_;
  bool shown_ = false;
};
