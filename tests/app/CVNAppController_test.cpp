#include "app/CVNAppController.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include "AppTestFixture.h"
#include "app/CVNPreferencesWindow.h"
#include "engine/io/RVException.h"
#include "jobs/CVNUnarchiveOperation.h"

namespace {

using corvana_test::exists;

constexpr int kJobTimeoutMs = 20000;

// --- Launching with files --------------------------------------------------

struct LaunchCase {
  const char* name;
  bool damaged;         // the archive's one entry fails its check: a warning
  bool launchedBefore;  // the files arrive after launch has finished
  bool quits;
};

class LaunchTest : public AppTest, public ::testing::WithParamInterface<LaunchCase> {};

TEST_P(LaunchTest, QuitsByItselfOnlyAfterAWarningFreeLaunchJob) {
  const LaunchCase& c = GetParam();
  const std::string zip = writeZip("t.zip", {{"a.txt", "payload"}}, c.damaged);
  if (c.launchedBefore) controller()->applicationDidFinishLaunching();
  controller()->openFiles({zip});
  controller()->applicationDidFinishLaunching();
  ASSERT_EQ(list()->count(), 1);
  ASSERT_TRUE(CVNSpinUntil([&] { return job(0)->isFinished(); }, kJobTimeoutMs));
  CVNSpinUntil([&] { return terminations_ > 0; }, 300);
  EXPECT_EQ(terminations_, c.quits ? 1 : 0);
  EXPECT_EQ(controller()->terminatesAutomatically(), !c.launchedBefore);
  EXPECT_TRUE(exists(dir_ / "t/a.txt"));
}

INSTANTIATE_TEST_SUITE_P(Cases, LaunchTest,
                         ::testing::Values(LaunchCase{"Clean", false, false, true},
                                           LaunchCase{"Warned", true, false, false},
                                           LaunchCase{"OpenedAfterLaunch", false, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppTest, AutomaticQuitWaitsForTheLastJobAndAsksOnlyIt) {
  // First a job that ends with a warning, then one without: the second ends it.
  controller()->openFiles({writeText("bad.zip")});
  controller()->applicationDidFinishLaunching();
  auto held = addHeld();
  ASSERT_TRUE(CVNSpinUntil([&] { return job(0)->isFinished(); }, kJobTimeoutMs));
  EXPECT_GT(job(0)->warningCount(), 0u);
  CVNSpinUntil([&] { return terminations_ > 0; }, 200);
  EXPECT_EQ(terminations_, 0);
  held->release();
  ASSERT_TRUE(CVNSpinUntil([&] { return terminations_ > 0; }, kJobTimeoutMs));
  EXPECT_EQ(terminations_, 1);
}

TEST_F(AppTest, AutomaticQuitWaitsWhileAnotherJobRuns) {
  controller()->openFiles({writeZip("t.zip", {{"a.txt", "payload"}})});
  controller()->applicationDidFinishLaunching();
  auto held = addHeld();
  ASSERT_TRUE(CVNSpinUntil([&] { return job(0)->isFinished(); }, kJobTimeoutMs));
  CVNSpinUntil([&] { return terminations_ > 0; }, 200);
  EXPECT_EQ(terminations_, 0);
  held->release(/*warn=*/true);
  ASSERT_TRUE(CVNSpinUntil([&] { return held->isFinished(); }, kJobTimeoutMs));
  CVNSpinUntil([&] { return terminations_ > 0; }, 200);
  EXPECT_EQ(terminations_, 0);
}

// Items handed over or dropped while the launch's job runs open the settings
// sheet; the automatic quit waits until that sheet has ended, so that its items
// are not lost, and then quits once no job is left.
class SheetHoldsTheQuitTest : public AppTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SheetHoldsTheQuitTest, AnOpenSettingsSheetHoldsTheAutomaticQuit) {
  const bool submits = GetParam();
  controller()->openFiles({writeZip("t.zip", {{"a.txt", "payload"}})});
  controller()->applicationDidFinishLaunching();
  auto held = addHeld();
  controller()->acceptFiles({writeText("b.txt")});
  ASSERT_TRUE(CVNSpinUntil([] { return visibleSheet() != nullptr; }));
  held->release();
  ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }, kJobTimeoutMs));
  CVNSpinUntil([&] { return terminations_ > 0; }, 200);
  EXPECT_EQ(terminations_, 0);
  QDialog* sheet = visibleSheet();
  ASSERT_NE(sheet, nullptr);
  auto* button = sheet->findChild<QPushButton*>(
      QString::fromLatin1(submits ? "archiveButton" : "cancelButton"));
  ASSERT_NE(button, nullptr);
  QTest::mouseClick(button, Qt::LeftButton);
  ASSERT_TRUE(CVNSpinUntil([&] { return terminations_ > 0; }, kJobTimeoutMs));
  EXPECT_EQ(terminations_, 1);
  EXPECT_EQ(list()->count(), submits ? 3 : 2);
  EXPECT_TRUE(allFinished());
  if (submits) {
    EXPECT_TRUE(job(2)->succeeded());
  }
}

