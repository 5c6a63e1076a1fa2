// The update check against a loopback HTTP server run by the test: what each
// reply shows, quiet and from the menu, the failures, the time-out with the
// window repainting meanwhile, no overlapping checks, and the daily schedule.
#include "app/CVNUpdateCheck.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QTranslator>
#include <QUrl>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "AppTestSupport.h"
#include "CVNBundle.h"
#include "HeldOperation.h"
#include "app/CVNAppController.h"
#include "app/CVNUserDefaults.h"
#include "jobs/CVNLocalization.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

namespace {

using namespace std::chrono_literals;

const char* const kNone = nullptr;
const char* const kUpdate = "アップデート確認:ダイアログ本文:アップデートあり";
const char* const kCurrent = "アップデート確認:ダイアログ本文:アップデートなし";
const char* const kSpecial = "アップデート確認:ダイアログ本文:特別バージョンを利用中";
const char* const kInvalid = "アップデート確認:ダイアログ本文:不正なバージョン";
const char* const kFailed = "アップデート確認:ダイアログ本文:アップデート確認失敗";
const char* const kNoConnection = "アップデート確認:ダイアログ本文:ネットワーク接続不可";
const char* const kNotHttp = "アップデート確認:ダイアログ本文:ネットワークエラー";

// Puts its own request address in place of the table's.
class AddressTable : public QTranslator {
 public:
  QString address;
  QString translate(const char* context, const char* source, const char*, int) const override {
    if (qstrcmp(context, "Corvana") == 0 && qstrcmp(source, "アップデート確認URL") == 0)
      return address;
    return {};
  }
  bool isEmpty() const override { return false; }
};

// Records what the desktop was asked to open.
class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  std::vector<QUrl> opened;
 public slots:
  void open(const QUrl& url) { opened.push_back(url); }
};

// The override pointer, as its shape or -1 when none.
int overridePointer() {
  const QCursor* cursor = QApplication::overrideCursor();
  return cursor ? static_cast<int>(cursor->shape()) : -1;
}

// A loopback HTTP server: answers every request with one status and body, or
// keeps the connection open without a word.
class Server : public QObject {
 public:
  int status = 200;
  QByteArray body;
  QByteArray headers;  // more header lines, each ending in CRLF
  bool silent = false;
  // Sends the headers, then one byte of the body at a time, never the end.
  bool drips = false;
  // Sends a body without length or end, 64 KiB at a time, until the client
  // goes away or, so that a check that reads on cannot run the test away,
  // kEndlessLimit bytes.
  bool endless = false;
  static constexpr qint64 kEndlessLimit = qint64{256} << 20;
  qint64 sent = 0;
  bool clientLeft = false;
  std::vector<QByteArray> requests;
  std::vector<int> pointers;  // the override pointer as each request came
  // Called when a request has arrived, before it is answered.
  std::function<void()> onRequest;
  // When set, the answer waits until it holds.
  std::function<bool()> answerWhen;

  Server() {
    server_.listen(QHostAddress::LocalHost);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
      }
    });
  }
  quint16 port() const { return server_.serverPort(); }

 private:
  void read(QTcpSocket* socket) {
    QByteArray& pending = pending_[socket];
    pending += socket->readAll();
    const qsizetype end = pending.indexOf("\r\n\r\n");
    if (end < 0) return;
    requests.push_back(pending.left(pending.indexOf("\r\n")));
    pointers.push_back(overridePointer());
    pending.clear();
    if (onRequest) onRequest();
    if (!silent) answerOnceDue(socket);
  }

  void answerOnceDue(QTcpSocket* socket) {
    if (!answerWhen || answerWhen()) return answer(socket);
    QTimer::singleShot(5, socket, [this, socket] { answerOnceDue(socket); });
  }

  void answer(QTcpSocket* socket) {
    if (endless) {
      socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n");
      const auto more = [this, socket] {
        if (socket->bytesToWrite() > 0) return;
        if (sent >= kEndlessLimit) return socket->disconnectFromHost();
        sent += socket->write(QByteArray(64 * 1024, '0'));
      };
      connect(socket, &QTcpSocket::bytesWritten, socket, more);
      connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        clientLeft = clientLeft || e == QAbstractSocket::RemoteHostClosedError;
      });
      more();
      return;
    }
    if (drips) {
      socket->write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
      auto* drip = new QTimer(socket);
      connect(drip, &QTimer::timeout, socket, [socket] { socket->write("0"); });
      drip->start(20);
      // Enough to tell a check that waits for it; a test that hangs tells nothing.
      QTimer::singleShot(3000, socket, [socket] { socket->abort(); });
      return;
    }
    socket->write("HTTP/1.1 " + QByteArray::number(status) + " Reason\r\n" + headers +
                  "Content-Length: " + QByteArray::number(body.size()) +
                  "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
  }

  QTcpServer server_;
  std::map<QTcpSocket*, QByteArray> pending_;
};

