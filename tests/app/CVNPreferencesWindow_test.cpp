#include "app/CVNPreferencesWindow.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "AppTestFixture.h"
#include "app/CVNArchiveMenuController.h"

namespace {

class PreferencesWindowTest : public AppTest {
 protected:
  CVNPreferencesWindow* preferences() const { return menu_->preferencesWindow(); }
  static QVariant stored(const char* key) {
    return CVNUserDefaults::standardUserDefaults().settings().value(QString::fromLatin1(key));
  }
};

struct CheckCase {
  const char* key;
  bool integer;       // stores 1 or 0, else a Boolean
  bool registeredOn;  // the registered default
};

class CheckTest : public PreferencesWindowTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckTest, ACheckBoxShowsAndStoresItsKey) {
  const CheckCase& c = GetParam();
  menu_->preferencesAction()->trigger();
  QCheckBox* box = preferences()->checkBoxForKey(QString::fromLatin1(c.key));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->isChecked(), c.registeredOn);
  EXPECT_FALSE(stored(c.key).isValid());  // showing stores nothing
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
  CVNUserDefaults& defaults = CVNUserDefaults::standardUserDefaults();
  if (c.integer) {
    EXPECT_EQ(defaults.integerForKey(QString::fromLatin1(c.key)), c.registeredOn ? 0 : 1);
  } else {
    EXPECT_EQ(defaults.boolForKey(QString::fromLatin1(c.key)), !c.registeredOn);
  }
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
  EXPECT_EQ(defaults.integerForKey(QString::fromLatin1(c.key)), c.registeredOn ? 1 : 0);
  // A value stored elsewhere shows when the window opens again; only 1 is on.
  defaults.setObject(c.integer ? QVariant(5) : QVariant(true), QString::fromLatin1(c.key));
  preferences()->showWindow();
  EXPECT_EQ(box->isChecked(), !c.integer);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, CheckTest,
    ::testing::Values(CheckCase{"DefaultArchivesIndividually", false, false},
                      CheckCase{"DefaultIgnoresEmptyFolders", false, false},
                      CheckCase{"ReportsOnlyWarningsForCreation", true, true},
                      CheckCase{"ReportsOnlyWarningsForExtraction", true, true},
                      CheckCase{"ExtractsEntriesSpecificToWindows", true, true},
                      CheckCase{"ContinuesExtractionAsMuchAsPossibleEvenIfThereAreWarnings", true,
                                true}),
    [](const auto& info) { return std::string(info.param.key); });

struct ChoiceCase {
  const char* name;
  const char* key;
  int rows;
  qint64 registered;  // selected at first
  int pick;           // the row picked
  qint64 picked;      // the value it stores
};

class ChoiceTest : public PreferencesWindowTest, public ::testing::WithParamInterface<ChoiceCase> {
 protected:
  QComboBox* comboBox() const {
    const std::string name = GetParam().name;
    if (name == "Compression") return preferences()->compressionComboBox();
    if (name == "Codepage") return preferences()->windowsLanguageComboBox();
    return preferences()->characterEscapingComboBox();
  }
};