INSTANTIATE_TEST_SUITE_P(Endings, SheetHoldsTheQuitTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Create" : "Cancel"; });

TEST_F(AppTest, StartedWithoutFilesNeverQuitsByItself) {
  controller()->applicationDidFinishLaunching();
  controller()->acceptFiles({writeZip("t.zip", {{"a.txt", "payload"}})});
  ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }, kJobTimeoutMs));
  CVNSpinUntil([&] { return terminations_ > 0; }, 200);
  EXPECT_EQ(terminations_, 0);
  EXPECT_TRUE(job(0)->succeeded());
}

// --- Attention -------------------------------------------------------------

TEST_F(AppTest, AttentionForEveryFinishedJobButACancelledOne) {
  QSignalSpy attention(controller(), &CVNAppController::attentionRequested);
  auto done = addHeld();
  auto cancelled = addHeld();
  ASSERT_TRUE(CVNSpinUntil([&] { return done->isExecuting() && cancelled->isExecuting(); }));
  cancelled->cancel();
  ASSERT_TRUE(CVNSpinUntil([&] { return cancelled->isFinished(); }));
  CVNSpinUntil([] { return false; }, 100);
  EXPECT_EQ(attention.count(), 0);
  done->release();
  ASSERT_TRUE(CVNSpinUntil([&] { return attention.count() == 1; }));
  CVNSpinUntil([] { return false; }, 100);
  EXPECT_EQ(attention.count(), 1);
}

// --- What the files become -------------------------------------------------

struct AcceptCase {
  const char* name;
  std::vector<const char*> files;  // "name/" is a folder
  bool extracts;                   // else the settings sheet opens
};

class AcceptTest : public AppTest, public ::testing::WithParamInterface<AcceptCase> {};

TEST_P(AcceptTest, OneZipIsExtractedAnythingElseOpensTheSheet) {
  std::vector<std::string> paths;
  for (const char* file : GetParam().files) {
    std::string name(file);
    if (name.back() == '/') {
      name.pop_back();
      ASSERT_EQ(corvana_test::runCommand("mkdir " + corvana_test::shellQuote(dir_ / name)), 0);
      paths.push_back(dir_ / name);
    } else if (name.find(".txt") != std::string::npos) {
      paths.push_back(writeText(name));
    } else {
      paths.push_back(writeZip(name, {{"a.txt", "payload"}}));
    }
  }
  controller()->acceptFiles(paths);
  if (GetParam().extracts) {
    ASSERT_EQ(list()->count(), 1);
    auto* extraction = dynamic_cast<CVNUnarchiveOperation*>(job(0).get());
    ASSERT_NE(extraction, nullptr);
    EXPECT_EQ(extraction->path(), paths.front());
    EXPECT_FALSE(extraction->indeterminately());
    EXPECT_EQ(extraction->mainWindow(), menu_->window());
    EXPECT_EQ(visibleSheet(), nullptr);
    ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }, kJobTimeoutMs));
  } else {
    // Not at once: on the next turn of the event loop.
    EXPECT_EQ(visibleSheet(), nullptr);
    ASSERT_TRUE(CVNSpinUntil([] { return visibleSheet() != nullptr; }));
    EXPECT_EQ(list()->count(), 0);
    visibleSheet()->reject();
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, AcceptTest,
                         ::testing::Values(AcceptCase{"Lower", {"a.zip"}, true},
                                           AcceptCase{"Capitals", {"A.ZIP"}, true},
                                           AcceptCase{"Mixed", {"b.Zip"}, true},
                                           AcceptCase{"FolderNamedZip", {"x.zip/"}, true},
                                           AcceptCase{"ZipTxt", {"a.zip.txt"}, false},
                                           AcceptCase{"TwoArchives", {"a.zip", "b.zip"}, false},
                                           AcceptCase{"Folder", {"folder/"}, false},
                                           AcceptCase{"NoExtension", {"zip"}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppTest, AnEmptyListIsAProgrammingError) {
  EXPECT_EQ(corvana_test::raisedName([&] { controller()->acceptFiles({}); }),
            std::string(RVInternalInconsistencyException));
}

struct PreferencesCase {
  const char* name;
  int reportsOnlyWarnings, extractsWindows, continues;
  bool expectReports;
  uint64_t windows, unrecognizable, incorrect, verification;
};

class PreferencesTest : public AppTest, public ::testing::WithParamInterface<PreferencesCase> {};

TEST_P(PreferencesTest, ExtractionJobsTakeTheirBehavioursFromThePreferences) {
  const PreferencesCase& c = GetParam();
  CVNUserDefaults& defaults = CVNUserDefaults::standardUserDefaults();
  defaults.setObject(c.reportsOnlyWarnings, QStringLiteral("ReportsOnlyWarningsForExtraction"));
  defaults.setObject(c.extractsWindows, QStringLiteral("ExtractsEntriesSpecificToWindows"));
  defaults.setObject(c.continues,
                     QStringLiteral("ContinuesExtractionAsMuchAsPossibleEvenIfThereAreWarnings"));
  controller()->acceptFiles({writeZip("t.zip", {{"a.txt", "payload"}})});
  auto* extraction = dynamic_cast<CVNUnarchiveOperation*>(job(0).get());
  ASSERT_NE(extraction, nullptr);
  EXPECT_EQ(extraction->reportsOnlyWarnings(), c.expectReports);
  EXPECT_EQ(extraction->entrySpecificToWindowsBehavior(), c.windows);
  EXPECT_EQ(extraction->unrecognizableFileNameBehavior(), c.unrecognizable);
  EXPECT_EQ(extraction->incorrectFileDataBehavior(), c.incorrect);
  EXPECT_EQ(extraction->verificationErrorBehavior(), c.verification);
  ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }, kJobTimeoutMs));
}