// An alert as the user saw it.
struct Alert {
  QString title;
  QString text;
  QStringList buttons;
  Qt::WindowModality modality;
  int pointer;  // the override pointer under it
};

class UpdateCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    warnings_.clear();
    previousHandler_ = qInstallMessageHandler(&recordWarning);
    CVNUseScratchUserDefaults();
    table_.address = QStringLiteral("http://127.0.0.1:%1/update?version=%@").arg(server_.port());
    QCoreApplication::installTranslator(&table_);
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder_, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder_, "open");
    // Answers every alert that shows, with the button named `answer_`.
    QObject::connect(&answerer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || box == answered_) return;
      answered_ = box;
      Alert alert{
          box->text(), box->informativeText(), {}, box->windowModality(), overridePointer()};
      for (QAbstractButton* button : box->buttons()) alert.buttons << button->text();
      alerts_.push_back(alert);
      if (!screenshot_.isEmpty()) CVNSaveScreenshot(box, screenshot_);
      QAbstractButton* chosen = box->buttons().value(0);
      for (QAbstractButton* button : box->buttons()) {
        if (answer_ && button->text() == CVNLocalizedString(answer_)) chosen = button;
      }
      if (onAlert_) {
        onAlert_(box, chosen);
        return;
      }
      QTimer::singleShot(0, chosen, &QAbstractButton::click);
    });
    answerer_.start(5);
  }

  void TearDown() override {
    answerer_.stop();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCoreApplication::removeTranslator(&table_);
    qInstallMessageHandler(previousHandler_);
    EXPECT_EQ(warnings_, "");
  }

  // None is expected, but for what the offscreen platform says of every alert:
  // a reply read again once aborted, or inflated past its cap, makes Qt
  // complain on the terminal.
  static void recordWarning(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && !message.startsWith(QStringLiteral("This plugin")))
      warnings_ += message.toStdString() + '\n';
  }

  CVNUserDefaults& defaults() { return CVNUserDefaults::standardUserDefaults(); }
  QString lastCheckKey() const { return QString::fromLatin1(CVNLastCheckForUpdatesKey); }

  static inline std::string warnings_;  // Qt's, one a line
  QtMessageHandler previousHandler_ = nullptr;
  Server server_;
  AddressTable table_;
  UrlRecorder recorder_;
  QTimer answerer_;
  QPointer<QMessageBox> answered_;
  const char* answer_ = nullptr;
  QString screenshot_;  // saved of every alert, when named
  // In place of the click on the chosen button, when set.
  std::function<void(QMessageBox*, QAbstractButton* chosen)> onAlert_;
  std::vector<Alert> alerts_;
  CVNUpdateCheck check_;
};

struct ReplyCase {
  const char* name;
  bool quiet;
  int status;
  QByteArray body;
  const char* answer;  // the button the user takes, when the alert has two
  const char* shown;   // the alert's text key, or kNone
  int buttons;
  bool opensProductPage;
};

const char* const kLater = "アップデート確認:ボタン:後にする";
const char* const kView = "アップデート確認:ボタン:アップデート内容を見る...";

