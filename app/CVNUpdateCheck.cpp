#include "app/CVNUpdateCheck.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <limits>
#include <memory>
#include <variant>

#include "CVNBundle.h"
#include "app/CVNAppController.h"
#include "app/CVNUserDefaults.h"
#include "jobs/CVNLocalization.h"

namespace {

bool gChecking = false;  // main thread only

// The longest reply read. The answer is one number; anything longer is no
// answer, and reading it on would only fill memory.
constexpr qint64 kMaxReplySize = 64 * 1024;

// The outcome of the request: a failure's text key, or the number of the reply.
using Outcome = std::variant<const char*, int32_t>;

constexpr const char* kNoConnection =
    CVN_KEY("アップデート確認:ダイアログ本文:ネットワーク接続不可");
constexpr const char* kNotHttp = CVN_KEY("アップデート確認:ダイアログ本文:ネットワークエラー");
constexpr const char* kFailed = CVN_KEY("アップデート確認:ダイアログ本文:アップデート確認失敗");

// What the finished `reply` brought, its body read as `body`; `tooLong` when
// the body was cut off at kMaxReplySize.
Outcome outcomeOf(QNetworkReply& reply, const QByteArray& body, bool tooLong) {
  if (tooLong) return kFailed;
  const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
  const QNetworkReply::NetworkError error = reply.error();
  if (!status.isValid()) return error != QNetworkReply::NoError ? kNoConnection : kNotHttp;
  // Below ContentAccessDenied the errors are the transport's: the body was cut
  // short, so there is nothing to read even when the status came through.
  const bool transportFailed =
      error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
  if (transportFailed || (status.toInt() == 200 && error != QNetworkReply::NoError))
    return kNoConnection;
  if (status.toInt() != 200) return kFailed;
  return CVNUpdateCheck::versionFromReply(body);
}

// The pointer shows the program busy while it lives.
class BusyPointer {
 public:
  BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyPointer() { QApplication::restoreOverrideCursor(); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;
};

// Runs an application-modal alert over `window` to its end; answers whether
// the second of two buttons was chosen.
bool runAlert(QWidget* window, const char* textKey, bool twoButtons) {
  // On the heap: the window, and the alert with it, may go while the alert runs.
  QPointer<QMessageBox> alert = new QMessageBox(window);
  QMessageBox& box = *alert;
  box.setWindowModality(Qt::ApplicationModal);
  // Laid out as the application's other alerts: the title as the headline.
  box.setWindowTitle(QStringLiteral("Corvana"));
  box.setText(CVNLocalizedString("アップデート確認:ダイアログ件名:アップデートを確認"));
  box.setInformativeText(CVNLocalizedString(textKey));
  // Wide enough that a sentence does not break after every few words.
  box.setStyleSheet(QStringLiteral(
      "QLabel#qt_msgbox_label, QLabel#qt_msgbox_informativelabel { min-width: 22em; }"));
  if (!QApplication::windowIcon().isNull())
    box.setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
  QPushButton* second = nullptr;
  if (twoButtons) {
    QPushButton* first = box.addButton(CVNLocalizedString("アップデート確認:ボタン:後にする"),
                                       QMessageBox::RejectRole);
    second = box.addButton(CVNLocalizedString("アップデート確認:ボタン:アップデート内容を見る..."),
                           QMessageBox::AcceptRole);
    box.setDefaultButton(first);
    box.setEscapeButton(first);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
  }
  box.exec();
  if (!alert) return false;
  const bool chosen = second && box.clickedButton() == second;
  delete alert.data();
  return chosen;
}

}  // namespace

CVNUpdateCheck::CVNUpdateCheck(QObject* parent)
    : QObject(parent), manager_(new QNetworkAccessManager(this)) {}

CVNUpdateCheck::~CVNUpdateCheck() = default;

CVNUpdateCheck* CVNUpdateCheck::install(CVNAppController* controller) {
  auto* check = new CVNUpdateCheck(controller);
  check->setWindow(controller->window());
  connect(controller, &CVNAppController::checkForUpdatesRequested, check,
          &CVNUpdateCheck::checkForUpdates);
  connect(check, &CVNUpdateCheck::checkDidReturn, controller,
          &CVNAppController::updateCheckDidReturn);
  // Launch finishes before the event loop runs. Inside it, a quit asked for
  // while the check waits ends every loop; before it, the quit would be lost.
  // A quit that comes first leaves the check, its date unstored, to the next
  // launch: started now, it would store the date and then be cut off.
  auto* launchCheck = new QTimer(check);
  launchCheck->setSingleShot(true);
  connect(launchCheck, &QTimer::timeout, check, &CVNUpdateCheck::checkForUpdatesIfDue);
  connect(controller, &CVNAppController::willTerminate, launchCheck, &QTimer::stop);
  launchCheck->start(0);
  return check;
}

void CVNUpdateCheck::checkForUpdates() { _isUpdated(false); }

void CVNUpdateCheck::checkForUpdatesIfDue() {
  if (gChecking) return;
  CVNUserDefaults& defaults = CVNUserDefaults::standardUserDefaults();
  const QString key = QString::fromLatin1(CVNLastCheckForUpdatesKey);
  if (!isDue(defaults.objectForKey(key), QDateTime::currentDateTimeUtc())) return;
  // Stored before the request, so a check that hangs or fails still waits a day.
  defaults.setObject(QDateTime::currentDateTimeUtc(), key);
  defaults.settings().sync();
  _isUpdated(true);
}

bool CVNUpdateCheck::isDue(const QVariant& lastCheck, const QDateTime& now) {
  if (!lastCheck.isValid() || lastCheck.isNull()) return true;
  const QDateTime last = lastCheck.toDateTime();
  // A value that is no date counts as missing rather than blocking the check for good.
  if (!last.isValid()) return true;
  return now.addSecs(-kCheckInterval) > last;
}

bool CVNUpdateCheck::isChecking() { return gChecking; }

void CVNUpdateCheck::_isUpdated(bool quiet) {
  if (gChecking) return;
  // The check may be destroyed while it waits; then nothing is left to report.
  const QPointer<CVNUpdateCheck> self(this);
  {
    gChecking = true;
    struct Clear {
      ~Clear() { gChecking = false; }
    } clear;
    runCheck(quiet);
  }
  if (self) emit checkDidReturn();
}

void CVNUpdateCheck::runCheck(bool quiet) {
  const QString version =
      QString::fromUtf8(CVNBundleVersion.data(), static_cast<qsizetype>(CVNBundleVersion.size()));
  QNetworkRequest request(
      QUrl(CVNStringWithFormat(CVNLocalizedString("アップデート確認URL"), {version})));
  const int timeout = static_cast<int>(transferTimeout_.count());
  request.setTransferTimeout(timeout);
  // Asked for uncompressed, which also keeps Qt from inflating on its own, so
  // that the cap below counts the bytes that arrive: a small compressed body
  // may stand for gigabytes. A body compressed anyway is read as it came.
  request.setRawHeader("Accept-Encoding", "identity");
  std::unique_ptr<QNetworkReply> reply(manager_->get(request));
  // Bounds what the transfer buffers before the body below takes it.
  reply->setReadBufferSize(kMaxReplySize + 1);

  QByteArray body;
  bool tooLong = false;
  connect(reply.get(), &QNetworkReply::readyRead, reply.get(), [&] {
    body += reply->read(kMaxReplySize + 1 - body.size());
    if (body.size() <= kMaxReplySize) return;
    tooLong = true;
    reply->abort();
  });

  {
    // The transfer time-out restarts with every byte; this one bounds the whole wait.
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, reply.get(), &QNetworkReply::abort);
    deadline.start(timeout);

    // Clicks and keys wait until the check is over, as they would behind a
    // blocking request, but repaints and the jobs' calls to the main thread go on.
    const BusyPointer busy;
    QEventLoop loop;
    connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // Destroying the check takes its manager and the reply with it, and no
    // finished() follows.
    connect(reply.get(), &QObject::destroyed, &loop, [&] {
      (void)reply.release();
      loop.quit();
    });
    if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
  if (!reply) return;
  if (!reply->isFinished()) {
    // The application is leaving its event loops: nothing more to show.
    reply->abort();
    return;
  }
  // What arrived with the last signal but was not read yet; an aborted reply is
  // closed and has nothing more.
  if (!tooLong && reply->isOpen()) body += reply->read(kMaxReplySize + 1 - body.size());
  tooLong = tooLong || body.size() > kMaxReplySize;

  const Outcome outcome = outcomeOf(*reply, body, tooLong);
  reply.reset();
  if (const auto* failure = std::get_if<const char*>(&outcome)) {
    if (!quiet) runAlert(window_, *failure, false);
    return;
  }
  const int32_t n = std::get<int32_t>(outcome);
  const char* textKey = nullptr;
  bool twoButtons = false;
  if (n > 0) {
    textKey = CVN_KEY("アップデート確認:ダイアログ本文:アップデートあり");
    twoButtons = true;
  } else if (n < -1) {
    textKey = CVN_KEY("アップデート確認:ダイアログ本文:不正なバージョン");
    twoButtons = true;
  } else if (quiet) {
    return;
  } else if (n == 0) {
    textKey = CVN_KEY("アップデート確認:ダイアログ本文:アップデートなし");
  } else {
    textKey = CVN_KEY("アップデート確認:ダイアログ本文:特別バージョンを利用中");
  }
  if (runAlert(window_, textKey, twoButtons))
    QDesktopServices::openUrl(QUrl(CVNLocalizedString("製品URL")));
}

int32_t CVNUpdateCheck::versionFromReply(const QByteArray& body) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = decoder.decode(body);
  if (decoder.hasError()) return 0;
  qsizetype i = 0;
  while (i < text.size() && text[i].isSpace()) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  // Kept one past the largest magnitude, which is enough to clamp either way.
  constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
    magnitude = std::min(kCap, magnitude * 10 + (text[i].unicode() - u'0'));
  const int64_t value = negative ? -magnitude : magnitude;
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}
