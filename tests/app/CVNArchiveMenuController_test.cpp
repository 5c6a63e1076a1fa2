#include "app/CVNArchiveMenuController.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <memory>
#include <optional>
#include <vector>

#include "AppTestSupport.h"
#include "app/CVNArrayController.h"
#include "app/CVNUserDefaults.h"
#include "engine/CVNPathComponentEncoder.h"
#include "engine/CVNStringEncoding.h"
#include "engine/CVNWindowsCodepage.h"
#include "jobs/CVNArchiveOperation.h"
#include "jobs/CVNLocalization.h"

namespace {

using Jobs = std::vector<std::shared_ptr<CVNArchiveOperation>>;

const std::vector<std::string> kThreeItems = {
    "/home/aiko/Documents/報告書 2024年度.docx", "/home/aiko/Pictures/photos.2024",
    "/home/aiko/Projects/Corvana/Design reviews and notes from the spring meetings/notes"};

// The registered defaults of the creation preferences, as the application has them.
QVariantMap CreationDefaults() {
  return {{QStringLiteral("ReportsOnlyWarningsForCreation"), 1},
          {QStringLiteral("DefaultCompression"), -1},
          {QStringLiteral("DefaultArchivesIndividually"), false},
          {QStringLiteral("DefaultIgnoresEmptyFolders"), false},
          {QStringLiteral("DefaultWindowsLanguage"), qint64(-1)},
          {QStringLiteral("DefaultCharacterEscaping"), 9u}};
}

// A shown sheet over a main window, with the jobs it submits collected in order.
class Sheet {
 public:
  explicit Sheet(const std::vector<std::string>& items = kThreeItems) {
    parent_.resize(640, 480);
    parent_.show();
    controller_ = new CVNArchiveMenuController(items);
    QObject::connect(controller_.data(),
                     &CVNArchiveMenuController::CVNArchiveMenuControllerDidSubmit,
                     [this](std::shared_ptr<CVNArchiveOperation> job) {
                       jobs.push_back(std::move(job));
                       ++submissions;
                     });
    controller_->showSheetInWindow(&parent_);
    EXPECT_TRUE(CVNSpinUntil([this] { return controller_->window()->isVisible(); }));
  }
  ~Sheet() {
    // A sheet left open is closed here, like the user would.
    if (controller_) controller_->close();
    CVNSpinUntil([this] { return controller_.isNull(); });
  }

  CVNArchiveMenuController* operator->() const { return controller_; }
  QDialog* window() const { return controller_->window(); }
  template <typename T>
  T* child(const char* name) const {
    T* widget = window()->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QComboBox* combo(const char* name) const { return child<QComboBox>(name); }

  // Picks a row with the keyboard, as a user does.
  void choose(const char* comboName, const QString& key, const QVariant& value) {
    QComboBox* box = combo(comboName);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < box->count(); ++i) {
      if (CVNArrayControllerRowValue(box, i, key) == value) return;
      QTest::keyClick(box, Qt::Key_Down);
    }
    ADD_FAILURE() << "no row " << value.toString().toStdString();
  }
  // On a check box, the click lands on its box: the widget may be wider than its text.
  void click(const char* buttonName) {
    QAbstractButton* button = child<QAbstractButton>(buttonName);
    const QPoint at = qobject_cast<QCheckBox*>(button) ? QPoint(8, button->height() / 2)
                                                       : button->rect().center();
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, at);
  }
  // Text as an input method commits it (the way Japanese is typed).
  void type(const QString& text) {
    QLineEdit* field = controller_->passwordTextField();
    field->setFocus();
    QInputMethodEvent event;
    event.setCommitString(text);
    QCoreApplication::sendEvent(field, &event);
  }
  void confirmWithReturn() { QTest::keyClick(controller_->passwordTextField(), Qt::Key_Return); }
  bool ended() {
    return CVNSpinUntil([this] { return controller_.isNull(); });
  }
  QMessageBox* alert() const {
    return window()->findChild<QMessageBox*>(QStringLiteral("passwordAlert"));
  }

