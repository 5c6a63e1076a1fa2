#include "app/CVNCollectionViewItem.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QThread>

#include "AppTestFixture.h"
#include "app/CVNPreferencesWindow.h"
#include "jobs/CVNImages.h"

namespace {

class TileTest : public AppTest {
 protected:
  CVNCollectionViewItem* tile(int index) const {
    return menu_->collectionView()->items()[static_cast<size_t>(index)];
  }
  static QLabel* resultLabel(CVNCollectionViewItem* item) {
    return item->findChild<QLabel*>(QStringLiteral("resultLabel"));
  }
  static QProgressBar* progressBar(CVNCollectionViewItem* item) {
    return item->findChild<QProgressBar*>();
  }
  // What a screen reader says of the tile's state image.
  static QString stateName(CVNCollectionViewItem* item) {
    return item->findChild<QLabel*>(QStringLiteral("iconLabel"))->accessibleName();
  }
};

struct IdleCancelCase {
  const char* name;
  bool finished;  // else still waiting behind two running jobs
  const char* state;
};

class IdleCancelTest : public TileTest, public ::testing::WithParamInterface<IdleCancelCase> {};

TEST_P(IdleCancelTest, CancelDoesNothingForAJobThatIsNotRunning) {
  auto first = addHeld();
  auto second = addHeld();
  auto third = addHeld();
  ASSERT_TRUE(CVNSpinUntil([&] { return first->isExecuting() && second->isExecuting(); }));
  if (GetParam().finished) {
    third->release();
    first->release();
    ASSERT_TRUE(CVNSpinUntil([&] { return third->isFinished(); }));
  }
  CVNSpinUntil([] { return false; }, 100);
  CVNCollectionViewItem* item = tile(2);
  EXPECT_FALSE(item->cancelButton()->isEnabled());
  QTest::mouseClick(item->cancelButton(), Qt::LeftButton);
  item->cancel();
  EXPECT_EQ(item->cancelAlert(), nullptr);
  EXPECT_FALSE(third->isCancelled());
  EXPECT_EQ(stateName(item), CVNLocalizedString(GetParam().state));
  EXPECT_EQ(stateName(tile(1)), CVNLocalizedString("タイル:状態:実行中"));
}

INSTANTIATE_TEST_SUITE_P(Cases, IdleCancelTest,
                         ::testing::Values(IdleCancelCase{"Waiting", false, "タイル:状態:待機中"},
                                           IdleCancelCase{"Finished", true, "タイル:状態:完了"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct AnswerCase {
  const char* name;
  const char* button;  // none: Escape
  bool cancels;
};

class AnswerTest : public TileTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(AnswerTest, TheConfirmationCancelsOnYesOnlyAndEscapeAnswersNo) {
  auto running = addHeld();
  ASSERT_TRUE(CVNSpinUntil([&] { return running->isExecuting(); }));
  CVNCollectionViewItem* item = tile(0);
  ASSERT_TRUE(CVNSpinUntil([&] { return item->cancelButton()->isEnabled(); }));
  QTest::mouseClick(item->cancelButton(), Qt::LeftButton);
  QMessageBox* alert = item->cancelAlert();
  ASSERT_NE(alert, nullptr);
  EXPECT_TRUE(alert->isVisible());
  EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
  EXPECT_EQ(alert->parentWidget(), menu_->window());
  EXPECT_EQ(static_cast<QAbstractButton*>(alert->defaultButton()), buttonNamed(alert, "No"));
  EXPECT_EQ(alert->text(), CVNLocalizedString("ダイアログタイトル:処理キャンセル"));
  EXPECT_EQ(alert->informativeText(), CVNLocalizedString("ダイアログメッセージ:処理キャンセル"));
  EXPECT_EQ(alert->buttons().size(), 2);
  // A second press shows no second confirmation.
  item->cancel();
  EXPECT_EQ(item->cancelAlert(), alert);
  if (GetParam().button) {
    QTest::mouseClick(buttonNamed(alert, GetParam().button), Qt::LeftButton);
  } else {
    QTest::keyClick(alert, Qt::Key_Escape);
  }
  EXPECT_EQ(item->cancelAlert(), nullptr);
  EXPECT_EQ(running->isCancelled(), GetParam().cancels);
  if (GetParam().cancels) {
    ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }));
    EXPECT_FALSE(running->succeeded());
    EXPECT_EQ(resultLabel(item)->text(), CVNLocalizedString("Cancelled"));
    EXPECT_TRUE(resultLabel(item)->isVisible());
    EXPECT_EQ(resultLabel(item)->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(stateName(item), CVNLocalizedString("タイル:状態:キャンセル済み"));
  } else {
    CVNSpinUntil([] { return false; }, 100);
    EXPECT_TRUE(running->isExecuting());
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, AnswerTest,
                         ::testing::Values(AnswerCase{"No", "No", false},
                                           AnswerCase{"Yes", "Yes", true},
                                           AnswerCase{"Escape", nullptr, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TileTest, TheJobsEndClosesTheConfirmationWithoutCancelling) {
  auto running = addHeld();
  ASSERT_TRUE(CVNSpinUntil([&] { return running->isExecuting(); }));
  CVNCollectionViewItem* item = tile(0);
  item->cancel();
  QPointer<QMessageBox> alert = item->cancelAlert();
  ASSERT_NE(alert, nullptr);
  running->release();
  ASSERT_TRUE(CVNSpinUntil([&] { return item->cancelAlert() == nullptr; }));
  EXPECT_FALSE(running->isCancelled());
  ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }));
  EXPECT_TRUE(running->succeeded());
  CVNSpinUntil([&] { return alert.isNull(); }, 500);
  EXPECT_TRUE(alert.isNull() || !alert->isVisible());
}

TEST_F(TileTest, ATileClearedWhileConfirmingClosesItsConfirmationFirst) {
  auto running = addHeld();
  // Past its last wait for the main thread, so that it can end while the main
  // thread does not turn.
  ASSERT_TRUE(CVNSpinUntil([&] { return running->isExecuting() && !running->isIndeterminate(); }));
  tile(0)->cancel();
  QPointer<QMessageBox> alert = tile(0)->cancelAlert();
  ASSERT_NE(alert, nullptr);
  running->release();
  // Cleared before the job's end has reached the tile.
  for (int i = 0; i < 20000 && !running->isFinished(); ++i) QThread::msleep(1);
  ASSERT_TRUE(running->isFinished());
  controller()->clearAllOperations();
  EXPECT_EQ(list()->count(), 0);
  EXPECT_TRUE(menu_->collectionView()->items().empty());
  EXPECT_TRUE(alert.isNull() || !alert->isVisible());
  ASSERT_TRUE(CVNSpinUntil([&] { return controller()->operationQueue()->operations().empty(); }));
  EXPECT_FALSE(running->isCancelled());
  EXPECT_TRUE(running->succeeded());
}

TEST_F(TileTest, ATileShowsItsJobsProgressStatusAndResult) {
  auto running = addHeld(QStringLiteral("/tmp/half"));
  CVNCollectionViewItem* item = tile(0);
  // Created: the wait text, no bar.
  EXPECT_EQ(resultLabel(item)->text(), CVNLocalizedString("Please wait..."));
  ASSERT_TRUE(CVNSpinUntil([&] {
    return !running->isIndeterminate() && progressBar(item)->maximum() > 0 &&
           progressBar(item)->value() > 0;
  }));
  EXPECT_TRUE(progressBar(item)->isVisible());
  EXPECT_FALSE(resultLabel(item)->isVisible());
  EXPECT_NEAR(progressBar(item)->value(), progressBar(item)->maximum() / 2, 1);
  EXPECT_EQ(item->findChild<QLabel*>(QStringLiteral("statusLabel"))->toolTip(),
            QStringLiteral("/tmp/half"));
  EXPECT_FALSE(item->showInFinderButton()->isEnabled());
  // A screen reader names each button by its tool tip.
  for (QAbstractButton* button :
       {item->cancelButton(), item->showInFinderButton(), item->showDetailButton()}) {
    ASSERT_FALSE(button->toolTip().isEmpty()) << button->objectName().toStdString();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name),
              button->toolTip());
  }
  running->release();
  ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }));
  EXPECT_FALSE(progressBar(item)->isVisible());
  EXPECT_TRUE(resultLabel(item)->isVisible());
  EXPECT_EQ(resultLabel(item)->text(), running->summary());
  EXPECT_TRUE(item->showInFinderButton()->isEnabled());
}

