#include "app/CVNArchiveMenuController.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <algorithm>
#include <utility>

#include "app/CVNArchiveEmptyFolderValueTransformer.h"
#include "app/CVNArchiveIndividuallyValueTransformer.h"
#include "app/CVNArrayController.h"
#include "app/CVNIsFilledValueTransformer.h"
#include "app/CVNPreferencesBinding.h"
#include "app/CVNUserDefaults.h"
#include "engine/CVNPathComponentEncoder.h"
#include "engine/CVNStringEncoding.h"
#include "engine/CVNWindowsCodepage.h"
#include "engine/io/RVException.h"
#include "jobs/CVNArchiveOperation.h"
#include "jobs/CVNLocalization.h"
#include "jobs/CVNStringFromFileSystemRepresentation.h"
#include "ui_CVNArchiveMenuController.h"

namespace {

const QString kCompressionLevel = QStringLiteral("compressionLevel");
const QString kCodepage = QStringLiteral("codepage");
const QString kEscapingLevel = QStringLiteral("escapingLevel");
const QString kTriesConvertingToFullwidth = QStringLiteral("triesConvertingToFullwidth");
const QString kCharacterEscapeFormat = QStringLiteral("characterEscapeFormat");

// The file table's model: asks the sheet controller, its data source, for
// every row and column.
class FileTableModel : public QAbstractTableModel {
 public:
  explicit FileTableModel(const CVNArchiveMenuController* controller)
      : QAbstractTableModel(const_cast<CVNArchiveMenuController*>(controller)),
        controller_(controller) {}

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : controller_->numberOfRowsInTableView();
  }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 1; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
      return controller_->objectValue(index.column(), index.row());
    return {};
  }

 private:
  const CVNArchiveMenuController* controller_;
};

}  // namespace

bool CVNArchiveMenuController::makeOperations(
    const Choices& choices,
    const std::function<void(std::shared_ptr<CVNArchiveOperation>)>& submit) {
  RVParameterAssert(!choices.filenames.empty());
  // One encoder for every job of this confirmation; nothing changes it afterwards.
  auto encoder = std::make_shared<CVNPathComponentEncoder>();
  encoder->setEncoding(CVNStringEncodingForWindowsCodepage(choices.codepage));
  encoder->setTriesConvertingToFullwidth(choices.triesConvertingToFullwidth);
  encoder->setCharacterEscapeFormat(choices.characterEscapeFormat);

  std::optional<std::vector<uint8_t>> password;
  if (!choices.password.isEmpty()) {
    // A substituted character would lock the archive with a password nobody can type.
    password = CVNEncodeString(choices.password.toStdU16String(), encoder->encoding());
    if (!password) return false;
  }

  std::vector<std::vector<std::string>> groups;
  if (choices.archivesIndividually) {
    for (const std::string& filename : choices.filenames) groups.push_back({filename});
  } else {
    groups.push_back(choices.filenames);
  }

  for (std::vector<std::string>& group : groups) {
    auto job =
        std::make_shared<CVNArchiveOperation>(std::move(group), CVNSymbolicLinkBehaviorExcludes);
    job->setIndeterminately(false);
    job->setCompressionLevel(choices.compressionLevel);
    job->setEncoder(encoder);
    job->setPassword(password);
    job->setReportsOnlyWarnings(choices.reportsOnlyWarnings);
    job->setEntrySpecificToMacBehavior(CVNEntrySpecificToMacBehaviorExcludes);
    job->setEmptyFolderBehavior(choices.ignoresEmptyFolder
                                    ? CVNEmptyFolderBehaviorExcludes
                                    : CVNEmptyFolderBehaviorIncludesInArchive);
    job->setReportsAdjustingEntryNameToWindows(true);
    submit(std::move(job));
  }
  return true;
}

