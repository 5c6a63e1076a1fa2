#include "app/CVNPreferencesWindow.h"

#include <QCheckBox>
#include <QComboBox>

#include "app/CVNAppController.h"
#include "app/CVNPreferencesBinding.h"
#include "app/CVNUserDefaults.h"
#include "jobs/CVNCloseShortcuts.h"
#include "jobs/CVNLocalization.h"
#include "ui_CVNPreferencesWindow.h"

CVNPreferencesWindow::CVNPreferencesWindow(CVNAppController* controller, QWidget* parent)
    : QWidget(parent, Qt::Window),
      ui_(std::make_unique<Ui::CVNPreferencesWindow>()),
      binding_(new CVNPreferencesBinding(this)) {
  ui_->setupUi(this);
  setWindowTitle(CVNLocalizedString("環境設定:ウインドウ:タイトル"));
  ui_->creationBox->setTitle(CVNLocalizedString("環境設定:グループ:圧縮"));
  ui_->extractionBox->setTitle(CVNLocalizedString("環境設定:グループ:展開"));

  const auto rows = [controller](const char* table) {
    CVNOptionTable result;
    for (const QVariant& row : controller->property(table).toList()) result << row.toMap();
    return result;
  };
  binding_->bindComboBox(CVNDefaultCompressionKey, ui_->compressionComboBox, ui_->compressionLabel,
                         rows("DefaultCompressionLevelArray"));
  binding_->bindComboBox(CVNDefaultWindowsLanguageKey, ui_->windowsLanguageComboBox,
                         ui_->windowsLanguageLabel, rows("DefaultCodepageArray"));
  binding_->bindComboBox(CVNDefaultCharacterEscapingKey, ui_->characterEscapingComboBox,
                         ui_->characterEscapingLabel, rows("DefaultEscapingLevelArray"));
  checkBoxes_ = {
      {CVNDefaultArchivesIndividuallyKey, ui_->archivesIndividuallyCheckBox},
      {CVNDefaultIgnoresEmptyFoldersKey, ui_->ignoresEmptyFoldersCheckBox},
      {CVNReportsOnlyWarningsForCreationKey, ui_->reportsOnlyWarningsForCreationCheckBox},
      {CVNReportsOnlyWarningsForExtractionKey, ui_->reportsOnlyWarningsForExtractionCheckBox},
      {CVNExtractsEntriesSpecificToWindowsKey, ui_->extractsEntriesSpecificToWindowsCheckBox},
      {CVNContinuesExtractionKey, ui_->continuesExtractionCheckBox},
  };
  for (const auto& [key, checkBox] : checkBoxes_) binding_->bindCheckBox(key, checkBox);
  CVNAddCloseShortcuts(this);
  adjustSize();
}

CVNPreferencesWindow::~CVNPreferencesWindow() = default;

void CVNPreferencesWindow::revert() { binding_->revert(); }

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
  for (const auto& [checkBoxKey, checkBox] : checkBoxes_) {
    if (key == QLatin1String(checkBoxKey)) return checkBox;
  }
  return nullptr;
}