INSTANTIATE_TEST_SUITE_P(Cases, PreferencesTest,
                         ::testing::Values(PreferencesCase{"AllOne", 1, 1, 1, true, 2, 1, 0, 0},
                                           PreferencesCase{"AllZero", 0, 0, 0, false, 0, 2, 1, 1},
                                           // Only 1 counts as on.
                                           PreferencesCase{"AllTwo", 2, 2, 2, false, 0, 2, 1, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

struct BehaviourCase {
  const char* name;
  const char* key;
  int value;
  bool damaged;
  std::vector<const char*> entries;
  bool succeeds;
  std::vector<const char*> extracted;  // under the output folder "t"
  std::vector<const char*> absent;
  uint64_t warnings;
};

class BehaviourTest : public AppTest, public ::testing::WithParamInterface<BehaviourCase> {};

TEST_P(BehaviourTest, ThePreferenceDecidesWhatIsExtracted) {
  const BehaviourCase& c = GetParam();
  CVNUserDefaults::standardUserDefaults().setObject(c.value, QString::fromLatin1(c.key));
  std::vector<std::pair<std::string, std::string>> entries;
  for (const char* entry : c.entries) entries.emplace_back(entry, std::string("data of ") + entry);
  controller()->acceptFiles({writeZip("t.zip", entries, c.damaged)});
  ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }, kJobTimeoutMs));
  EXPECT_EQ(job(0)->succeeded(), c.succeeds) << job(0)->result().toStdString();
  EXPECT_EQ(job(0)->warningCount(), c.warnings);
  for (const char* name : c.extracted) EXPECT_TRUE(exists(dir_ / "t/" + name)) << name;
  for (const char* name : c.absent) EXPECT_FALSE(exists(dir_ / "t/" + name)) << name;
}

constexpr const char* kContinues = "ContinuesExtractionAsMuchAsPossibleEvenIfThereAreWarnings";
constexpr const char* kWindows = "ExtractsEntriesSpecificToWindows";