CVNArchiveMenuController::CVNArchiveMenuController(std::vector<std::string> filenames,
                                                   QObject* parent)
    : QObject(parent),
      filenames_(std::move(filenames)),
      compressionLevelValues_(CVNCompressionLevelTable()),
      codepageValues_(CVNCodepageTable()),
      escapingValues_(CVNEscapingLevelTable()),
      ui_(std::make_unique<Ui::CVNArchiveMenuController>()),
      compressionLevelArrayController_(new CVNArrayController(this)),
      codepageArrayController_(new CVNArrayController(this)),
      escapingArrayController_(new CVNArrayController(this)),
      preferencesBinding_(new CVNPreferencesBinding(this)) {
  RVParameterAssert(!filenames_.empty());

  window_ = new QDialog;
  ui_->setupUi(window_);
  window_->installEventFilter(this);
  localizeInterface();

  ui_->fileTableView->setModel(new FileTableModel(this));
  ui_->fileTableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  // Room for a few items at once; more scroll, and a taller sheet shows more.
  QTableView* table = ui_->fileTableView;
  const int visibleRows = std::clamp(numberOfRowsInTableView(), 3, 6);
  table->setMinimumHeight(table->verticalHeader()->defaultSectionSize() * visibleRows +
                          2 * table->frameWidth());
  table->setMaximumHeight(QWIDGETSIZE_MAX);

  // The values follow the selections from before the content is set, so that the
  // first rows' values are taken.
  bindOptionValues();
  compressionLevelArrayController_->setContent(compressionLevelValues_);
  codepageArrayController_->setContent(codepageValues_);
  escapingArrayController_->setContent(escapingValues_);
  compressionLevelArrayController_->bindComboBox(ui_->compressionLevelComboBox);
  codepageArrayController_->bindComboBox(ui_->codepageComboBox);
  escapingArrayController_->bindComboBox(ui_->escapingComboBox);
  bindPreferences();
  readPreferences();

  connect(ui_->archiveButton, &QPushButton::clicked, this, &CVNArchiveMenuController::archive);
  connect(ui_->cancelButton, &QPushButton::clicked, this, &CVNArchiveMenuController::close);
  connect(ui_->preferencesButton, &QPushButton::clicked, this,
          &CVNArchiveMenuController::showPreferencesSheet);
  connect(ui_->closePreferencesButton, &QPushButton::clicked, this,
          &CVNArchiveMenuController::closePreferencesSheet);
  connect(window_, &QDialog::finished, this, &CVNArchiveMenuController::sheetDidEnd);
  connect(ui_->preferencesSheet, &QDialog::finished, this,
          &CVNArchiveMenuController::preferencesSheetDidEnd);
  // A sheet whose parent window went away cannot end any more.
  connect(window_, &QObject::destroyed, this, [this] {
    if (shown_) deleteLater();
  });

  // As tall as the item rows need, not as tall as a table would like.
  window_->adjustSize();
  window_->resize(window_->width(), window_->minimumSizeHint().height());
  ui_->passwordTextField->setFocus(Qt::OtherFocusReason);
}

CVNArchiveMenuController::~CVNArchiveMenuController() { delete window_.data(); }