  // The value of a row: an option controller's row, or a bound preference's item.
  static QVariant CVNArrayControllerRowValue(QComboBox* box, int row, const QString& key) {
    auto* controller = qobject_cast<CVNArrayController*>(box->model());
    if (!controller) return box->itemData(row);
    return controller->content().value(row).value(key);
  }

  Jobs jobs;
  int submissions = 0;

 private:
  QWidget parent_;
  QPointer<CVNArchiveMenuController> controller_;
};

class CVNArchiveMenuControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CVNUseScratchUserDefaults(CreationDefaults());
    RVSetPreferredLanguages(std::vector<std::string>{"en"});
  }
  void TearDown() override { RVSetPreferredLanguages(std::nullopt); }
  void store(const char* key, const QVariant& value) {
    CVNUserDefaults::standardUserDefaults().setObject(value, QString::fromLatin1(key));
  }
};

TEST_F(CVNArchiveMenuControllerTest, ThreeItemsIndividuallyMakeThreeJobsSharingEncoderAndPassword) {
  Sheet sheet;
  sheet.click("archivesIndividuallyCheckBox");
  sheet.choose("codepageComboBox", QStringLiteral("codepage"), qint64(932));
  sheet.choose("escapingComboBox", QStringLiteral("escapingLevel"), quint64(5));
  sheet.choose("compressionLevelComboBox", QStringLiteral("compressionLevel"), qint64(9));
  sheet.type(QStringLiteral("pass日本"));
  sheet.click("archiveButton");
  ASSERT_TRUE(sheet.ended());

  ASSERT_EQ(sheet.jobs.size(), 3u);
  const auto expectedPassword = CVNEncodeString(u"pass日本", CVNStringEncoding::WindowsJapanese);
  for (size_t i = 0; i < 3; ++i) {
    const CVNArchiveOperation& job = *sheet.jobs[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(job.filenames(), std::vector<std::string>{kThreeItems[i]});
    EXPECT_EQ(job.encoder().get(), sheet.jobs[0]->encoder().get());
    EXPECT_EQ(job.password(), expectedPassword);
    EXPECT_EQ(job.compressionLevel(), 9);
    EXPECT_EQ(job.symbolicLinkBehavior(), CVNSymbolicLinkBehaviorExcludes);
    EXPECT_EQ(job.entrySpecificToMacBehavior(), CVNEntrySpecificToMacBehaviorExcludes);
    EXPECT_TRUE(job.reportsAdjustingEntryNameToWindows());
    EXPECT_FALSE(job.indeterminately());
  }
  const CVNPathComponentEncoder& encoder = *sheet.jobs[0]->encoder();
  EXPECT_EQ(encoder.encoding(), CVNStringEncoding::WindowsJapanese);
  EXPECT_FALSE(encoder.triesConvertingToFullwidth());
  EXPECT_EQ(encoder.characterEscapeFormat(), std::optional<std::string>("(U+%04X)"));
}

TEST_F(CVNArchiveMenuControllerTest, ThreeItemsTogetherMakeOneJob) {
  Sheet sheet;
  sheet.confirmWithReturn();
  ASSERT_TRUE(sheet.ended());
  ASSERT_EQ(sheet.jobs.size(), 1u);
  EXPECT_EQ(sheet.jobs[0]->filenames(), kThreeItems);
  EXPECT_EQ(sheet.jobs[0]->password(), std::nullopt);
  // The registered defaults: standard compression, low-loss escaping.
  EXPECT_EQ(sheet.jobs[0]->compressionLevel(), -1);
  EXPECT_TRUE(sheet.jobs[0]->encoder()->triesConvertingToFullwidth());
}

TEST_F(CVNArchiveMenuControllerTest, EscapingRowSetsItsThreeValuesAtOnce) {
  struct Case {
    quint64 level;
    bool fullwidth;
    const char* format;
  };
  for (const Case& c :
       {Case{1, false, "_"}, Case{5, false, "(U+%04X)"}, Case{9, true, "(U+%04X)"}}) {
    SCOPED_TRACE(c.level);
    Sheet sheet;
    sheet.choose("escapingComboBox", QStringLiteral("escapingLevel"), c.level);
    EXPECT_EQ(sheet->escapingLevel(), c.level);
    EXPECT_EQ(sheet->triesConvertingToFullwidth(), c.fullwidth);
    EXPECT_EQ(sheet->characterEscapeFormat(), QString::fromLatin1(c.format));
    sheet.click("archiveButton");
    ASSERT_TRUE(sheet.ended());
    ASSERT_EQ(sheet.jobs.size(), 1u);
    EXPECT_EQ(sheet.jobs[0]->encoder()->triesConvertingToFullwidth(), c.fullwidth);
    EXPECT_EQ(sheet.jobs[0]->encoder()->characterEscapeFormat(),
              std::optional<std::string>(c.format));
  }
}

TEST_F(CVNArchiveMenuControllerTest, EmptyPasswordEncryptsNothingInAnyCodepage) {
  for (qint64 codepage : {1252, 932, 949, 936, 950}) {
    SCOPED_TRACE(codepage);
    Sheet sheet;
    sheet.choose("codepageComboBox", QStringLiteral("codepage"), codepage);
    sheet.type(QStringLiteral("x"));
    QTest::keyClick(sheet->passwordTextField(), Qt::Key_Backspace);
    EXPECT_TRUE(sheet->password().isEmpty());
    sheet.confirmWithReturn();
    ASSERT_TRUE(sheet.ended());
    ASSERT_EQ(sheet.jobs.size(), 1u);
    EXPECT_EQ(sheet.jobs[0]->password(), std::nullopt);
  }
}

TEST_F(CVNArchiveMenuControllerTest,
       PasswordTheCodepageCannotHoldShowsAlertThenFittingRowConfirms) {
  Sheet sheet;
  sheet.choose("codepageComboBox", QStringLiteral("codepage"), qint64(1252));
  sheet.type(QStringLiteral("日本語"));
  sheet.click("archiveButton");

  ASSERT_TRUE(CVNSpinUntil([&] { return sheet.alert() && sheet.alert()->isVisible(); }));
  QMessageBox* alert = sheet.alert();
  EXPECT_EQ(alert->windowTitle(), CVNLocalizedString("パスワードの確認"));
  EXPECT_TRUE(alert->text().contains(CVNLocalizedString("パスワードの確認")));
  EXPECT_EQ(alert->informativeText(),
            CVNLocalizedString("指定したWindowsの種類に適さないパスワードです。"));
  EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
  EXPECT_EQ(sheet.submissions, 0);
  QTest::mouseClick(alert->button(QMessageBox::Ok), Qt::LeftButton);
  ASSERT_TRUE(CVNSpinUntil([&] { return sheet.alert() == nullptr; }));

  // The sheet stays with every value as the user left it.
  EXPECT_TRUE(sheet.window()->isVisible());
  EXPECT_EQ(sheet->password(), QStringLiteral("日本語"));
  EXPECT_EQ(sheet->passwordTextField()->text(), QStringLiteral("日本語"));
  EXPECT_EQ(sheet->codepage(), 1252);

  sheet.choose("codepageComboBox", QStringLiteral("codepage"), qint64(932));
  sheet.confirmWithReturn();
  ASSERT_TRUE(sheet.ended());
  ASSERT_EQ(sheet.jobs.size(), 1u);
  EXPECT_EQ(sheet.jobs[0]->password(),
            CVNEncodeString(u"日本語", CVNStringEncoding::WindowsJapanese));
}

TEST_F(CVNArchiveMenuControllerTest, EmptyFolderBehaviourFollowsTheCheckBox) {
  struct Case {
    bool stored;
    bool click;
    CVNEmptyFolderBehavior expected;
  };
  for (const Case& c : {Case{false, false, CVNEmptyFolderBehaviorIncludesInArchive},
                        Case{false, true, CVNEmptyFolderBehaviorExcludes},
                        Case{true, false, CVNEmptyFolderBehaviorExcludes},
                        Case{true, true, CVNEmptyFolderBehaviorIncludesInArchive}}) {
    SCOPED_TRACE(testing::Message() << c.stored << c.click);
    store("DefaultIgnoresEmptyFolders", c.stored);
    Sheet sheet;
    EXPECT_EQ(sheet.child<QCheckBox>("ignoresEmptyFolderCheckBox")->isChecked(), c.stored);
    sheet.click("archivesIndividuallyCheckBox");
    if (c.click) sheet.click("ignoresEmptyFolderCheckBox");
    sheet.click("archiveButton");
    ASSERT_TRUE(sheet.ended());
    ASSERT_EQ(sheet.jobs.size(), 3u);
    for (const auto& job : sheet.jobs) EXPECT_EQ(job->emptyFolderBehavior(), c.expected);
  }
}

TEST_F(CVNArchiveMenuControllerTest, StoredPreferencesPreselectRows) {
  struct Case {
    const char* key;
    QVariant stored;
    std::optional<std::vector<std::string>> languages;
    const char* comboName;
    int expectedRow;
  };
  using Languages = std::vector<std::string>;
  const std::vector<Case> cases = {
      // -1 follows the preferred languages; no match gives 1252.
      {"DefaultWindowsLanguage", qint64(-1), Languages{"ja", "en"}, "codepageComboBox", 1},
      {"DefaultWindowsLanguage", qint64(-1), Languages{"fr-CA", "ru"}, "codepageComboBox", 0},
      {"DefaultWindowsLanguage", qint64(-1), Languages{}, "codepageComboBox", 0},
      {"DefaultWindowsLanguage", qint64(950), std::nullopt, "codepageComboBox", 4},
      // A value that equals no row leaves the first row selected.
      {"DefaultWindowsLanguage", qint64(1251), std::nullopt, "codepageComboBox", 0},
      {"DefaultCompression", 9, std::nullopt, "compressionLevelComboBox", 2},
      {"DefaultCompression", 0, std::nullopt, "compressionLevelComboBox", 3},
      {"DefaultCompression", 5, std::nullopt, "compressionLevelComboBox", 0},
      {"DefaultCharacterEscaping", 1, std::nullopt, "escapingComboBox", 0},
      {"DefaultCharacterEscaping", 9, std::nullopt, "escapingComboBox", 2},
      {"DefaultCharacterEscaping", 7, std::nullopt, "escapingComboBox", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.key << "=" << c.stored.toString().toStdString());
    CVNUseScratchUserDefaults(CreationDefaults());
    store(c.key, c.stored);
    if (c.languages) RVSetPreferredLanguages(c.languages);
    Sheet sheet;
    EXPECT_EQ(sheet.combo(c.comboName)->currentIndex(), c.expectedRow);
    RVSetPreferredLanguages(std::vector<std::string>{"en"});
  }
}

TEST_F(CVNArchiveMenuControllerTest, PreselectedRowsReachTheJobs) {
  store("DefaultWindowsLanguage", qint64(-1));
  RVSetPreferredLanguages(std::vector<std::string>{"ja"});
  store("DefaultCompression", 0);
  store("DefaultCharacterEscaping", 1);
  Sheet sheet;
  EXPECT_EQ(sheet->codepage(), 932);
  sheet.click("archiveButton");
  ASSERT_TRUE(sheet.ended());
  ASSERT_EQ(sheet.jobs.size(), 1u);
  EXPECT_EQ(sheet.jobs[0]->compressionLevel(), 0);
  EXPECT_EQ(sheet.jobs[0]->encoder()->encoding(), CVNStringEncoding::WindowsJapanese);
  EXPECT_EQ(sheet.jobs[0]->encoder()->characterEscapeFormat(), std::optional<std::string>("_"));
}

TEST_F(CVNArchiveMenuControllerTest, ReportsOnlyWarningsOnlyForOne) {
  for (const auto& [stored, expected] : std::vector<std::pair<QVariant, bool>>{
           {1, true}, {0, false}, {2, false}, {-1, false}, {QStringLiteral("1"), true}}) {
    SCOPED_TRACE(stored.toString().toStdString());
    store("ReportsOnlyWarningsForCreation", stored);
    Sheet sheet;
    sheet.click("archivesIndividuallyCheckBox");
    sheet.click("archiveButton");
    ASSERT_TRUE(sheet.ended());
    ASSERT_EQ(sheet.jobs.size(), 3u);
    for (const auto& job : sheet.jobs) EXPECT_EQ(job->reportsOnlyWarnings(), expected);
  }
}

TEST_F(CVNArchiveMenuControllerTest, CancelMakesNothing) {
  for (const bool escape : {false, true}) {
    SCOPED_TRACE(escape);
    Sheet sheet;
    sheet.type(QStringLiteral("secret"));
    if (escape) {
      QTest::keyClick(sheet->passwordTextField(), Qt::Key_Escape);
    } else {
      sheet.click("cancelButton");
    }
    ASSERT_TRUE(sheet.ended());
    EXPECT_EQ(sheet.submissions, 0);
  }
}

TEST_F(CVNArchiveMenuControllerTest, SheetIsWindowModalWithPasswordFocusedAndConfirmDefault) {
  Sheet sheet;
  EXPECT_EQ(sheet.window()->windowModality(), Qt::WindowModal);
  EXPECT_EQ(sheet.window()->focusWidget(), sheet->passwordTextField());
  EXPECT_TRUE(sheet.child<QPushButton>("archiveButton")->isDefault());
  EXPECT_EQ(sheet.child<QGroupBox>("passwordBox")->title(),
            CVNArchiveMenuController::passwordBoxTitle());
  EXPECT_EQ(sheet->passwordTextField()->echoMode(), QLineEdit::Password);
}

TEST_F(CVNArchiveMenuControllerTest, FileTableHasOneRowPerItemWithItsPathInEveryColumn) {
  for (size_t count : {1u, 3u}) {
    const std::vector<std::string> items(kThreeItems.begin(), kThreeItems.begin() + count);
    Sheet sheet(items);
    QAbstractItemModel* model = sheet.child<QTableView>("fileTableView")->model();
    ASSERT_EQ(model->rowCount(), static_cast<int>(count));
    EXPECT_EQ(sheet->numberOfRowsInTableView(), static_cast<int>(count));
    for (size_t row = 0; row < count; ++row) {
      const QString path = QString::fromStdString(items[row]);
      EXPECT_EQ(model->index(static_cast<int>(row), 0).data().toString(), path);
      for (int column : {0, 1, 5})
        EXPECT_EQ(sheet->objectValue(column, static_cast<int>(row)), path);
    }
  }
}

TEST_F(CVNArchiveMenuControllerTest, ControllerReleasesItselfOnlyWhenItsSheetEnds) {
  Sheet sheet;
  QPointer<CVNArchiveMenuController> controller = &*sheet.operator->();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
  EXPECT_FALSE(controller.isNull());
  sheet.click("archiveButton");
  EXPECT_TRUE(sheet.ended());
  EXPECT_TRUE(controller.isNull());
  // The jobs outlive the sheet with their encoder.
  ASSERT_EQ(sheet.jobs.size(), 1u);
  EXPECT_NE(sheet.jobs[0]->encoder(), nullptr);
}

TEST_F(CVNArchiveMenuControllerTest, PreferencesSheetShowsAndStoresTheDefaults) {
  Sheet sheet;
  QDialog* preferences = sheet->preferencesSheet();
  for (int round = 0; round < 2; ++round) {
    sheet.click("preferencesButton");
    ASSERT_TRUE(CVNSpinUntil([&] { return preferences->isVisible(); }));
    EXPECT_EQ(preferences->windowModality(), Qt::WindowModal);
    // Registered values show without being written.
    EXPECT_EQ(sheet.combo("defaultWindowsLanguageComboBox")->currentIndex(), round == 0 ? 0 : 2);
    EXPECT_EQ(CVNUserDefaults::standardUserDefaults().settings().contains(
                  QStringLiteral("DefaultCompression")),
              round == 1);
    if (round == 0) {
      sheet.choose("defaultWindowsLanguageComboBox", QStringLiteral("codepage"), qint64(932));
      sheet.choose("defaultCompressionComboBox", QStringLiteral("compressionLevel"), qint64(9));
      sheet.choose("defaultCharacterEscapingComboBox", QStringLiteral("escapingLevel"), quint64(1));
      sheet.click("defaultArchivesIndividuallyCheckBox");
      sheet.click("reportsOnlyWarningsForCreationCheckBox");
    }
    sheet.click("closePreferencesButton");
    ASSERT_TRUE(CVNSpinUntil([&] { return !preferences->isVisible(); }));
    EXPECT_TRUE(sheet.window()->isVisible());
  }
  const CVNUserDefaults& defaults = CVNUserDefaults::standardUserDefaults();
  EXPECT_EQ(defaults.integerForKey(QStringLiteral("DefaultWindowsLanguage")), 932);
  EXPECT_EQ(defaults.integerForKey(QStringLiteral("DefaultCompression")), 9);
  EXPECT_EQ(defaults.integerForKey(QStringLiteral("DefaultCharacterEscaping")), 1);
  EXPECT_TRUE(defaults.boolForKey(QStringLiteral("DefaultArchivesIndividually")));
  EXPECT_EQ(defaults.integerForKey(QStringLiteral("ReportsOnlyWarningsForCreation")), 0);
  // The open sheet keeps the values it was made with.
  EXPECT_FALSE(sheet->archivesIndividually());
}

TEST_F(CVNArchiveMenuControllerTest, PreferencesSheetShowsNoRowForAStoredValueOfNone) {
  store("DefaultCompression", 5);
  store("DefaultWindowsLanguage", qint64(1251));
  Sheet sheet;
  sheet.click("preferencesButton");
  ASSERT_TRUE(CVNSpinUntil([&] { return sheet->preferencesSheet()->isVisible(); }));
  EXPECT_EQ(sheet.combo("defaultCompressionComboBox")->currentIndex(), -1);
  EXPECT_EQ(sheet.combo("defaultWindowsLanguageComboBox")->currentIndex(), -1);
  // Looking changes nothing in the store.
  EXPECT_EQ(
      CVNUserDefaults::standardUserDefaults().integerForKey(QStringLiteral("DefaultCompression")),
      5);
  // Escape closes the nested sheet only.
  QTest::keyClick(sheet.combo("defaultCompressionComboBox"), Qt::Key_Escape);
  ASSERT_TRUE(CVNSpinUntil([&] { return !sheet->preferencesSheet()->isVisible(); }));
  EXPECT_TRUE(sheet.window()->isVisible());
  EXPECT_EQ(sheet.submissions, 0);
}

TEST_F(CVNArchiveMenuControllerTest, ControllerGoesWithAParentWindowThatGoesFirst) {
  auto parent = std::make_unique<QWidget>();
  parent->show();
  QPointer<CVNArchiveMenuController> controller =
      new CVNArchiveMenuController(std::vector<std::string>{"/tmp/x"});
  controller->showSheetInWindow(parent.get());
  parent.reset();
  EXPECT_TRUE(CVNSpinUntil([&] { return controller.isNull(); }));
}

// The confirmation code on its own, as the headless driver calls it.
TEST_F(CVNArchiveMenuControllerTest, MakeOperationsResolvesTheCodepageAndRefusesLossyPasswords) {
  struct Case {
    const char* name;
    int64_t codepage;
    std::vector<std::string> languages;
    QString password;
    std::optional<std::string> format;
    bool made;
    CVNStringEncoding encoding;
  };
  using E = CVNStringEncoding;
  const std::vector<Case> cases = {
      {"-1 with ja", -1, {"ja"}, QStringLiteral("日本"), "_", true, E::WindowsJapanese},
      {"-1 with none", -1, {"ru"}, QStringLiteral("café"), "_", true, E::WindowsLatin1},
      {"-1 with none, Japanese", -1, {"ru"}, QStringLiteral("日本"), "_", false, E::WindowsLatin1},
      {"Korean in 932", 932, {"en"}, QStringLiteral("한국"), "_", false, E::WindowsJapanese},
      {"Korean in 949", 949, {"en"}, QStringLiteral("한국"), std::nullopt, true, E::WindowsKorean},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RVSetPreferredLanguages(c.languages);
    CVNArchiveMenuController::Choices choices;
    choices.filenames = {"/tmp/a", "/tmp/b"};
    choices.archivesIndividually = true;
    choices.codepage = c.codepage;
    choices.password = c.password;
    choices.characterEscapeFormat = c.format;
    Jobs jobs;
    const bool made = CVNArchiveMenuController::makeOperations(
        choices, [&](std::shared_ptr<CVNArchiveOperation> job) { jobs.push_back(std::move(job)); });
    EXPECT_EQ(made, c.made);
    if (!c.made) {
      EXPECT_TRUE(jobs.empty());
      continue;
    }
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0]->encoder()->encoding(), c.encoding);
    EXPECT_EQ(jobs[0]->encoder()->characterEscapeFormat(), c.format);
    EXPECT_EQ(jobs[1]->password(), CVNEncodeString(c.password.toStdU16String(), c.encoding));
  }
}

