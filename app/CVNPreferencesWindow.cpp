#include "app/CVNPreferencesWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QVariantMap>

#include "app/CVNAppController.h"
#include "app/CVNUserDefaults.h"
#include "jobs/CVNCloseShortcuts.h"
#include "jobs/CVNLocalization.h"
#include "ui_CVNPreferencesWindow.h"

CVNPreferencesWindow::CVNPreferencesWindow(CVNAppController* controller, QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::CVNPreferencesWindow>()) {
  ui_->setupUi(this);
  setWindowTitle(CVNLocalizedString("環境設定:ウインドウ:タイトル"));
  ui_->creationBox->setTitle(CVNLocalizedString("環境設定:グループ:圧縮"));
  ui_->extractionBox->setTitle(CVNLocalizedString("環境設定:グループ:展開"));
  ui_->compressionLabel->setText(CVNLocalizedString("環境設定:ラベル:圧縮の種類"));
  ui_->windowsLanguageLabel->setText(CVNLocalizedString("環境設定:ラベル:Windowsの言語バージョン"));
  ui_->characterEscapingLabel->setText(CVNLocalizedString("環境設定:ラベル:文字のエスケープ方法"));
  ui_->archivesIndividuallyCheckBox->setText(CVNLocalizedString("環境設定:チェック:個別に圧縮"));
  ui_->ignoresEmptyFoldersCheckBox->setText(
      CVNLocalizedString("環境設定:チェック:空のフォルダを無視"));
  ui_->reportsOnlyWarningsForCreationCheckBox->setText(
      CVNLocalizedString("環境設定:チェック:圧縮時は警告のみ記録"));
  ui_->reportsOnlyWarningsForExtractionCheckBox->setText(
      CVNLocalizedString("環境設定:チェック:展開時は警告のみ記録"));
  ui_->extractsEntriesSpecificToWindowsCheckBox->setText(
      CVNLocalizedString("環境設定:チェック:Windows専用ファイルを展開"));
  ui_->continuesExtractionCheckBox->setText(
      CVNLocalizedString("環境設定:チェック:警告があっても展開を続ける"));

  choices_ = {
      {ui_->compressionComboBox, "DefaultCompression", "compressionLevel"},
      {ui_->windowsLanguageComboBox, "DefaultWindowsLanguage", "codepage"},
      {ui_->characterEscapingComboBox, "DefaultCharacterEscaping", "escapingLevel"},
  };
  const QVariantList rows[] = {
      controller->property("DefaultCompressionLevelArray").toList(),
      controller->property("DefaultCodepageArray").toList(),
      controller->property("DefaultEscapingLevelArray").toList(),
  };
  for (size_t i = 0; i < choices_.size(); ++i) {
    const ChoiceBinding& choice = choices_[i];
    for (const QVariant& row : rows[i]) {
      const QVariantMap map = row.toMap();
      choice.comboBox->addItem(map.value(QStringLiteral("title")).toString(),
                               map.value(QString::fromLatin1(choice.valueKey)));
    }
    connect(choice.comboBox, &QComboBox::currentIndexChanged, this, [this, choice](int index) {
      if (reverting_ || index < 0) return;
      CVNUserDefaults::standardUserDefaults().setObject(choice.comboBox->itemData(index),
                                                        QString::fromLatin1(choice.key));
    });
  }

  checks_ = {
      {ui_->archivesIndividuallyCheckBox, "DefaultArchivesIndividually", false},
      {ui_->ignoresEmptyFoldersCheckBox, "DefaultIgnoresEmptyFolders", false},
      {ui_->reportsOnlyWarningsForCreationCheckBox, "ReportsOnlyWarningsForCreation", true},
      {ui_->reportsOnlyWarningsForExtractionCheckBox, "ReportsOnlyWarningsForExtraction", true},
      {ui_->extractsEntriesSpecificToWindowsCheckBox, "ExtractsEntriesSpecificToWindows", true},
      {ui_->continuesExtractionCheckBox,
       "ContinuesExtractionAsMuchAsPossibleEvenIfThereAreWarnings", true},
  };
  for (const CheckBinding& check : checks_) {
    connect(check.checkBox, &QCheckBox::toggled, this, [this, check](bool on) {
      if (reverting_) return;
      CVNUserDefaults::standardUserDefaults().setObject(
          check.storesInteger ? QVariant(on ? 1 : 0) : QVariant(on),
          QString::fromLatin1(check.key));
    });
  }
  CVNAddCloseShortcuts(this);
  revert();
  adjustSize();
}

CVNPreferencesWindow::~CVNPreferencesWindow() = default;

void CVNPreferencesWindow::revert() {
  reverting_ = true;
  CVNUserDefaults& defaults = CVNUserDefaults::standardUserDefaults();
  for (const ChoiceBinding& choice : choices_) {
    const QVariant stored = defaults.objectForKey(QString::fromLatin1(choice.key));
    int index = -1;
    for (int i = 0; i < choice.comboBox->count(); ++i) {
      if (choice.comboBox->itemData(i).toLongLong() == stored.toLongLong()) {
        index = i;
        break;
      }
    }
    // A stored value that no row offers shows as no choice until one is made.
    choice.comboBox->setCurrentIndex(index);
  }
  for (const CheckBinding& check : checks_) {
    const QString key = QString::fromLatin1(check.key);
    check.checkBox->setChecked(check.storesInteger ? defaults.integerForKey(key) == 1
                                                   : defaults.boolForKey(key));
  }
  reverting_ = false;
}

void CVNPreferencesWindow::showWindow() {
  revert();
  show();
  raise();
  activateWindow();
}

QComboBox* CVNPreferencesWindow::compressionComboBox() const { return ui_->compressionComboBox; }
QComboBox* CVNPreferencesWindow::windowsLanguageComboBox() const {
  return ui_->windowsLanguageComboBox;
}
QComboBox* CVNPreferencesWindow::characterEscapingComboBox() const {
  return ui_->characterEscapingComboBox;
}

QCheckBox* CVNPreferencesWindow::checkBoxForKey(const QString& key) const {
  for (const CheckBinding& check : checks_) {
    if (key == QLatin1String(check.key)) return check.checkBox;
  }
  return nullptr;
}
