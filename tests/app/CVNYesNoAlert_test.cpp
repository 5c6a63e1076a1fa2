#include "app/CVNYesNoAlert.h"

#include <gtest/gtest.h>

#include <QTest>

#include "AppTestFixture.h"

namespace {

// Both confirmations of the program, the quit and a job's cancel, are the one
// Yes/No alert: "No" first and default, Escape answers "No".
enum class Confirmation { Quit, CancelJob };

struct ConfirmationCase {
  const char* name;
  Confirmation confirmation;
  const char* titleKey;
  const char* messageKey;
};

class YesNoAlertTest : public AppTest, public ::testing::WithParamInterface<ConfirmationCase> {
 protected:
  CVNYesNoAlert* open() {
    if (GetParam().confirmation == Confirmation::Quit) {
      controller()->terminate();
      return controller()->terminateAlert();
    }
    CVNCollectionViewItem* tile = menu_->collectionView()->items().front();
    if (!CVNSpinUntil([&] { return tile->cancelButton()->isEnabled(); })) return nullptr;
    QTest::mouseClick(tile->cancelButton(), Qt::LeftButton);
    return tile->cancelAlert();
  }
};

TEST_P(YesNoAlertTest, NoLeadsAndEscapeAnswersIt) {
  auto running = addHeld();
  ASSERT_TRUE(CVNSpinUntil([&] { return running->isExecuting(); }));
  QPointer<CVNYesNoAlert> alert = open();
  ASSERT_NE(alert, nullptr);
  EXPECT_TRUE(alert->isVisible());
  EXPECT_EQ(alert->text(), CVNLocalizedString(GetParam().titleKey));
  EXPECT_EQ(alert->informativeText(), CVNLocalizedString(GetParam().messageKey));
  ASSERT_EQ(alert->buttons().size(), 2);
  EXPECT_EQ(alert->noButton()->text(), CVNLocalizedString("No"));
  EXPECT_EQ(alert->yesButton()->text(), CVNLocalizedString("Yes"));
  EXPECT_EQ(static_cast<QAbstractButton*>(alert->defaultButton()), alert->noButton());
  QTest::keyClick(alert, Qt::Key_Escape);
  CVNSpinUntil([&] { return alert == nullptr || !alert->isVisible(); });
  EXPECT_TRUE(alert == nullptr || !alert->isVisible());
  EXPECT_FALSE(running->isCancelled());
  EXPECT_EQ(terminations_, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, YesNoAlertTest,
    ::testing::Values(ConfirmationCase{"Quit", Confirmation::Quit,
                                       "ダイアログタイトル:アプリケーション終了",
                                       "ダイアログメッセージ:アプリケーション終了"},
                      ConfirmationCase{"CancelJob", Confirmation::CancelJob,
                                       "ダイアログタイトル:処理キャンセル",
                                       "ダイアログメッセージ:処理キャンセル"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