void CVNArchiveMenuController::localizeInterface() {
  window_->setWindowTitle(CVNLocalizedString("Archive Sheet Window Title"));
  ui_->titleLabel->setText(CVNLocalizedString("Archive Sheet Title"));
  ui_->compressionLevelLabel->setText(CVNLocalizedString("Compression Label"));
  ui_->codepageLabel->setText(CVNLocalizedString("Windows Version Label"));
  ui_->escapingLabel->setText(CVNLocalizedString("Character Escaping Label"));
  ui_->archivesIndividuallyCheckBox->setText(CVNLocalizedString("Archive Individually Check Box"));
  ui_->ignoresEmptyFolderCheckBox->setText(CVNLocalizedString("Ignore Empty Folders Check Box"));
  ui_->passwordBox->setTitle(passwordBoxTitle());
  ui_->passwordTextField->setPlaceholderText(CVNLocalizedString("Password Placeholder"));
  ui_->encryptionNoteLabel->setText(CVNLocalizedString("Encryption Note"));
  ui_->preferencesButton->setText(CVNLocalizedString("Defaults Button"));
  ui_->cancelButton->setText(CVNLocalizedString("Cancel"));
  ui_->archiveButton->setText(CVNLocalizedString("Create Button"));

  ui_->preferencesSheet->setWindowTitle(CVNLocalizedString("Archive Defaults Title"));
  ui_->preferencesTitleLabel->setText(CVNLocalizedString("Archive Defaults Title"));
  ui_->closePreferencesButton->setText(CVNLocalizedString("Done Button"));

  // The note keeps its room while hidden, so that typing does not resize the sheet.
  QSizePolicy policy = ui_->encryptionNoteLabel->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  ui_->encryptionNoteLabel->setSizePolicy(policy);
}

void CVNArchiveMenuController::bindOptionValues() {
  // Selecting a row sets the option values to the row's values.
  connect(compressionLevelArrayController_, &CVNArrayController::selectionIndexChanged, this,
          [this] {
            const QVariant level = compressionLevelArrayController_->selection(kCompressionLevel);
            if (level.isValid()) setCompressionLevel(level.toLongLong());
          });
  connect(codepageArrayController_, &CVNArrayController::selectionIndexChanged, this, [this] {
    const QVariant codepage = codepageArrayController_->selection(kCodepage);
    if (codepage.isValid()) setCodepage(codepage.toLongLong());
  });
  connect(escapingArrayController_, &CVNArrayController::selectionIndexChanged, this, [this] {
    if (escapingArrayController_->selectionIndex() < 0) return;
    setEscapingLevel(escapingArrayController_->selection(kEscapingLevel).toULongLong());
    setTriesConvertingToFullwidth(
        escapingArrayController_->selection(kTriesConvertingToFullwidth).toBool());
    setCharacterEscapeFormat(
        escapingArrayController_->selection(kCharacterEscapeFormat).toString());
  });

  connect(ui_->archivesIndividuallyCheckBox, &QCheckBox::toggled, this,
          &CVNArchiveMenuController::setArchivesIndividually);
  connect(this, &CVNArchiveMenuController::archivesIndividuallyChanged, this, [this] {
    ui_->archivesIndividuallyCheckBox->setChecked(archivesIndividually_);
    updateSummary();
  });
  connect(ui_->ignoresEmptyFolderCheckBox, &QCheckBox::toggled, this,
          &CVNArchiveMenuController::setIgnoresEmptyFolder);
  connect(this, &CVNArchiveMenuController::ignoresEmptyFolderChanged, this, [this] {
    ui_->ignoresEmptyFolderCheckBox->setChecked(ignoresEmptyFolder_);
    updateSummary();
  });
  connect(ui_->passwordTextField, &QLineEdit::textChanged, this,
          &CVNArchiveMenuController::setPassword);
  connect(this, &CVNArchiveMenuController::passwordChanged, this, [this] {
    if (ui_->passwordTextField->text() != password_) ui_->passwordTextField->setText(password_);
    ui_->encryptionNoteLabel->setVisible(
        CVNIsFilledValueTransformer().transformedValue(password_).toBool());
  });
  ui_->encryptionNoteLabel->setVisible(false);
  updateSummary();
}

void CVNArchiveMenuController::updateSummary() {
  const QString individually =
      CVNArchiveIndividuallyValueTransformer().transformedValue(archivesIndividually_).toString();
  const QString emptyFolders =
      CVNArchiveEmptyFolderValueTransformer().transformedValue(ignoresEmptyFolder_).toString();
  ui_->summaryLabel->setText(CVNLocalizedString("Separate Archives Summary Label") + u' ' +
                             individually + QStringLiteral("   \u00B7   ") +
                             CVNLocalizedString("Empty Folders Summary Label") + u' ' +
                             emptyFolders);
}

