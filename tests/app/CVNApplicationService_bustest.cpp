// The hand-over between launches on a session bus of this program's own: run
// under dbus-run-session (CORVANA_OWN_BUS=1), never on a desktop's bus, whose
// real Corvana would answer instead.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include "AppTestFixture.h"
#include "app/CVNApplicationService.h"
#include "jobs/CVNFileURL.h"
#include "jobs/CVNUnarchiveOperation.h"

namespace {

using corvana_test::exists;

constexpr int kLaunchTimeoutMs = 20000;

bool onOwnBus() {
  return qEnvironmentVariable("CORVANA_OWN_BUS") == QLatin1String("1") &&
         QDBusConnection::sessionBus().isConnected();
}

bool nameOwned() {
  return QDBusConnection::sessionBus().interface()->isServiceRegistered(
      CVNApplicationService::serviceName());
}

// Starts the program as a later launch with `dir`/t.zip on its command line
// and waits until it has extracted t/a.txt beside it or ended; true when the
// file is there. The event loop keeps running, so this process can answer the
// launch's calls.
bool launchExtracts(const corvana_test::TempDir& dir) {
  const std::string extracted = dir / "t/a.txt";
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(dir / "config"));
  process.setProcessEnvironment(environment);
  process.setProcessChannelMode(QProcess::ForwardedChannels);
  process.start(QStringLiteral(CORVANA_BINARY), {QString::fromStdString(dir / "t.zip")});
  CVNSpinUntil([&] { return exists(extracted) || process.state() == QProcess::NotRunning; },
               kLaunchTimeoutMs);
  const bool extractedIt = exists(extracted);
  if (process.state() != QProcess::NotRunning) {
    process.terminate();
    CVNSpinUntil([&] { return process.state() == QProcess::NotRunning; }, kLaunchTimeoutMs);
  }
  return extractedIt;
}

class HandOverTest : public AppTest {
 protected:
  void SetUp() override {
    if (!onOwnBus()) GTEST_SKIP() << "needs a session bus of its own (dbus-run-session)";
    AppTest::SetUp();
    // Requests come to a running instance, after its launch.
    controller()->applicationDidFinishLaunching();
    service_ = std::make_unique<CVNApplicationService>();
    ASSERT_TRUE(service_->registerService());
    service_->setAppController(controller());
  }
  void TearDown() override {
    AppTest::TearDown();
    service_.reset();
  }

  // Open as another client sends it, to this process's own connection, so that
  // it arrives even when the name has gone. The event loop runs meanwhile.
  static QDBusMessage open(const std::string& path) {
    QDBusConnection other =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
    QDBusMessage message = QDBusMessage::createMethodCall(
        QDBusConnection::sessionBus().baseService(), CVNApplicationService::objectPath(),
        QStringLiteral("org.freedesktop.Application"), QStringLiteral("Open"));
    message << QStringList{QString::fromLatin1(CVNFileURLFromPath(path).toEncoded())}
            << QVariantMap();
    QDBusPendingCall call = other.asyncCall(message);
    CVNSpinUntil([&] { return call.isFinished(); }, kLaunchTimeoutMs);
    return call.reply();
  }

  std::unique_ptr<CVNApplicationService> service_;
};

TEST_F(HandOverTest, NoKeepsTheNameAndAnOpenStillBringsAJob) {
  auto running = addHeld();
  ASSERT_TRUE(CVNSpinUntil([&] { return running->isExecuting(); }));
  controller()->terminate();
  ASSERT_NE(controller()->terminateAlert(), nullptr);
  // The confirmation alone decides nothing.
  EXPECT_TRUE(nameOwned());
  QTest::mouseClick(controller()->terminateAlert()->noButton(), Qt::LeftButton);
  EXPECT_TRUE(nameOwned());

  const std::string zip = writeZip("caf\xE9.zip", {{"a.txt", "payload"}});
  writeZip("caf\xEF\xBF\xBD.zip", {{"a.txt", "sibling"}});
  const QDBusMessage reply = open(zip);
  EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
  ASSERT_EQ(list()->count(), 2);
  auto* extraction = dynamic_cast<CVNUnarchiveOperation*>(job(1).get());
  ASSERT_NE(extraction, nullptr);
  EXPECT_EQ(extraction->path(), zip);
}

enum class Decision { Yes, Signal, QuitWithoutJobs, Teardown };
const char* const kDecisionNames[] = {"Yes", "Signal", "QuitWithoutJobs", "Teardown"};

