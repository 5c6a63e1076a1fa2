#include "jobs/CVNLogView.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QScrollBar>
#include <memory>

#include "JobsTestSupport.h"
#include "engine/io/RVException.h"
#include "jobs/CVNLogModel.h"
#include "jobs/CVNLogWindow.h"

namespace {

using Step = CVNScriptedOperation::Step;

CVNLogRow rowOf(const char* icon, const QString& message, std::optional<QString> argument) {
  return {QString::fromLatin1(icon), message, message, std::move(argument)};
}

void appendRows(CVNLogModel& model, int count, int from = 0) {
  for (int i = from; i < from + count; ++i)
    model.appendRow(rowOf("gem_okay.png", QStringLiteral("Added"),
                          QStringLiteral("folder/file %1.txt").arg(i)));
}

bool atBottom(const CVNLogView& view) {
  return view.verticalScrollBar()->value() == view.verticalScrollBar()->maximum();
}

TEST(CVNLogView, JobLogWindowShowsEveryKindOfRow) {
  auto job = std::make_shared<CVNScriptedOperation>();
  auto* window = new CVNLogWindow(job->logModel());
  job->setLogWindow(window);
  job->setIndeterminately(false);
  job->script = [](CVNScriptedOperation& j, Step step) {
    if (step != Step::SecondPass) return;
    j.logWithIconName(QStringLiteral("gem_okay.png"), "Added",
                      QStringLiteral("Photos/2024/Holiday/IMG_0001.JPG"));
    j.logWithIconName(QStringLiteral("gem_okay.png"), "Added",
                      QStringLiteral("書類/請求書 2024年3月.pdf"));
    j.logWithIconName(QStringLiteral("warning_triangle.png"), "Skipped",
                      QStringLiteral(".DS_Store"));
    j.logWithIconName(QStringLiteral("warning_triangle.png"), "A name was too long and was cut",
                      QStringLiteral("Projects/very long folder name that goes on and on/and on "
                                     "further still/until it no longer fits the window.txt"));
    j.logWithIconName(QStringLiteral("gem_okay.png"), "Added");
    RVRaiseFileSystemError(5);
  };
  ASSERT_TRUE(CVNRunToEnd(job));

  job->showLogWindow();
  ASSERT_TRUE(CVNSpinUntil([&] { return window->isVisible(); }));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("/tmp/out.zip"));
  CVNLogView* view = window->logView();
  ASSERT_EQ(view->model()->rowCount(), 7);
  CVNSpinUntil([] { return false; }, 50);

  // Every message fits its column; every row is as high as the first.
  const QFontMetrics fm = view->fontMetrics();
  for (int i = 0; i < job->logModel()->count(); ++i)
    EXPECT_GE(view->messageColumnWidth(), fm.horizontalAdvance(job->logModel()->row(i).message));
  const int height = view->visualRect(view->model()->index(0, 0)).height();
  EXPECT_GE(height, fm.height());
  EXPECT_EQ(view->visualRect(view->model()->index(6, 0)).height(), height);

  const QString path = CVNSaveScreenshot(window, QStringLiteral("job_log_window"));
  EXPECT_FALSE(QImage(path).isNull());

  job->showLogWindow();
  EXPECT_FALSE(window->isVisible());
}

TEST(CVNLogView, FollowsTheBottomOnlyWhileTheUserStaysThere) {
  CVNLogModel model;
  CVNLogWindow window(&model);
  window.resize(400, 200);
  CVNLogView* view = window.logView();
  const auto settle = [] { CVNSpinUntil([] { return false; }, 30); };

  // Rows that came before the view was ever shown end at the bottom.
  appendRows(model, 500);
  window.show();
  settle();
  EXPECT_GT(view->verticalScrollBar()->maximum(), 0);
  EXPECT_TRUE(atBottom(*view));

  // The user scrolls up to read: new rows leave the view where it is.
  view->verticalScrollBar()->setValue(10);
  appendRows(model, 500, 500);
  settle();
  EXPECT_EQ(view->verticalScrollBar()->value(), 10);

  // Back at the bottom, the view follows again, in bursts as in one.
  view->scrollToBottom();
  for (int i = 0; i < 20; ++i) {
    appendRows(model, 50, 1000 + 50 * i);
    CVNSpinUntil([] { return false; }, 2);
  }
  settle();
  EXPECT_TRUE(atBottom(*view));
  EXPECT_TRUE(
      view->visualRect(model.index(model.count() - 1)).intersects(view->viewport()->rect()));

  // Hidden, the view lays nothing out; shown again, it is back where the user left it.
  for (const int left : {-1, 10}) {
    if (left >= 0) view->verticalScrollBar()->setValue(left);
    window.hide();
    const int maximum = view->verticalScrollBar()->maximum();
    appendRows(model, 500, model.count());
    settle();
    EXPECT_EQ(view->verticalScrollBar()->maximum(), maximum);
    window.show();
    settle();
    EXPECT_EQ(view->verticalScrollBar()->value(),
              left >= 0 ? left : view->verticalScrollBar()->maximum());
  }
}

TEST(CVNLogView, RowsWithoutImageOrArgumentStillShowTheirMessage) {
  CVNLogModel model;
  model.appendRow(rowOf("no_such_image.png", QStringLiteral("Unknown icon"), std::nullopt));
  model.appendRow(rowOf("gem_okay.png", QStringLiteral("No argument"), std::nullopt));
  model.appendRow(rowOf("gem_okay.png", QStringLiteral("Empty argument"), QString()));
  CVNLogWindow window(&model);
  window.resize(360, 120);
  window.show();
  CVNSpinUntil([] { return false; }, 30);
  EXPECT_FALSE(model.index(0).data(Qt::ToolTipRole).isValid());
  const QFontMetrics fm = window.logView()->fontMetrics();
  EXPECT_GE(window.logView()->messageColumnWidth(),
            fm.horizontalAdvance(QStringLiteral("Empty argument")));
  CVNSaveScreenshot(&window, QStringLiteral("log_rows_without_images"));
}

}  // namespace