void CVNArchiveMenuController::bindPreferences() {
  // The labels are the binding's, so that the preferences window words them alike.
  CVNPreferencesBinding* binding = preferencesBinding_;
  binding->bindComboBox(CVNDefaultCompressionKey, ui_->defaultCompressionComboBox,
                        ui_->defaultCompressionLabel, CVNCompressionLevelTable());
  binding->bindComboBox(CVNDefaultWindowsLanguageKey, ui_->defaultWindowsLanguageComboBox,
                        ui_->defaultWindowsLanguageLabel, CVNCodepageTable(true));
  binding->bindComboBox(CVNDefaultCharacterEscapingKey, ui_->defaultCharacterEscapingComboBox,
                        ui_->defaultCharacterEscapingLabel, CVNEscapingLevelTable());
  binding->bindCheckBox(CVNDefaultArchivesIndividuallyKey,
                        ui_->defaultArchivesIndividuallyCheckBox);
  binding->bindCheckBox(CVNDefaultIgnoresEmptyFoldersKey, ui_->defaultIgnoresEmptyFoldersCheckBox);
  binding->bindCheckBox(CVNReportsOnlyWarningsForCreationKey,
                        ui_->reportsOnlyWarningsForCreationCheckBox);
}

void CVNArchiveMenuController::readPreferences() {
  const CVNUserDefaults& defaults = CVNUserDefaults::standardUserDefaults();
  reportsOnlyWarnings_ =
      defaults.integerForKey(QString::fromLatin1(CVNReportsOnlyWarningsForCreationKey)) == 1;
  int64_t codepage = defaults.integerForKey(QString::fromLatin1(CVNDefaultWindowsLanguageKey));
  const bool individually =
      defaults.boolForKey(QString::fromLatin1(CVNDefaultArchivesIndividuallyKey));
  const bool ignoresEmptyFolders =
      defaults.boolForKey(QString::fromLatin1(CVNDefaultIgnoresEmptyFoldersKey));
  const int64_t level = defaults.integerForKey(QString::fromLatin1(CVNDefaultCompressionKey));
  const uint64_t escaping =
      defaults.unsignedIntegerForKey(QString::fromLatin1(CVNDefaultCharacterEscapingKey));

  setArchivesIndividually(individually);
  setIgnoresEmptyFolder(ignoresEmptyFolders);
  // A value that equals no row leaves the selection as it is.
  compressionLevelArrayController_->selectFirstRow(kCompressionLevel,
                                                   QVariant::fromValue<qint64>(level));
  if (codepage == -1) codepage = CVNDefaultWindowsCodepage();
  codepageArrayController_->selectFirstRow(kCodepage, QVariant::fromValue<qint64>(codepage));
  escapingArrayController_->selectFirstRow(kEscapingLevel, QVariant::fromValue<quint64>(escaping));
}

void CVNArchiveMenuController::showSheetInWindow(QWidget* parentWindow) {
  shown_ = true;
  if (parentWindow) window_->setParent(parentWindow->window(), window_->windowFlags());
  window_->setWindowModality(Qt::WindowModal);
  window_->open();
}