TEST_P(ChoiceTest, AComboBoxOffersItsTableByTitleAndStoresTheValue) {
  const ChoiceCase& c = GetParam();
  menu_->preferencesAction()->trigger();
  QComboBox* box = comboBox();
  ASSERT_EQ(box->count(), c.rows);
  EXPECT_EQ(box->currentData().toLongLong(), c.registered);
  box->setCurrentIndex(c.pick);
  EXPECT_EQ(CVNUserDefaults::standardUserDefaults().integerForKey(QString::fromLatin1(c.key)),
            c.picked);
  // A stored value that no row offers selects nothing.
  CVNUserDefaults::standardUserDefaults().setObject(5000, QString::fromLatin1(c.key));
  preferences()->revert();
  EXPECT_EQ(box->currentIndex(), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ChoiceTest,
    ::testing::Values(ChoiceCase{"Compression", "DefaultCompression", 4, -1, 3, 0},
                      ChoiceCase{"Codepage", "DefaultWindowsLanguage", 6, -1, 2, 932},
                      ChoiceCase{"Escaping", "DefaultCharacterEscaping", 3, 9, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// The six defaults for new archives, edited both in the preferences window and
// in the settings sheet's nested sheet of defaults: the key, its control in
// each, and for a combo box the value picked in the nested sheet.
struct CreationCase {
  const char* key;
  const char* windowControl;
  const char* sheetControl;
  qint64 picked;
};

void PrintTo(const CreationCase& c, std::ostream* out) { *out << c.key; }

const CreationCase kCreationCases[] = {
    {"DefaultCompression", "compressionComboBox", "defaultCompressionComboBox", 9},
    {"DefaultWindowsLanguage", "windowsLanguageComboBox", "defaultWindowsLanguageComboBox", 932},
    {"DefaultCharacterEscaping", "characterEscapingComboBox", "defaultCharacterEscapingComboBox",
     1},
    {"DefaultArchivesIndividually", "archivesIndividuallyCheckBox",
     "defaultArchivesIndividuallyCheckBox", 0},
    {"DefaultIgnoresEmptyFolders", "ignoresEmptyFoldersCheckBox",
     "defaultIgnoresEmptyFoldersCheckBox", 0},
    {"ReportsOnlyWarningsForCreation", "reportsOnlyWarningsForCreationCheckBox",
     "reportsOnlyWarningsForCreationCheckBox", 0},
};

class CreationTest : public PreferencesWindowTest,
                     public ::testing::WithParamInterface<CreationCase> {
 protected:
  // Opens the settings sheet for a text file, then its nested sheet of defaults.
  QDialog* openDefaultsSheet() {
    controller()->acceptFiles({writeText("a.txt")});
    EXPECT_TRUE(CVNSpinUntil([] { return visibleSheet() != nullptr; }));
    QDialog* sheet = visibleSheet();
    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("preferencesButton")),
                      Qt::LeftButton);
    auto* defaults = sheet->findChild<QDialog*>(QStringLiteral("preferencesSheet"));
    EXPECT_TRUE(CVNSpinUntil([&] { return defaults->isVisible(); }));
    return defaults;
  }
  // Picks the row of `value` as a user does, or toggles the check box.
  static void edit(QWidget* control, qint64 value) {
    if (auto* box = qobject_cast<QComboBox*>(control)) {
      const int row = box->findData(value);
      ASSERT_GE(row, 0);
      box->setCurrentIndex(row);
    } else {
      auto* check = qobject_cast<QCheckBox*>(control);
      QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(4, check->height() / 2));
    }
  }
  // What a control shows: a combo box's value, a check box's state.
  static QVariant shown(QWidget* control) {
    if (auto* box = qobject_cast<QComboBox*>(control)) return box->currentData();
    return qobject_cast<QCheckBox*>(control)->isChecked();
  }
  // The words that name a control: a check box's own, else its label's.
  static QString wording(QWidget* window, const char* control) {
    QString name = QString::fromLatin1(control);
    if (auto* check = window->findChild<QCheckBox*>(name)) return check->text();
    name.replace(QStringLiteral("ComboBox"), QStringLiteral("Label"));
    return window->findChild<QLabel*>(name)->text();
  }
};

TEST_P(CreationTest, AValueStoredInOneWindowShowsInTheOtherWhileBothAreOpen) {
  const CreationCase& c = GetParam();
  menu_->preferencesAction()->trigger();
  QDialog* defaults = openDefaultsSheet();
  auto* windowControl = preferences()->findChild<QWidget*>(QString::fromLatin1(c.windowControl));
  auto* sheetControl = defaults->findChild<QWidget*>(QString::fromLatin1(c.sheetControl));
  ASSERT_NE(windowControl, nullptr);
  ASSERT_NE(sheetControl, nullptr);
  ASSERT_TRUE(preferences()->isVisible());

  edit(sheetControl, c.picked);
  EXPECT_TRUE(stored(c.key).isValid());
  EXPECT_EQ(shown(windowControl), shown(sheetControl));
  if (qobject_cast<QComboBox*>(windowControl)) {
    EXPECT_EQ(shown(windowControl).toLongLong(), c.picked);
  }

  // And back, to the registered value.
  const QVariant registered =
      CVNAppController::registeredDefaults().value(QString::fromLatin1(c.key));
  edit(windowControl, registered.toLongLong());
  EXPECT_EQ(shown(sheetControl), shown(windowControl));
  EXPECT_EQ(CVNUserDefaults::standardUserDefaults().integerForKey(QString::fromLatin1(c.key)),
            registered.toLongLong());
}

TEST_P(CreationTest, BothWindowsWordTheSettingAlike) {
  for (const char* language : {"en", "ja"}) {
    SCOPED_TRACE(language);
    CVNInstallLocalization(QString::fromLatin1(language));
    CVNPreferencesWindow window(controller());
    CVNArchiveMenuController sheet(std::vector<std::string>{"/tmp/a"});
    const QString text = wording(&window, GetParam().windowControl);
    EXPECT_FALSE(text.isEmpty());
    EXPECT_EQ(wording(sheet.preferencesSheet(), GetParam().sheetControl), text);
  }
  CVNInstallLocalization(QStringLiteral("en"));
}

INSTANTIATE_TEST_SUITE_P(Keys, CreationTest, ::testing::ValuesIn(kCreationCases),
                         [](const auto& info) { return std::string(info.param.key); });

}  // namespace
