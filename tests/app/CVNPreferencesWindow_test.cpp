#include "app/CVNPreferencesWindow.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QTest>

#include "AppTestFixture.h"

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

}  // namespace
