#include "app/CVNPreferencesBinding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include "app/CVNUserDefaults.h"
#include "engine/io/RVException.h"
#include "jobs/CVNLocalization.h"

namespace {

// Every preference a window edits: its label and what it stores.
struct Preference {
  const char* key;
  const char* labelKey;
  const char* valueKey;  // of the option rows, for a choice; none for a check box
  bool storesInteger;    // a check box storing 1 or 0, else a Boolean
};

constexpr Preference kPreferences[] = {
    {CVNDefaultCompressionKey, CVN_KEY("Compression Label"), "compressionLevel", false},
    {CVNDefaultWindowsLanguageKey, CVN_KEY("Windows Version Label"), "codepage", false},
    {CVNDefaultCharacterEscapingKey, CVN_KEY("Character Escaping Label"), "escapingLevel", false},
    {CVNDefaultArchivesIndividuallyKey, CVN_KEY("Archive Individually Check Box"), nullptr, false},
    {CVNDefaultIgnoresEmptyFoldersKey, CVN_KEY("Ignore Empty Folders Check Box"), nullptr, false},
    {CVNReportsOnlyWarningsForCreationKey, CVN_KEY("Reports Only Warnings Check Box"), nullptr,
     true},
    {CVNReportsOnlyWarningsForExtractionKey, CVN_KEY("環境設定:チェック:展開時は警告のみ記録"),
     nullptr, true},
    {CVNExtractsEntriesSpecificToWindowsKey, CVN_KEY("環境設定:チェック:Windows専用ファイルを展開"),
     nullptr, true},
    {CVNContinuesExtractionKey, CVN_KEY("環境設定:チェック:警告があっても展開を続ける"), nullptr,
     true},
};

const Preference& preferenceForKey(const char* key) {
  for (const Preference& preference : kPreferences) {
    if (qstrcmp(preference.key, key) == 0) return preference;
  }
  RVRaiseInvalidParameter("preference != nil");
}

}  // namespace

CVNPreferencesBinding::CVNPreferencesBinding(QObject* parent) : QObject(parent) {
  connect(&CVNUserDefaults::standardUserDefaults(), &CVNUserDefaults::objectForKeyChanged, this,
          [this](const QString& key) {
            for (const Binding& binding : bindings_) {
              if (binding.key == key) show(binding);
            }
          });
}

QString CVNPreferencesBinding::labelForKey(const char* key) {
  return CVNLocalizedString(preferenceForKey(key).labelKey);
}

void CVNPreferencesBinding::bindComboBox(const char* key, QComboBox* comboBox, QLabel* label,
                                         const CVNOptionTable& rows) {
  const Preference& preference = preferenceForKey(key);
  if (!preference.valueKey) RVRaiseInvalidParameter("preference.valueKey != nil");
  label->setText(CVNLocalizedString(preference.labelKey));
  comboBox->clear();
  for (const QVariantMap& row : rows) {
    comboBox->addItem(row.value(QStringLiteral("title")).toString(),
                      row.value(QString::fromLatin1(preference.valueKey)));
  }
  Binding binding{QString::fromLatin1(key), comboBox, nullptr, false};
  bindings_.push_back(binding);
  connect(comboBox, &QComboBox::currentIndexChanged, this, [this, binding](int index) {
    if (reverting_ || index < 0) return;
    CVNUserDefaults::standardUserDefaults().setObject(binding.comboBox->itemData(index),
                                                      binding.key);
  });
  show(binding);
}

void CVNPreferencesBinding::bindCheckBox(const char* key, QCheckBox* checkBox) {
  const Preference& preference = preferenceForKey(key);
  if (preference.valueKey) RVRaiseInvalidParameter("preference.valueKey == nil");
  checkBox->setText(CVNLocalizedString(preference.labelKey));
  Binding binding{QString::fromLatin1(key), nullptr, checkBox, preference.storesInteger};
  bindings_.push_back(binding);
  connect(checkBox, &QCheckBox::toggled, this, [this, binding](bool on) {
    if (reverting_) return;
    CVNUserDefaults::standardUserDefaults().setObject(
        binding.storesInteger ? QVariant(on ? 1 : 0) : QVariant(on), binding.key);
  });
  show(binding);
}

void CVNPreferencesBinding::revert() {
  for (const Binding& binding : bindings_) show(binding);
}

void CVNPreferencesBinding::show(const Binding& binding) {
  const CVNUserDefaults& defaults = CVNUserDefaults::standardUserDefaults();
  const bool wasReverting = reverting_;
  reverting_ = true;
  if (binding.comboBox) {
    // Texts read back from the settings file compare by the number they hold.
    const int64_t stored = defaults.integerForKey(binding.key);
    int index = -1;
    for (int i = 0; i < binding.comboBox->count(); ++i) {
      if (binding.comboBox->itemData(i).toLongLong() == stored) {
        index = i;
        break;
      }
    }
    binding.comboBox->setCurrentIndex(index);
  } else {
    binding.checkBox->setChecked(binding.storesInteger ? defaults.integerForKey(binding.key) == 1
                                                       : defaults.boolForKey(binding.key));
  }
  reverting_ = wasReverting;
}