class UpdateCheckReplyTest : public UpdateCheckTest,
                             public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(UpdateCheckReplyTest, ShowsWhatTheReplyCallsFor) {
  const ReplyCase& c = GetParam();
  server_.status = c.status;
  server_.body = c.body;
  answer_ = c.answer;
  check_._isUpdated(c.quiet);

  ASSERT_EQ(server_.requests.size(), 1u);
  EXPECT_EQ(server_.requests[0],
            "GET /update?version=" + QByteArray(CVNBundleVersion.data()) + " HTTP/1.1");
  // Busy while the check waits and only then.
  EXPECT_EQ(server_.pointers[0], Qt::WaitCursor);
  EXPECT_EQ(overridePointer(), -1);
  if (!c.shown) {
    EXPECT_TRUE(alerts_.empty()) << alerts_.front().text.toStdString();
  } else {
    ASSERT_EQ(alerts_.size(), 1u);
    const Alert& alert = alerts_.front();
    EXPECT_EQ(alert.text, CVNLocalizedString(c.shown));
    EXPECT_EQ(alert.title,
              CVNLocalizedString("アップデート確認:ダイアログ件名:アップデートを確認"));
    EXPECT_EQ(alert.modality, Qt::ApplicationModal);
    EXPECT_EQ(alert.pointer, -1);
    EXPECT_EQ(alert.buttons.size(), c.buttons);
    if (c.buttons == 2) {
      EXPECT_TRUE(alert.buttons.contains(CVNLocalizedString(kLater)));
      EXPECT_TRUE(alert.buttons.contains(CVNLocalizedString(kView)));
    }
  }
  if (c.opensProductPage) {
    ASSERT_EQ(recorder_.opened.size(), 1u);
    EXPECT_EQ(recorder_.opened[0], QUrl(CVNLocalizedString("製品URL")));
  } else {
    EXPECT_TRUE(recorder_.opened.empty());
  }
  EXPECT_FALSE(CVNUpdateCheck::isChecking());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, UpdateCheckReplyTest,
    ::testing::Values(
        ReplyCase{"QuietUpdateViewed", true, 200, "5", kView, kUpdate, 2, true},
        ReplyCase{"QuietUpdateLater", true, 200, "5", kLater, kUpdate, 2, false},
        ReplyCase{"QuietCurrent", true, 200, "0", nullptr, kNone, 0, false},
        ReplyCase{"QuietSpecial", true, 200, "-1", nullptr, kNone, 0, false},
        ReplyCase{"MenuCurrent", false, 200, "0", nullptr, kCurrent, 1, false},
        ReplyCase{"MenuSpecial", false, 200, "-1", nullptr, kSpecial, 1, false},
        ReplyCase{"QuietInvalidViewed", true, 200, "-2", kView, kInvalid, 2, true},
        ReplyCase{"MenuInvalidLater", false, 200, "-2", kLater, kInvalid, 2, false},
        ReplyCase{"MenuUpdateViewed", false, 200, "1", kView, kUpdate, 2, true},
        ReplyCase{"LeadingSpaces", false, 200, "  7", kLater, kUpdate, 2, false},
        ReplyCase{"LineBreaksAndSign", false, 200, "\r\n+3\r\n", kLater, kUpdate, 2, false},
        ReplyCase{"DigitsThenText", false, 200, "12abc", kLater, kUpdate, 2, false},
        ReplyCase{"EmptyBody", false, 200, "", nullptr, kCurrent, 1, false},
        ReplyCase{"Letters", false, 200, "abc", nullptr, kCurrent, 1, false},
        ReplyCase{"SpaceInsideTheSign", false, 200, "- 3", nullptr, kCurrent, 1, false},
        ReplyCase{"InvalidUtf8", false, 200, "5\xff", nullptr, kCurrent, 1, false},
        ReplyCase{"QuietInvalidUtf8", true, 200, "\xc3", nullptr, kNone, 0, false},
        ReplyCase{"Menu404", false, 404, "5", nullptr, kFailed, 1, false},
        ReplyCase{"Menu410", false, 410, "", nullptr, kFailed, 1, false},
        ReplyCase{"Menu500", false, 500, "5", nullptr, kFailed, 1, false},
        ReplyCase{"Menu204", false, 204, "", nullptr, kFailed, 1, false},
        ReplyCase{"Quiet404", true, 404, "5", nullptr, kNone, 0, false},
        ReplyCase{"Quiet500", true, 500, "-2", nullptr, kNone, 0, false},
        // The longest reply read is 64 KiB; a longer one is a failed check.
        ReplyCase{"AtTheCap", false, 200, QByteArray(65535, ' ') + "5", kLater, kUpdate, 2, false},
        ReplyCase{"PastTheCap", false, 200, QByteArray(65536, ' ') + "5", nullptr, kFailed, 1,
                  false},
        ReplyCase{"QuietPastTheCap", true, 200, "5" + QByteArray(65536, ' '), nullptr, kNone, 0,
                  false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateCheckVersion, ReadsTheLeadingNumberClampedTo32Bits) {
  const struct {
    QByteArray body;
    int32_t n;
  } cases[] = {
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"99999999999999999999999", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-2147483649", -2147483647 - 1},
      {"\t\v\f 42", 42},
      {"\xe3\x80\x80"
       "8",
       8},                  // ideographic space
      {"\xef\xbc\x95", 0},  // fullwidth digit five
      {"+", 0},
      {"-", 0},
      {"--1", 0},
      {"0x10", 0},
      {"007", 7},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CVNUpdateCheck::versionFromReply(c.body), c.n) << c.body.toStdString();
}

TEST_F(UpdateCheckTest, ARefusedConnectionIsNoConnection) {
  quint16 closedPort;
  {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    closedPort = closed.serverPort();
  }
  table_.address = QStringLiteral("http://127.0.0.1:%1/update?version=%@").arg(closedPort);
  check_._isUpdated(true);
  EXPECT_TRUE(alerts_.empty());
  check_._isUpdated(false);
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].text, CVNLocalizedString(kNoConnection));
  EXPECT_EQ(alerts_[0].buttons.size(), 1);
}