class QuitDecidedTest : public HandOverTest, public ::testing::WithParamInterface<Decision> {};

TEST_P(QuitDecidedTest, TheNameGoesALateOpenIsRefusedAndALaunchRunsOnItsOwn) {
  const Decision decision = GetParam();
  const std::string zip = writeZip("t.zip", {{"a.txt", "payload"}});
  std::shared_ptr<HeldOperation> running;
  if (decision != Decision::QuitWithoutJobs) {
    running = addHeld();
    ASSERT_TRUE(CVNSpinUntil([&] { return running->isExecuting(); }));
  }
  ASSERT_TRUE(nameOwned());
  bool checked = false;
  auto check = [&] {
    EXPECT_FALSE(nameOwned());
    const QDBusMessage reply = open(zip);
    EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
    // The launch finds no owner, or one that refuses: either way it does the work.
    EXPECT_TRUE(launchExtracts(dir_));
    checked = true;
  };
  switch (decision) {
    case Decision::Yes:
      controller()->terminate();
      ASSERT_NE(controller()->terminateAlert(), nullptr);
      QTest::mouseClick(controller()->terminateAlert()->yesButton(), Qt::LeftButton);
      break;
    case Decision::Signal:
      controller()->terminateWithoutAsking();
      break;
    case Decision::QuitWithoutJobs:
      controller()->terminate();
      EXPECT_EQ(terminations_, 1);
      break;
    case Decision::Teardown:
      // The controller waits for its jobs with the event loop running; the
      // check runs in that wait.
      QTimer::singleShot(0, [&] {
        check();
        running->release();
      });
      menu_.reset();
      break;
  }
  if (decision != Decision::Teardown) check();
  EXPECT_TRUE(checked);
}

INSTANTIATE_TEST_SUITE_P(Cases, QuitDecidedTest,
                         ::testing::Values(Decision::Yes, Decision::Signal,
                                           Decision::QuitWithoutJobs, Decision::Teardown),
                         [](const auto& info) {
                           return std::string(kDecisionNames[static_cast<int>(info.param)]);
                         });

// An owner that lets the name go just as an Open comes in, and refuses it.
class QuittingOwner : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
 public:
  explicit QuittingOwner(QDBusConnection bus) : bus_(std::move(bus)) {}

 public slots:
  void Open(const QStringList&, const QVariantMap&) {
    bus_.unregisterService(CVNApplicationService::serviceName());
    sendErrorReply(QDBusError::Failed, QStringLiteral("quitting"));
  }

 private:
  QDBusConnection bus_;
};

// Records who owns the application's name, in the order the bus tells.
class OwnerLog : public QObject {
  Q_OBJECT
 public:
  QStringList owners;

 public slots:
  void nameOwnerChanged(const QString& name, const QString&, const QString& newOwner) {
    if (name == CVNApplicationService::serviceName()) owners << newOwner;
  }
};

TEST(HandOverRace, ALaunchRefusedByAQuittingOwnerTakesTheName) {
  if (!onOwnBus()) GTEST_SKIP() << "needs a session bus of its own (dbus-run-session)";
  corvana_test::TempDir dir;
  corvana_test::writeFile(dir / "t.zip",
                          corvana_test::TestZipBuilder().add("a.txt", "payload").archive());

  QDBusConnection holder =
      QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("holder"));
  QuittingOwner owner(holder);
  ASSERT_TRUE(holder.registerObject(CVNApplicationService::objectPath(), &owner,
                                    QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(holder.registerService(CVNApplicationService::serviceName()));
  OwnerLog log;
  ASSERT_TRUE(QDBusConnection::sessionBus().connect(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameOwnerChanged"), &log,
      SLOT(nameOwnerChanged(QString, QString, QString))));

  EXPECT_TRUE(launchExtracts(dir));
  // The bus tells of the launch taking the name (and letting it go as it ends).
  CVNSpinUntil([&] { return log.owners.size() >= 3; }, kLaunchTimeoutMs);
  ASSERT_GE(log.owners.size(), 2);
  EXPECT_EQ(log.owners[0], QString());  // the holder let go
  EXPECT_FALSE(log.owners[1].isEmpty());
  EXPECT_NE(log.owners[1], holder.baseService());
  holder.unregisterObject(CVNApplicationService::objectPath());
  QDBusConnection::disconnectFromBus(QStringLiteral("holder"));
}

}  // namespace

#include "CVNApplicationService_bustest.moc"