// The sheet with three items, the password alert and the defaults sheet, in
// both languages, for looking at.
TEST_F(CVNArchiveMenuControllerTest, Screenshots) {
  for (const char* language : {"en", "ja"}) {
    CVNInstallLocalization(QString::fromLatin1(language));
    const QString suffix = QStringLiteral("_") + QString::fromLatin1(language);
    Sheet sheet;
    CVNSaveScreenshot(sheet.window(), QStringLiteral("CVNArchiveMenuController_sheet") + suffix);

    sheet.type(QStringLiteral("日本語"));
    sheet.choose("codepageComboBox", QStringLiteral("codepage"), qint64(1252));
    sheet.click("archiveButton");
    ASSERT_TRUE(CVNSpinUntil([&] { return sheet.alert() && sheet.alert()->isVisible(); }));
    CVNSaveScreenshot(sheet.alert(), QStringLiteral("CVNArchiveMenuController_alert") + suffix);
    QTest::mouseClick(sheet.alert()->button(QMessageBox::Ok), Qt::LeftButton);
    ASSERT_TRUE(CVNSpinUntil([&] { return sheet.alert() == nullptr; }));
    CVNSaveScreenshot(sheet.window(),
                      QStringLiteral("CVNArchiveMenuController_sheet_password") + suffix);

    sheet.click("preferencesButton");
    ASSERT_TRUE(CVNSpinUntil([&] { return sheet->preferencesSheet()->isVisible(); }));
    CVNSaveScreenshot(sheet->preferencesSheet(),
                      QStringLiteral("CVNArchiveMenuController_preferences") + suffix);
    sheet.click("closePreferencesButton");
  }
  CVNInstallLocalization(QStringLiteral("en"));
}

}  // namespace