TEST_F(UpdateCheckTest, ADataAddressIsNoHttpResponse) {
  table_.address = QStringLiteral("data:text/plain,5?%@");
  check_._isUpdated(true);
  EXPECT_TRUE(alerts_.empty());
  check_._isUpdated(false);
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].text, CVNLocalizedString(kNotHttp));
}

// Counts its paints.
class PaintCounter : public QWidget {
 public:
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent*) override {
    ++paints;
    QPainter(this).fillRect(rect(), Qt::white);
  }
};

TEST_F(UpdateCheckTest, ASilentServerEndsAtTheTimeOutWhileTheWindowRepaintsAndJobsGoOn) {
  server_.silent = true;
  check_.setTransferTimeout(400ms);
  PaintCounter window;
  window.resize(200, 100);
  window.show();
  ASSERT_TRUE(CVNSpinUntil([&] { return window.paints > 0; }));

  int paintsWhileWaiting = 0;
  std::atomic<bool> workerCallRan = false;
  std::thread worker;
  server_.onRequest = [&] {
    const int before = window.paints;
    QTimer::singleShot(50, &window, [&window] { window.update(); });
    QTimer::singleShot(150, &window, [&, before] { paintsWhileWaiting = window.paints - before; });
    // A job's call to the main thread, as a job posts it from its worker.
    worker = std::thread([&] {
      QMetaObject::invokeMethod(
          &window, [&] { workerCallRan = true; }, Qt::QueuedConnection);
    });
  };

  QElapsedTimer elapsed;
  elapsed.start();
  check_._isUpdated(false);
  const qint64 waited = elapsed.elapsed();
  if (worker.joinable()) worker.join();

  ASSERT_EQ(server_.requests.size(), 1u);
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].text, CVNLocalizedString(kNoConnection));
  EXPECT_EQ(server_.pointers[0], Qt::WaitCursor);
  EXPECT_EQ(alerts_[0].pointer, -1);
  EXPECT_GE(waited, 300);  // timers may fire a little early
  EXPECT_LT(waited, 10000);
  EXPECT_GT(paintsWhileWaiting, 0);
  EXPECT_TRUE(workerCallRan);
}

TEST_F(UpdateCheckTest, AServerThatKeepsSendingStillEndsAtTheTimeOut) {
  server_.drips = true;
  check_.setTransferTimeout(400ms);
  QElapsedTimer elapsed;
  elapsed.start();
  check_._isUpdated(false);
  EXPECT_LT(elapsed.elapsed(), 2500);
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].text, CVNLocalizedString(kNoConnection));
}