TEST_F(TileTest, ALongResultIsCutToTheTileAndWholeInItsToolTip) {
  controller()->acceptFiles({writeText(std::string(150, 'x') + ".zip")});
  ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }, 20000));
  QLabel* label = resultLabel(tile(0));
  const QString result = job(0)->result();
  ASSERT_FALSE(job(0)->succeeded());
  ASSERT_GT(label->fontMetrics().horizontalAdvance(result), label->width());
  EXPECT_EQ(label->toolTip(), result);
  // A screen reader reads it whole, and the status too.
  EXPECT_EQ(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), result);
  EXPECT_EQ(tile(0)->findChild<QLabel*>(QStringLiteral("statusLabel"))->accessibleName(),
            job(0)->status());
  EXPECT_EQ(stateName(tile(0)), CVNLocalizedString("タイル:状態:失敗"));
  EXPECT_TRUE(label->text().contains(QChar(0x2026)));
  EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
  // A wider window shows more of it.
  const QString narrow = label->text();
  menu_->window()->resize(menu_->window()->width() + 200, menu_->window()->height());
  ASSERT_TRUE(CVNSpinUntil([&] { return label->text().size() > narrow.size(); }));
  EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
}

TEST_F(TileTest, AFinishedJobShowsWhetherItWarned) {
  // Whether the job logs a warning before it ends; the tile's icon and state then.
  const struct {
    bool warns;
    const char* icon;
    const char* state;
  } cases[] = {{false, CVNIconFinished, "タイル:状態:完了"},
               {true, CVNIconWarning, "タイル:状態:警告付きで完了"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.warns);
    auto held = addHeld();
    held->release(c.warns);
    ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }));
    ASSERT_TRUE(held->succeeded());
    CVNCollectionViewItem* item = tile(static_cast<int>(&c - cases));
    const QLabel* icon = item->findChild<QLabel*>(QStringLiteral("iconLabel"));
    EXPECT_EQ(icon->pixmap().toImage(), CVNImageNamed(QString::fromLatin1(c.icon)).toImage());
    EXPECT_EQ(stateName(item), CVNLocalizedString(c.state));
  }
}

