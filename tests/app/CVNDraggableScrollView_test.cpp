#include "app/CVNDraggableScrollView.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QUrl>

#include "AppTestFixture.h"
#include "jobs/CVNArchiveOperation.h"
#include "jobs/CVNFileURL.h"
#include "jobs/CVNUnarchiveOperation.h"

namespace {

class DropTest : public AppTest {
 protected:
  CVNDraggableScrollView* view() const { return menu_->collectionScrollView(); }
  // Drags reach a scroll area through its viewport, as the window system sends them.
  QWidget* target() const { return view()->viewport(); }

  static std::unique_ptr<QMimeData> urls(const std::vector<QUrl>& list) {
    auto mime = std::make_unique<QMimeData>();
    mime->setUrls(QList<QUrl>(list.begin(), list.end()));
    return mime;
  }
  // A drag as the window system hands it over: the URI list's own bytes, each
  // URI made from a path's bytes.
  static std::unique_ptr<QMimeData> uriList(const std::vector<std::string>& paths) {
    QByteArray list;
    for (const std::string& path : paths) list += CVNFileURLFromPath(path).toEncoded() + "\r\n";
    auto mime = std::make_unique<QMimeData>();
    mime->setData(QStringLiteral("text/uri-list"), list);
    return mime;
  }
  static QUrl file(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
  }

  bool enter(const QMimeData* mime) {
    QDragEnterEvent event(target()->rect().center(), Qt::CopyAction | Qt::MoveAction, mime,
                          Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target(), &event);
    return event.isAccepted();
  }
  void move(const QMimeData* mime) {
    QDragMoveEvent event(target()->rect().center(), Qt::CopyAction, mime, Qt::LeftButton,
                         Qt::NoModifier);
    QApplication::sendEvent(target(), &event);
  }
  void leave() {
    QDragLeaveEvent event;
    QApplication::sendEvent(target(), &event);
  }
  bool drop(const QMimeData* mime) {
    QDropEvent event(QPointF(target()->rect().center()), Qt::CopyAction, mime, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(target(), &event);
    return event.isAccepted();
  }
};

TEST_F(DropTest, FramesItselfWhileLocalFilesAreOverItAndLetsGoOnLeave) {
  auto mime = urls({file(writeZip("t.zip", {{"a.txt", "payload"}}))});
  EXPECT_FALSE(view()->isHighlighted());
  ASSERT_TRUE(enter(mime.get()));
  EXPECT_TRUE(view()->isHighlighted());
  move(mime.get());
  EXPECT_TRUE(view()->isHighlighted());
  // The frame is drawn in the highlight colour, inside the bounds.
  const QImage image = menu_->window()->grab().toImage();
  const QPoint corner = view()->mapTo(menu_->window(), QPoint(0, view()->height() / 2));
  EXPECT_EQ(image.pixelColor(corner), view()->palette().color(QPalette::Highlight));
  CVNSaveScreenshot(menu_->window(), QStringLiteral("app-main-window-drag-en"));
  leave();
  EXPECT_FALSE(view()->isHighlighted());
  EXPECT_EQ(list()->count(), 0);
}

TEST_F(DropTest, ADroppedArchiveBecomesAnExtractionJob) {
  const std::string zip = writeZip("t.zip", {{"a.txt", "payload"}});
  auto mime = urls({file(zip)});
  ASSERT_TRUE(enter(mime.get()));
  EXPECT_TRUE(drop(mime.get()));
  EXPECT_FALSE(view()->isHighlighted());
  ASSERT_EQ(list()->count(), 1);
  auto* extraction = dynamic_cast<CVNUnarchiveOperation*>(job(0).get());
  ASSERT_NE(extraction, nullptr);
  EXPECT_EQ(extraction->path(), zip);
  ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }, 20000));
  EXPECT_TRUE(corvana_test::exists(dir_ / "t/a.txt"));
}

TEST_F(DropTest, DroppedItemsReachTheSheetInTheDragsOrderAndBecomeAnArchive) {
  const std::string second = writeText("b.txt", "second");
  const std::string first = writeText("a.txt", "first");
  auto mime = urls({file(second), file(first)});
  ASSERT_TRUE(enter(mime.get()));
  EXPECT_TRUE(drop(mime.get()));
  ASSERT_TRUE(CVNSpinUntil([] { return visibleSheet() != nullptr; }));
  QDialog* sheet = visibleSheet();
  auto* table = sheet->findChild<QTableView*>();
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->model()->rowCount(), 2);
  EXPECT_EQ(table->model()->index(0, 0).data().toString().toStdString(), second);
  EXPECT_EQ(table->model()->index(1, 0).data().toString().toStdString(), first);
  auto* archive = sheet->findChild<QPushButton*>(QStringLiteral("archiveButton"));
  ASSERT_NE(archive, nullptr);
  QTest::mouseClick(archive, Qt::LeftButton);
  ASSERT_EQ(list()->count(), 1);
  EXPECT_NE(dynamic_cast<CVNArchiveOperation*>(job(0).get()), nullptr);
  ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }, 20000));
  EXPECT_TRUE(job(0)->succeeded());
  EXPECT_TRUE(corvana_test::exists(job(0)->outputPath()));
}

// Names that are not UTF-8 keep their bytes, and a sibling whose name is their
// lossy UTF-8 reading ("caf\uFFFD") is never taken for them.
constexpr const char* kReplacedSibling = "caf\xEF\xBF\xBD";

struct ByteNameCase {
  const char* name;
  const char* stem;
};