// The peak resident size of the process so far, in KiB.
long peakResidentKiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST_F(UpdateCheckTest, AReplyWithoutEndIsAFailedCheckAtOnceInFlatMemory) {
  server_.endless = true;
  ASSERT_EQ(check_.transferTimeout(), CVNUpdateCheck::kDefaultTransferTimeout);
  const long peakBefore = peakResidentKiB();
  QElapsedTimer elapsed;
  elapsed.start();
  check_._isUpdated(false);
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].text, CVNLocalizedString(kFailed));
  // The check hung up: the server did not stop at its own limit.
  EXPECT_TRUE(CVNSpinUntil([&] { return server_.clientLeft; })) << server_.sent << " bytes sent";
  EXPECT_LT(server_.sent, Server::kEndlessLimit / 4);
  EXPECT_LT(peakResidentKiB() - peakBefore, 32 * 1024);
  // Long before the time-out that bounds every check.
  EXPECT_LT(elapsed.elapsed(), 15000);
}

// A gzip stream of 1 MiB that inflates to 1 GiB of zeros and more: one
// deflated MiB, which refers to nothing before it, 1024 times over, unended.
QByteArray gzipOfOneGiBOfZeros() {
  QByteArray zeros(1 << 20, '\0'), block(2048, '\0');
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  z.next_in = reinterpret_cast<Bytef*>(zeros.data());
  z.avail_in = static_cast<uInt>(zeros.size());
  z.next_out = reinterpret_cast<Bytef*>(block.data());
  z.avail_out = static_cast<uInt>(block.size());
  deflate(&z, Z_FULL_FLUSH);
  block.truncate(static_cast<qsizetype>(z.total_out));
  deflateEnd(&z);
  return QByteArray::fromHex("1f8b0800000000000003") + block.repeated(1024);
}

TEST_F(UpdateCheckTest, ACompressedReplyCountsWhatArrivesAgainstTheCap) {
  server_.body = gzipOfOneGiBOfZeros();
  server_.headers = "Content-Encoding: gzip\r\n";
  check_.setTransferTimeout(3000ms);
  QElapsedTimer elapsed;
  elapsed.start();
  check_._isUpdated(false);
  EXPECT_LT(elapsed.elapsed(), 1000);
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].text, CVNLocalizedString(kFailed));
}

TEST_F(UpdateCheckTest, ACheckDestroyedWhileItWaitsReturnsAtOnceAndGivesThePointerBack) {
  server_.silent = true;
  auto* doomed = new CVNUpdateCheck;
  doomed->setTransferTimeout(60000ms);
  bool returned = false;
  QObject::connect(doomed, &CVNUpdateCheck::checkDidReturn, [&] { returned = true; });
  server_.onRequest = [&] { QTimer::singleShot(0, [doomed] { delete doomed; }); };
  // A wait that outlived its check would never end; this ends it and fails.
  bool stuck = false;
  {
    const QObject watchdog;
    QTimer::singleShot(5000, &watchdog, [&] {
      stuck = true;
      QCoreApplication::exit(1);
    });
    doomed->_isUpdated(false);
  }
  EXPECT_FALSE(stuck);
  EXPECT_EQ(server_.requests.size(), 1u);
  EXPECT_TRUE(alerts_.empty());
  EXPECT_FALSE(returned);
  EXPECT_FALSE(CVNUpdateCheck::isChecking());
  EXPECT_EQ(overridePointer(), -1);
}

TEST_F(UpdateCheckTest, AQuietCheckAtTheTimeOutShowsNothing) {
  server_.silent = true;
  check_.setTransferTimeout(200ms);
  check_._isUpdated(true);
  EXPECT_EQ(server_.requests.size(), 1u);
  EXPECT_TRUE(alerts_.empty());
  EXPECT_EQ(server_.pointers[0], Qt::WaitCursor);
  EXPECT_EQ(overridePointer(), -1);
}

TEST_F(UpdateCheckTest, ChecksNeverOverlap) {
  server_.silent = true;
  check_.setTransferTimeout(400ms);
  CVNUpdateCheck other;
  bool secondReturned = false;
  bool checkingMeanwhile = false;
  server_.onRequest = [&] {
    QTimer::singleShot(0, [&] {
      checkingMeanwhile = CVNUpdateCheck::isChecking();
      other.checkForUpdates();
      check_.checkForUpdates();
      secondReturned = true;
    });
  };
  check_._isUpdated(false);
  CVNSpinUntil([] { return false; }, 100);
  EXPECT_TRUE(checkingMeanwhile);
  EXPECT_TRUE(secondReturned);
  EXPECT_EQ(server_.requests.size(), 1u);
  EXPECT_EQ(alerts_.size(), 1u);
  EXPECT_FALSE(CVNUpdateCheck::isChecking());
}