void CVNArchiveMenuController::archive() {
  Choices choices;
  choices.filenames = filenames_;
  choices.archivesIndividually = archivesIndividually_;
  choices.ignoresEmptyFolder = ignoresEmptyFolder_;
  choices.compressionLevel = compressionLevel_;
  choices.codepage = codepage_;
  choices.triesConvertingToFullwidth = triesConvertingToFullwidth_;
  choices.characterEscapeFormat = characterEscapeFormat_.isNull()
                                      ? std::nullopt
                                      : std::optional(characterEscapeFormat_.toStdString());
  choices.password = password_;
  choices.reportsOnlyWarnings = reportsOnlyWarnings_;
  const bool made = makeOperations(choices, [this](std::shared_ptr<CVNArchiveOperation> job) {
    emit CVNArchiveMenuControllerDidSubmit(std::move(job));
  });
  if (!made) {
    const QString title = CVNLocalizedString("パスワードの確認");
    auto* alert = new QMessageBox(QMessageBox::Warning, title,
                                  QStringLiteral("<b>%1</b>").arg(title.toHtmlEscaped()),
                                  QMessageBox::Ok, window_);
    alert->setObjectName(QStringLiteral("passwordAlert"));
    alert->setTextFormat(Qt::RichText);
    alert->button(QMessageBox::Ok)->setText(CVNLocalizedString("OK"));
    // Room for the explanation on a few lines rather than a narrow column.
    alert->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel { min-width: 300px; }"));
    alert->setInformativeText(
        CVNLocalizedString("指定したWindowsの種類に適さないパスワードです。"));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->open();
    return;
  }
  window_->done(-1);
}

void CVNArchiveMenuController::close() { window_->done(-1); }

void CVNArchiveMenuController::sheetDidEnd(int) {
  window_->hide();
  if (shown_) deleteLater();
}

void CVNArchiveMenuController::showPreferencesSheet() {
  preferencesBinding_->revert();
  ui_->preferencesSheet->adjustSize();
  ui_->preferencesSheet->setWindowModality(Qt::WindowModal);
  ui_->preferencesSheet->open();
  ui_->defaultCompressionComboBox->setFocus(Qt::OtherFocusReason);
}

void CVNArchiveMenuController::closePreferencesSheet() { ui_->preferencesSheet->done(0); }

void CVNArchiveMenuController::preferencesSheetDidEnd(int) { ui_->preferencesSheet->hide(); }

QString CVNArchiveMenuController::passwordBoxTitle() {
  return CVNLocalizedString("Password Box Title");
}

int CVNArchiveMenuController::numberOfRowsInTableView() const {
  return static_cast<int>(filenames_.size());
}

QString CVNArchiveMenuController::objectValue(int, int row) const {
  if (row < 0 || static_cast<size_t>(row) >= filenames_.size()) return {};
  return CVNStringFromFileSystemRepresentation(filenames_[static_cast<size_t>(row)]);
}

QDialog* CVNArchiveMenuController::window() const { return window_; }
QDialog* CVNArchiveMenuController::preferencesSheet() const { return ui_->preferencesSheet; }
QLineEdit* CVNArchiveMenuController::passwordTextField() const { return ui_->passwordTextField; }

bool CVNArchiveMenuController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
      static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
    close();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

#define CVN_COMPARING_SETTER(name, type, field, signal) \
  void CVNArchiveMenuController::name(type value) {     \
    if (field == value) return;                         \
    field = value;                                      \
    emit signal();                                      \
  }

CVN_COMPARING_SETTER(setArchivesIndividually, bool, archivesIndividually_,
                     archivesIndividuallyChanged)
CVN_COMPARING_SETTER(setIgnoresEmptyFolder, bool, ignoresEmptyFolder_, ignoresEmptyFolderChanged)
CVN_COMPARING_SETTER(setCompressionLevel, int64_t, compressionLevel_, compressionLevelChanged)
CVN_COMPARING_SETTER(setCodepage, int64_t, codepage_, codepageChanged)
CVN_COMPARING_SETTER(setEscapingLevel, uint64_t, escapingLevel_, escapingLevelChanged)
CVN_COMPARING_SETTER(setTriesConvertingToFullwidth, bool, triesConvertingToFullwidth_,
                     triesConvertingToFullwidthChanged)
CVN_COMPARING_SETTER(setCharacterEscapeFormat, const QString&, characterEscapeFormat_,
                     characterEscapeFormatChanged)
CVN_COMPARING_SETTER(setPassword, const QString&, password_, passwordChanged)

#undef CVN_COMPARING_SETTER
