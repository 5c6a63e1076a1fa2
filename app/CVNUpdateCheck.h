// The update check: asks the update service whether a newer version exists, by
// itself at launch at most once a day and quietly, or when the user asks, and
// shows the outcome in an alert that can open the product page.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <chrono>
#include <cstdint>

class CVNAppController;
class QNetworkAccessManager;
class QWidget;

class CVNUpdateCheck : public QObject {
  Q_OBJECT

 public:
  // How long a request may wait for the service, in all.
  static constexpr std::chrono::milliseconds kDefaultTransferTimeout{30000};
  // The age at which the launch-time check is due again.
  static constexpr qint64 kCheckInterval = 86400;

  explicit CVNUpdateCheck(QObject* parent = nullptr);
  ~CVNUpdateCheck() override;

  // Gives `controller` its update check, owned by it: the menu command answers
  // its checkForUpdatesRequested(), every check that returns is reported to its
  // updateCheckDidReturn(), and the launch-time check runs on the event loop's
  // first turn unless the controller has quit by then. Call it once launch has
  // finished.
  static CVNUpdateCheck* install(CVNAppController* controller);

  // The menu command: a check that reports every outcome.
  void checkForUpdates();
  // The launch-time check: when isDue() says so for the stored
  // "LastCheckForUpdates", stores the current date there, writes the
  // preferences to disk, and then runs a quiet check whatever its outcome.
  void checkForUpdatesIfDue();
  // Whether the launch-time check is due at `now` after the one made at
  // `lastCheck`: when that is missing or no date, or more than kCheckInterval
  // seconds before `now`. A date exactly that old, younger or in the future is not.
  static bool isDue(const QVariant& lastCheck, const QDateTime& now);

  // One check. Returns once the user has answered its alert, at once when it
  // shows none, and at once when another check is under way (checks never
  // overlap). While it waits for the reply the event loop runs without user
  // input, with the busy pointer: windows repaint and jobs go on, clicks and
  // keys wait. A reply longer than 64 KiB is a failed check. A quiet check
  // shows only an update or an invalid version; failures and a current version
  // stay silent. Destroying the check while it waits ends the wait at once,
  // with nothing shown or reported. Main thread.
  void _isUpdated(bool quiet);

  // Whether a check is under way in this process.
  static bool isChecking();

  // The signed number a reply body stands for: the body read as UTF-8, leading
  // white space skipped, an optional sign and decimal digits, clamped to 32
  // bits. A body that is no valid UTF-8 or does not begin with a number gives 0.
  static int32_t versionFromReply(const QByteArray& body);

  // The window the alerts are placed over; none centres them on the screen.
  QWidget* window() const { return window_; }
  void setWindow(QWidget* window) { window_ = window; }

  std::chrono::milliseconds transferTimeout() const { return transferTimeout_; }
  void setTransferTimeout(std::chrono::milliseconds timeout) { transferTimeout_ = timeout; }

 signals:
  // A check of this object has returned, its alert answered.
  void checkDidReturn();

 private:
  void runCheck(bool quiet);

  QNetworkAccessManager* manager_;
  QPointer<QWidget> window_;
  std::chrono::milliseconds transferTimeout_ = kDefaultTransferTimeout;
};