TEST_F(UpdateCheckTest, AlertsSitOverTheWindowAndOutliveItSafely) {
  server_.body = "6";
  auto* window = new QWidget;
  window->show();
  check_.setWindow(window);
  QWidget* parentSeen = nullptr;
  onAlert_ = [&](QMessageBox* box, QAbstractButton*) {
    parentSeen = box->parentWidget();
    QTimer::singleShot(0, window, [window] { delete window; });
  };
  check_.checkForUpdates();
  EXPECT_EQ(parentSeen, window);
  EXPECT_EQ(alerts_.size(), 1u);
  EXPECT_TRUE(recorder_.opened.empty());
  EXPECT_EQ(check_.window(), nullptr);
}

TEST(UpdateCheckSchedule, IsDueWhenMissingOrMoreThanADayOld) {
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const struct {
    const char* name;
    QVariant last;
    bool due;
  } cases[] = {
      {"missing", QVariant(), true},
      {"not a date", QVariant(QStringLiteral("yesterday")), true},
      {"86401 s old", now.addSecs(-86401), true},
      {"86400.001 s old", now.addMSecs(-86400001), true},
      {"exactly 86400 s old", now.addSecs(-86400), false},
      {"an hour old", now.addSecs(-3600), false},
      {"now", now, false},
      {"in the future", now.addSecs(86400 * 30), false},
      {"two days old in another zone", now.addDays(-2).toLocalTime(), true},
  };
  for (const auto& c : cases) EXPECT_EQ(CVNUpdateCheck::isDue(c.last, now), c.due) << c.name;
}

TEST_F(UpdateCheckTest, TheLaunchCheckStoresTheDateOnDiskBeforeItsRequest) {
  server_.body = "0";
  std::optional<QVariant> onDisk;
  server_.onRequest = [&] {
    QSettings file(defaults().settings().fileName(), QSettings::IniFormat);
    onDisk = file.value(lastCheckKey());
  };
  const QDateTime before = QDateTime::currentDateTimeUtc();
  check_.checkForUpdatesIfDue();

  ASSERT_EQ(server_.requests.size(), 1u);
  ASSERT_TRUE(onDisk.has_value());
  EXPECT_GE(onDisk->toDateTime(), before);
  EXPECT_LE(onDisk->toDateTime(), QDateTime::currentDateTimeUtc());
  EXPECT_TRUE(alerts_.empty());

  // The next launch within the day asks nothing.
  check_.checkForUpdatesIfDue();
  EXPECT_EQ(server_.requests.size(), 1u);
}

TEST_F(UpdateCheckTest, TheLaunchCheckFollowsTheStoredDate) {
  const QDateTime now = QDateTime::currentDateTimeUtc();
  const struct {
    const char* name;
    QDateTime last;
    bool asks;
  } cases[] = {
      {"two days old", now.addDays(-2), true},
      {"an hour old", now.addSecs(-3600), false},
      {"in the future", now.addDays(3), false},
  };
  for (const auto& c : cases) {
    server_.requests.clear();
    defaults().setObject(c.last, lastCheckKey());
    check_.checkForUpdatesIfDue();
    EXPECT_EQ(server_.requests.size(), c.asks ? 1u : 0u) << c.name;
    const QDateTime stored = defaults().objectForKey(lastCheckKey()).toDateTime();
    if (c.asks)
      EXPECT_GE(stored, now) << c.name;
    else
      EXPECT_EQ(stored, c.last) << c.name;
  }
}

TEST_F(UpdateCheckTest, TheLaunchCheckStoresTheDateEvenWhenItFails) {
  server_.status = 500;
  check_.checkForUpdatesIfDue();
  EXPECT_EQ(server_.requests.size(), 1u);
  EXPECT_TRUE(alerts_.empty());
  EXPECT_TRUE(defaults().objectForKey(lastCheckKey()).toDateTime().isValid());
}