// clang-format off
const BehaviourCase kBehaviourCases[] = {
    {"ContinuesPastADamagedEntry", kContinues, 1, true, {"a.txt", "b.txt"},
     true, {"a.txt", "b.txt"}, {}, 1},
    // The job stops at the first failed check and removes its folder.
    {"StopsAtADamagedEntry", kContinues, 0, true, {"a.txt", "b.txt"},
     false, {}, {"a.txt", "b.txt", ""}, 2},
    {"ExtractsWindowsFiles", kWindows, 1, false, {"Thumbs.db", "Desktop.ini", "a.txt"},
     true, {"Thumbs.db", "Desktop.ini", "a.txt"}, {}, 0},
    // Skipped without a row.
    {"SkipsWindowsFiles", kWindows, 0, false, {"Thumbs.db", "Desktop.ini", "a.txt"},
     true, {"a.txt"}, {"Thumbs.db", "Desktop.ini"}, 0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Cases, BehaviourTest, ::testing::ValuesIn(kBehaviourCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- The queue -------------------------------------------------------------

TEST_F(AppTest, AThirdJobWaitsUntilOneOfTwoHasFinished) {
  auto first = addHeld(QStringLiteral("/tmp/first"));
  auto second = addHeld(QStringLiteral("/tmp/second"));
  auto third = addHeld(QStringLiteral("/tmp/third"));
  ASSERT_TRUE(CVNSpinUntil([&] { return first->isExecuting() && second->isExecuting(); }));
  CVNSpinUntil([] { return false; }, 200);
  EXPECT_FALSE(third->isExecuting());
  EXPECT_FALSE(third->isFinished());
  EXPECT_EQ(list()->count(), 3);
  second->release();
  ASSERT_TRUE(CVNSpinUntil([&] { return third->isExecuting(); }));
  EXPECT_TRUE(first->isExecuting());
}

// --- Quitting --------------------------------------------------------------

TEST_F(AppTest, QuittingWithoutJobsAsksNothing) {
  auto finished = addHeld();
  finished->release();
  ASSERT_TRUE(CVNSpinUntil([&] { return controller()->operationQueue()->operations().empty(); }));
  menu_->quitAction()->trigger();
  EXPECT_EQ(controller()->terminateAlert(), nullptr);
  EXPECT_EQ(terminations_, 1);
}

TEST_F(AppTest, QuittingWithJobsAsksAndNoKeepsThemRunning) {
  auto running = addHeld();
  ASSERT_TRUE(CVNSpinUntil([&] { return running->isExecuting(); }));
  menu_->quitAction()->trigger();
  QMessageBox* alert = controller()->terminateAlert();
  ASSERT_NE(alert, nullptr);
  EXPECT_TRUE(alert->isVisible());
  EXPECT_EQ(alert->windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(static_cast<QAbstractButton*>(alert->defaultButton()), buttonNamed(alert, "No"));
  EXPECT_EQ(alert->text(), CVNLocalizedString("ダイアログタイトル:アプリケーション終了"));
  EXPECT_EQ(alert->informativeText(),
            CVNLocalizedString("ダイアログメッセージ:アプリケーション終了"));
  EXPECT_EQ(alert->buttons().size(), 2);
  QTest::mouseClick(buttonNamed(alert, "No"), Qt::LeftButton);
  CVNSpinUntil([] { return false; }, 100);
  EXPECT_EQ(controller()->terminateAlert(), nullptr);
  EXPECT_EQ(terminations_, 0);
  EXPECT_TRUE(running->isExecuting());
  EXPECT_FALSE(running->isCancelled());
}

TEST_F(AppTest, YesCancelsEveryJobAndQuitsOnceTheQueueHasDrained) {
  auto first = addHeld(QStringLiteral("/tmp/first"));
  auto second = addHeld(QStringLiteral("/tmp/second"));
  auto waiting = addHeld(QStringLiteral("/tmp/waiting"));
  ASSERT_TRUE(CVNSpinUntil([&] { return first->isExecuting() && second->isExecuting(); }));
  controller()->terminate();
  ASSERT_NE(controller()->terminateAlert(), nullptr);
  QTest::mouseClick(buttonNamed(controller()->terminateAlert(), "Yes"), Qt::LeftButton);
  // A job that arrives while the queue drains never starts.
  auto late = addHeld(QStringLiteral("/tmp/late"));
  ASSERT_TRUE(CVNSpinUntil([&] { return terminations_ > 0; }, kJobTimeoutMs));
  EXPECT_TRUE(late->isCancelled());
  EXPECT_EQ(late->result(), CVNLocalizedString("Please wait..."));
  EXPECT_EQ(terminations_, 1);
  EXPECT_TRUE(queueEmptyAtTermination_);
  for (const auto& held : {first, second, waiting}) {
    EXPECT_TRUE(held->isCancelled());
    EXPECT_TRUE(held->isFinished());
    EXPECT_FALSE(held->succeeded());
  }
  // The waiting job never ran.
  EXPECT_EQ(waiting->result(), CVNLocalizedString("Please wait..."));
}

TEST_F(AppTest, AJobThatFinishesDuringTeardownNeitherQuitsNorAsksForAttention) {
  // Started with a file: a warning-free last job would end the application.
  controller()->openFiles({writeZip("t.zip", {{"a.txt", "payload"}})});
  controller()->applicationDidFinishLaunching();
  auto held = addHeld();
  ASSERT_TRUE(CVNSpinUntil([&] { return job(0)->isFinished() && held->isExecuting(); }));
  int terminations = 0;
  controller()->setTerminationHandler([&] { ++terminations; });
  QSignalSpy attention(controller(), &CVNAppController::attentionRequested);
  // The job finishes cleanly while its finish still waits for the event loop,
  // which next turns inside the controller's teardown.
  held->release();
  for (int i = 0; i < 20000 && !held->isFinished(); ++i) QThread::msleep(1);
  ASSERT_TRUE(held->isFinished());
  menu_.reset();
  EXPECT_EQ(terminations, 0);
  EXPECT_EQ(attention.count(), 0);
}

TEST_F(AppTest, ASignalTakesTheYesPathWithoutAsking) {
  auto running = addHeld();
  ASSERT_TRUE(CVNSpinUntil([&] { return running->isExecuting(); }));
  controller()->terminateWithoutAsking();
  EXPECT_EQ(controller()->terminateAlert(), nullptr);
  EXPECT_EQ(terminations_, 0);  // not before the job has finished
  ASSERT_TRUE(CVNSpinUntil([&] { return terminations_ > 0; }, kJobTimeoutMs));
  EXPECT_TRUE(queueEmptyAtTermination_);
  EXPECT_TRUE(running->isCancelled());
}

struct CloseCase {
  const char* name;
  bool withJob;
};

class CloseTest : public AppTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseTest, ClosingTheWindowIsAQuitRequest) {
  std::shared_ptr<HeldOperation> running;
  if (GetParam().withJob) {
    running = addHeld();
    ASSERT_TRUE(CVNSpinUntil([&] { return running->isExecuting(); }));
  }
  EXPECT_FALSE(menu_->window()->close());
  EXPECT_TRUE(menu_->window()->isVisible());
  EXPECT_EQ(terminations_, GetParam().withJob ? 0 : 1);
  EXPECT_EQ(controller()->terminateAlert() != nullptr, GetParam().withJob);
}

INSTANTIATE_TEST_SUITE_P(Cases, CloseTest,
                         ::testing::Values(CloseCase{"Idle", false}, CloseCase{"Busy", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- The keyboard in every window ------------------------------------------

// The windows a user can type in besides the sheets: the main window, the
// preferences and a job's log window.
class KeyboardTest : public AppTest, public ::testing::WithParamInterface<const char*> {
 protected:
  // Shows the window named by the parameter and makes it the active one.
  QWidget* activeWindow() {
    const std::string name = GetParam();
    QWidget* window = menu_->window();
    if (name == "preferences") {
      menu_->preferencesAction()->trigger();
      window = menu_->preferencesWindow();
    } else if (name == "log") {
      controller()->acceptFiles({writeZip("t.zip", {{"a.txt", "payload"}})});
      const auto& extraction = job(list()->count() - 1);
      extraction->showLogWindow();
      window = extraction->logWindow();
    }
    EXPECT_NE(window, nullptr);
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    return window;
  }
};

TEST_P(KeyboardTest, CtrlQAsksTheQuitConfirmationEscapeAnswersNoAndCtrlQQuits) {
  auto running = addHeld();
  ASSERT_TRUE(CVNSpinUntil([&] { return running->isExecuting(); }));
  QWidget* window = activeWindow();
  QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
  QPointer<QMessageBox> alert = controller()->terminateAlert();
  ASSERT_NE(alert, nullptr);
  QTest::keyClick(alert, Qt::Key_Escape);
  EXPECT_TRUE(CVNSpinUntil([&] { return !alert || !alert->isVisible(); }));
  EXPECT_EQ(controller()->terminateAlert(), nullptr);
  EXPECT_FALSE(running->isCancelled());
  EXPECT_EQ(terminations_, 0);
  running->release();
  ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }, kJobTimeoutMs));
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(terminations_, 1);
}

INSTANTIATE_TEST_SUITE_P(Windows, KeyboardTest, ::testing::Values("main", "preferences", "log"));

class CloseKeyTest : public KeyboardTest {};

TEST_P(CloseKeyTest, EscapeAndCtrlWCloseTheWindow) {
  // Every binding of the platform's close shortcut, Ctrl+W among them.
  std::vector<QKeyCombination> keys = {QKeyCombination(Qt::Key_Escape)};
  for (const QKeySequence& close : QKeySequence::keyBindings(QKeySequence::Close)) {
    keys.push_back(close[0]);
  }
  ASSERT_NE(std::find(keys.begin(), keys.end(), QKeyCombination(Qt::CTRL | Qt::Key_W)), keys.end());
  for (const QKeyCombination key : keys) {
    SCOPED_TRACE(QKeySequence(key).toString().toStdString());
    QWidget* window = activeWindow();
    ASSERT_TRUE(window->isVisible());
    QTest::keyClick(window, key.key(), key.keyboardModifiers());
    EXPECT_FALSE(window->isVisible());
  }
  EXPECT_TRUE(menu_->window()->isVisible());
  EXPECT_EQ(terminations_, 0);
}

INSTANTIATE_TEST_SUITE_P(Windows, CloseKeyTest, ::testing::Values("preferences", "log"));

// --- Clearing --------------------------------------------------------------

TEST_F(AppTest, ClearRemovesFinishedTilesOnlyWhereverTheyAre) {
  auto a = addHeld(QStringLiteral("/tmp/a"));
  auto b = addHeld(QStringLiteral("/tmp/b"));
  auto c = addHeld(QStringLiteral("/tmp/c"));
  auto d = addHeld(QStringLiteral("/tmp/d"));
  a->release();
  ASSERT_TRUE(CVNSpinUntil([&] { return a->isFinished() && c->isExecuting(); }));
  c->release();
  ASSERT_TRUE(CVNSpinUntil([&] { return c->isFinished() && d->isExecuting(); }));
  // a and c finished, b and d running.
  QTest::mouseClick(menu_->clearButton(), Qt::LeftButton);
  ASSERT_EQ(list()->count(), 2);
  EXPECT_EQ(job(0), b);
  EXPECT_EQ(job(1), d);
  ASSERT_EQ(menu_->collectionView()->items().size(), 2u);
  EXPECT_EQ(menu_->collectionView()->items()[0]->representedObject(), b);
  EXPECT_EQ(menu_->collectionView()->items()[1]->representedObject(), d);
  b->release();
  ASSERT_TRUE(CVNSpinUntil([&] { return b->isFinished(); }));
  menu_->clearAction()->trigger();
  ASSERT_EQ(list()->count(), 1);
  EXPECT_EQ(job(0), d);
}

// --- The window ------------------------------------------------------------

// Counts the raises of the window it watches.
struct RaiseCounter : QObject {
  explicit RaiseCounter(QWidget* window) { window->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    raises += event->type() == QEvent::ZOrderChange;
    return false;
  }
  int raises = 0;
};

TEST_F(AppTest, TheWindowStartsAtItsSmallestSizeAndAJobRaisesIt) {
  QMainWindow* window = menu_->window();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->minimumSize(), QSize(400, 183));
  EXPECT_EQ(window->size(), QSize(400, 183));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Corvana"));
  EXPECT_TRUE(menu_->collectionView()->emptyHint()->isVisible());
  RaiseCounter counter(window);
  addHeld();
  EXPECT_EQ(counter.raises, 1);
  EXPECT_FALSE(menu_->collectionView()->emptyHint()->isVisible());
  EXPECT_EQ(menu_->collectionView()->items().size(), 1u);
}

TEST_F(AppTest, UntitledOpenShowsRaisesAndActivatesTheWindowAndNotificationsAnswerTrue) {
  QMainWindow* window = menu_->window();
  for (const bool hidden : {true, false}) {  // else shown behind another window
    SCOPED_TRACE(hidden ? "hidden" : "behind");
    QWidget other;
    other.show();
    other.activateWindow();
    if (hidden) window->hide();
    ASSERT_TRUE(CVNSpinUntil([&] { return QApplication::activeWindow() == &other; }));
    RaiseCounter counter(window);
    EXPECT_TRUE(controller()->applicationOpenUntitledFile());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(counter.raises, 1);
    EXPECT_TRUE(CVNSpinUntil([&] { return QApplication::activeWindow() == window; }, 2000));
  }
  EXPECT_TRUE(controller()->userNotificationCenterShouldPresentNotification());
}

}  // namespace