// The screenshots a person looks at: the empty window, four tiles (running at
// half, finished, failed, finished with a warning), the cancel confirmation and
// the preferences.
class ScreenshotTest : public TileTest, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    CVNInstallLocalization(QString::fromLatin1(GetParam()));
    TileTest::SetUp();
  }
  void TearDown() override {
    TileTest::TearDown();
    CVNInstallLocalization(QStringLiteral("en"));
  }
  QString name(const char* what) const {
    return QStringLiteral("app-%1-%2").arg(QLatin1String(what), QLatin1String(GetParam()));
  }
};

TEST_P(ScreenshotTest, MainWindowTilesConfirmationAndPreferences) {
  QMainWindow* window = menu_->window();
  CVNSpinUntil([] { return false; }, 100);  // lets the layout settle
  CVNSaveScreenshot(window, name("main-window-empty"));

  window->resize(480, 300);
  auto running = addHeld(QStringLiteral("/home/user/Documents/Quarterly report 2026"));
  controller()->acceptFiles({writeZip("Photos from the trip.zip", {{"a.jpg", "jpeg bytes"}})});
  auto failed = addHeld(QStringLiteral("/home/user/Desktop/Old projects"));
  ASSERT_TRUE(CVNSpinUntil([&] { return job(1)->isFinished() && failed->isExecuting(); }));
  failed->cancel();
  ASSERT_TRUE(CVNSpinUntil([&] {
    return failed->isFinished() && !tile(0)->findChild<QProgressBar*>()->isHidden() &&
           tile(0)->findChild<QProgressBar*>()->value() > 0 &&
           !tile(2)->findChild<QLabel*>(QStringLiteral("resultLabel"))->isHidden();
  }));
  // A fourth that ends with a warning, in the place the cancelled one left.
  window->resize(480, 360);
  auto warned = addHeld(QStringLiteral("/home/user/Pictures/Scans"));
  ASSERT_TRUE(CVNSpinUntil([&] { return warned->isExecuting(); }));
  warned->release(/*warn=*/true);
  ASSERT_TRUE(CVNSpinUntil([&] {
    return warned->isFinished() &&
           !tile(3)->findChild<QLabel*>(QStringLiteral("resultLabel"))->isHidden();
  }));
  CVNSpinUntil([] { return false; }, 200);
  CVNSaveScreenshot(window, name("main-window-tiles"));

  tile(0)->cancel();
  ASSERT_NE(tile(0)->cancelAlert(), nullptr);
  CVNSaveScreenshot(tile(0)->cancelAlert(), name("cancel-confirmation"));
  tile(0)->endCancelAlert();

  controller()->terminate();
  ASSERT_NE(controller()->terminateAlert(), nullptr);
  CVNSaveScreenshot(controller()->terminateAlert(), name("quit-confirmation"));
  QTest::mouseClick(buttonNamed(controller()->terminateAlert(), "No"), Qt::LeftButton);
  EXPECT_EQ(terminations_, 0);

  menu_->preferencesAction()->trigger();
  ASSERT_TRUE(menu_->preferencesWindow()->isVisible());
  CVNSaveScreenshot(menu_->preferencesWindow(), name("preferences"));
}

INSTANTIATE_TEST_SUITE_P(Languages, ScreenshotTest, ::testing::Values("en", "ja"));

}  // namespace