TEST_F(UpdateCheckTest, TheMenuCommandNeitherReadsNorStoresTheDate) {
  server_.body = "0";
  defaults().setObject(QDateTime::currentDateTimeUtc(), lastCheckKey());
  const QVariant stored = defaults().objectForKey(lastCheckKey());
  check_.checkForUpdates();
  EXPECT_EQ(server_.requests.size(), 1u);
  EXPECT_EQ(defaults().objectForKey(lastCheckKey()), stored);
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].text, CVNLocalizedString(kCurrent));
}

TEST_F(UpdateCheckTest, TheControllerRunsTheLaunchCheckOnceTheLoopTurnsAndTheMenuCommand) {
  server_.body = "3";
  answer_ = kLater;
  CVNAppController controller;
  CVNUpdateCheck* installed = CVNUpdateCheck::install(&controller);
  EXPECT_EQ(installed->parent(), &controller);
  EXPECT_EQ(installed->window(), controller.window());
  EXPECT_TRUE(server_.requests.empty());

  ASSERT_TRUE(CVNSpinUntil([&] { return alerts_.size() == 1; }));
  EXPECT_EQ(alerts_[0].text, CVNLocalizedString(kUpdate));
  EXPECT_TRUE(defaults().objectForKey(lastCheckKey()).toDateTime().isValid());

  server_.body = "0";
  controller.checkForUpdates();
  EXPECT_EQ(server_.requests.size(), 2u);
  ASSERT_EQ(alerts_.size(), 2u);
  EXPECT_EQ(alerts_[1].text, CVNLocalizedString(kCurrent));
}

TEST_F(UpdateCheckTest, AQuitBeforeTheLoopTurnsLeavesTheLaunchCheckToTheNextLaunch) {
  server_.body = "3";
  CVNAppController controller;
  controller.awakeFromNib();
  int terminations = 0;
  controller.setTerminationHandler([&] { ++terminations; });
  CVNUpdateCheck::install(&controller);
  // As when the launch's job has finished before the first turn: no job left.
  controller.terminate();
  ASSERT_EQ(terminations, 1);
  CVNSpinUntil([] { return false; }, 200);
  EXPECT_TRUE(server_.requests.empty());
  EXPECT_TRUE(alerts_.empty());
  EXPECT_FALSE(defaults().objectForKey(lastCheckKey()).isValid());
}

// --- The automatic quit and the launch-time check ---------------------------

// When the last launch job finishes; after it, with the alert still up, a
// further job may finish with a warning.
enum class Finish { WhileWaiting, WhileTheAlertIsUp, ThenAWarnedJob };

struct LaunchCheckCase {
  const char* name;
  QByteArray reply;
  Finish when;
  bool quits;
  size_t alerts;
};

// A program started with a Zip file, its launch-time check due: the launch
// job and a held one are in the queue, and the held one finishes while the
// check is under way.
class LaunchCheckTest : public UpdateCheckTest,
                        public ::testing::WithParamInterface<LaunchCheckCase> {
 protected:
  void SetUp() override {
    UpdateCheckTest::SetUp();
    controller_.awakeFromNib();
    controller_.setTerminationHandler([this] {
      ++terminations_;
      checkingAtTermination_ = CVNUpdateCheck::isChecking();
      alertsAtTermination_ = alerts_.size();
    });
    QObject::connect(&controller_, &CVNAppController::attentionRequested,
                     [this] { ++finishesHandled_; });
    const std::string zip = dir_ / "t.zip";
    corvana_test::writeFile(zip, corvana_test::TestZipBuilder().add("a.txt", "payload").archive());
    controller_.openFiles({zip});
    controller_.applicationDidFinishLaunching();
    held_ = addHeld();
  }

  void TearDown() override {
    for (const auto& held : helds_) held->release();
    UpdateCheckTest::TearDown();
  }

  std::shared_ptr<HeldOperation> addHeld() {
    auto held = std::make_shared<HeldOperation>();
    helds_.push_back(held);
    controller_.addOperation(held);
    return held;
  }

  // Runs `then` once the controller has taken `count` finishes. A job
  // cancelled by a quit brings no attention request; the deadline keeps such
  // a failure from leaving the alert up for good.
  void waitForFinishes(int count, const std::function<void()>& then) {
    auto* poll = new QTimer(&controller_);
    const QDeadlineTimer deadline(5000);
    QObject::connect(poll, &QTimer::timeout, [this, poll, count, then, deadline] {
      if (finishesHandled_ < count && !deadline.hasExpired()) return;
      poll->stop();
      poll->deleteLater();
      then();
    });
    poll->start(5);
  }

  corvana_test::TempDir dir_;
  CVNAppController controller_;
  std::vector<std::shared_ptr<HeldOperation>> helds_;
  std::shared_ptr<HeldOperation> held_;
  int finishesHandled_ = 0;
  int terminations_ = 0;
  bool checkingAtTermination_ = false;
  size_t alertsAtTermination_ = 0;
};