class ByteNameDropTest : public DropTest, public ::testing::WithParamInterface<ByteNameCase> {};

TEST_P(ByteNameDropTest, TheDroppedArchiveIsExtractedByItsOwnBytes) {
  const std::string stem = GetParam().stem;
  const std::string zip = writeZip(stem + ".zip", {{"a.txt", "right"}});
  const std::string sibling =
      writeZip(std::string(kReplacedSibling) + ".zip", {{"a.txt", "wrong"}});
  const corvana_test::Bytes siblingBytes = corvana_test::readFile(sibling);
  auto mime = uriList({zip});
  ASSERT_TRUE(enter(mime.get()));
  EXPECT_TRUE(drop(mime.get()));
  ASSERT_EQ(list()->count(), 1);
  auto* extraction = dynamic_cast<CVNUnarchiveOperation*>(job(0).get());
  ASSERT_NE(extraction, nullptr);
  EXPECT_EQ(extraction->path(), zip);
  ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }, 20000));
  EXPECT_TRUE(job(0)->succeeded());
  EXPECT_EQ(corvana_test::readFile(dir_ / (stem + "/a.txt")), corvana_test::bytes("right"));
  EXPECT_FALSE(corvana_test::exists(dir_ / kReplacedSibling));
  EXPECT_EQ(corvana_test::readFile(sibling), siblingBytes);
}

INSTANTIATE_TEST_SUITE_P(Cases, ByteNameDropTest,
                         ::testing::Values(ByteNameCase{"Latin1", "caf\xE9"},
                                           ByteNameCase{"InvalidUtf8", "\xFF\xFE"},
                                           ByteNameCase{"Utf8", "caf\xC3\xA9"},
                                           ByteNameCase{"Delimiters", "a b%25#1"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DropTest, ItemsWithNamesThatAreNotUtf8ReachTheArchivingJobAsTheirBytes) {
  const std::string second = writeText("caf\xE9.txt", "second");
  const std::string first = writeText("a\xFF.txt", "first");
  writeText(std::string(kReplacedSibling) + ".txt", "sibling");
  auto mime = uriList({second, first});
  ASSERT_TRUE(enter(mime.get()));
  EXPECT_TRUE(drop(mime.get()));
  ASSERT_TRUE(CVNSpinUntil([] { return visibleSheet() != nullptr; }));
  auto* archive = visibleSheet()->findChild<QPushButton*>(QStringLiteral("archiveButton"));
  ASSERT_NE(archive, nullptr);
  QTest::mouseClick(archive, Qt::LeftButton);
  ASSERT_EQ(list()->count(), 1);
  auto* archiving = dynamic_cast<CVNArchiveOperation*>(job(0).get());
  ASSERT_NE(archiving, nullptr);
  EXPECT_EQ(archiving->filenames(), (std::vector<std::string>{second, first}));
  ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }, 20000));
  EXPECT_TRUE(job(0)->succeeded());
}

TEST_F(DropTest, AUriListTakesItsCommentsAndLineEndsAsTheStandardWritesThem) {
  const std::string zip = writeZip("caf\xE9.zip", {{"a.txt", "payload"}});
  const QByteArray uri = CVNFileURLFromPath(zip).toEncoded();
  const struct {
    const char* name;
    QByteArray list;
    bool accepted;
  } cases[] = {
      {"comment first", "# from a file manager\r\n" + uri + "\r\n", true},
      {"bare line ends and no last one", "#\n" + uri, true},
      {"blank lines", "\r\n" + uri + "\r\n\r\n", true},
      {"only comments", "# " + uri + "\r\n", false},
      {"a remote URI beside it", uri + "\r\nhttps://example.com/a.zip\r\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QMimeData mime;
    mime.setData(QStringLiteral("text/uri-list"), c.list);
    EXPECT_EQ(enter(&mime), c.accepted);
    leave();
  }
  QMimeData mime;
  mime.setData(QStringLiteral("text/uri-list"), "# comment\r\n" + uri + "\r\n");
  ASSERT_TRUE(enter(&mime));
  ASSERT_TRUE(drop(&mime));
  ASSERT_EQ(list()->count(), 1);
  EXPECT_EQ(dynamic_cast<CVNUnarchiveOperation*>(job(0).get())->path(), zip);
  ASSERT_TRUE(CVNSpinUntil([&] { return allFinished(); }, 20000));
}

struct RefusedCase {
  const char* name;
  std::vector<const char*> urls;  // "local" is an existing local file
  bool text;
};

class RefusedDropTest : public DropTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedDropTest, ADragWithoutOnlyLocalFilesIsRefused) {
  std::vector<QUrl> list;
  for (const char* url : GetParam().urls) {
    list.push_back(std::string(url) == "local" ? file(writeText("a.txt"))
                                               : QUrl(QString::fromLatin1(url)));
  }
  auto mime = urls(list);
  if (GetParam().text) mime->setText(QStringLiteral("/tmp/a.zip"));
  EXPECT_FALSE(enter(mime.get()));
  EXPECT_FALSE(view()->isHighlighted());
  EXPECT_FALSE(drop(mime.get()));
  CVNSpinUntil([] { return false; }, 50);
  EXPECT_EQ(visibleSheet(), nullptr);
  EXPECT_EQ(this->list()->count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedDropTest,
    ::testing::Values(RefusedCase{"TextOnly", {}, true},
                      RefusedCase{"Remote", {"https://example.com/a.zip"}, false},
                      RefusedCase{"LocalAndRemote", {"local", "https://example.com/a.zip"}, false},
                      RefusedCase{"Empty", {}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