TEST_P(LaunchCheckTest, TheAutomaticQuitWaitsForTheCheckAndItsAnswer) {
  const LaunchCheckCase& c = GetParam();
  server_.body = c.reply;
  answer_ = kLater;
  if (c.when == Finish::WhileWaiting) {
    server_.onRequest = [&] { held_->release(); };
    server_.answerWhen = [&] { return finishesHandled_ >= 2; };
  } else {
    onAlert_ = [&](QMessageBox*, QAbstractButton* chosen) {
      held_->release();
      waitForFinishes(2, [&, later = QPointer<QAbstractButton>(chosen)] {
        const auto answer = [later] {
          if (later) later->click();
        };
        if (c.when != Finish::ThenAWarnedJob) return answer();
        addHeld()->release(/*warn=*/true);
        waitForFinishes(3, answer);
      });
    };
  }
  bool returned = false;
  CVNUpdateCheck* check = CVNUpdateCheck::install(&controller_);
  // Bounds the wait for a finish that a quit cancelled.
  check->setTransferTimeout(5000ms);
  QObject::connect(check, &CVNUpdateCheck::checkDidReturn, [&] { returned = true; });
  ASSERT_TRUE(CVNSpinUntil([&] { return returned; }, 20000));
  EXPECT_EQ(alerts_.size(), c.alerts);
  EXPECT_TRUE(defaults().objectForKey(lastCheckKey()).toDateTime().isValid());
  if (c.quits) {
    ASSERT_TRUE(CVNSpinUntil([&] { return terminations_ > 0; }));
    EXPECT_FALSE(checkingAtTermination_);
    EXPECT_EQ(alertsAtTermination_, c.alerts);
  } else {
    CVNSpinUntil([] { return false; }, 300);
  }
  EXPECT_EQ(terminations_, c.quits ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LaunchCheckTest,
    ::testing::Values(
        LaunchCheckCase{"WhileWaitingForAQuietReply", "0", Finish::WhileWaiting, true, 0},
        LaunchCheckCase{"WhileWaitingForAnUpdate", "5", Finish::WhileWaiting, true, 1},
        LaunchCheckCase{"WhileTheAlertIsUp", "5", Finish::WhileTheAlertIsUp, true, 1},
        LaunchCheckCase{"AWarnedJobFinishesLast", "5", Finish::ThenAWarnedJob, false, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// The alert a person sees when an update exists, in both languages.
class UpdateCheckScreenshotTest : public UpdateCheckTest,
                                  public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    CVNInstallLocalization(QString::fromLatin1(GetParam()));
    UpdateCheckTest::SetUp();
  }
  void TearDown() override {
    UpdateCheckTest::TearDown();
    CVNInstallLocalization(QStringLiteral("en"));
  }
};

TEST_P(UpdateCheckScreenshotTest, UpdateAvailable) {
  server_.body = "4";
  answer_ = kLater;
  screenshot_ = QStringLiteral("app-update-available-%1").arg(QLatin1String(GetParam()));
  check_.checkForUpdates();
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].text, CVNLocalizedString(kUpdate));
  EXPECT_NE(alerts_[0].text, QString::fromUtf8(kUpdate));  // the table has it
}

INSTANTIATE_TEST_SUITE_P(Languages, UpdateCheckScreenshotTest, ::testing::Values("en", "ja"));

}  // namespace

#include "CVNUpdateCheck_test.moc"
