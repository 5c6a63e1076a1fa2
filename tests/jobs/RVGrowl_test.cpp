// Notifications reach a session's notification service; without a bus or a
// service they cost nothing; and the jobs send theirs as they start and end.
// Also the jobs' reveal, which goes to the session's file manager the same way.
// Each case runs again in a child process with the environment it needs (a
// private bus from dbus-run-session, or none at all), so that no case depends
// on the bus of the machine running the tests.
#include "jobs/RVGrowl.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "JobsTestSupport.h"
#include "engine/CVNZipFileWriter.h"
#include "jobs/CVNArchiveOperation.h"
#include "jobs/CVNLocalization.h"
#include "jobs/CVNUnarchiveOperation.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

namespace {

const char kInChild[] = "CORVANA_GROWL_TEST_CHILD";

// Stands in for the desktop's notification server and keeps what it is sent;
// a silent one takes every call and never answers it.
class FakeNotifications : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Record {
    QString application, icon, title, body;
    QVariantMap hints;
  };
  QList<Record> records;
  bool silent = false;
  std::atomic<int> calls{0};

 public slots:
  uint Notify(const QString& application, uint, const QString& icon, const QString& title,
              const QString& body, const QStringList&, const QVariantMap& hints, int) {
    ++calls;
    if (silent) {
      setDelayedReply(true);
      return 0;
    }
    records.append({application, icon, title, body, hints});
    return static_cast<uint>(records.size());
  }
};

// Stands in for the desktop's file manager and keeps what it is asked to show,
// each call as its URIs and its startup id after a "|"; also takes the URLs
// that QDesktopServices::openUrl would open.
class FakeFileManager : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

 public:
  std::vector<std::string> calls;
  std::vector<std::string> urls;

 public slots:
  void ShowItems(const QStringList& uris, const QString& startupId) {
    calls.push_back((uris.join(u' ') + u'|' + startupId).toStdString());
  }
  void open(const QUrl& url) { urls.push_back(url.toEncoded().toStdString()); }
};

// Runs this test again in a child process with a home of its own and neither
// the caller's bus nor its display: on a private session bus of its own from
// dbus-run-session, or on none. Shows the child's output.
void RunInAChild(bool privateBus = true) {
  QStringList command;
  if (privateBus) {
    const QString runner = QStandardPaths::findExecutable(QStringLiteral("dbus-run-session"));
    if (runner.isEmpty()) GTEST_SKIP() << "dbus-run-session is missing (package dbus)";
    command << runner << QStringLiteral("--");
  }
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QString::fromLatin1(kInChild), QStringLiteral("1"));
  environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
  environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
  environment.remove(QStringLiteral("DISPLAY"));
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  command << QCoreApplication::applicationFilePath()
          << QStringLiteral("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name());
  QProcess child;
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(command.takeFirst(), command);
  EXPECT_TRUE(child.waitForFinished(60000));
  std::cout << child.readAll().toStdString();
  EXPECT_EQ(child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1, 0);
}

const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");

// Connects to the session bus as `connection` and takes the service name
// `name`, with `service` answering its calls on the name's own path.
void BecomeTheService(const QString& connection, const QString& name, QObject* service) {
  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection);
  ASSERT_TRUE(bus.isConnected());
  ASSERT_TRUE(bus.registerObject(u'/' + QString(name).replace(u'.', u'/'), service,
                                 QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(bus.registerService(name));
}

TEST(RVGrowlTest, ReachesTheSessionsNotificationService) {
  if (!qEnvironmentVariableIsSet(kInChild)) return RunInAChild();

  FakeNotifications fake;
  ASSERT_NO_FATAL_FAILURE(
      BecomeTheService(QStringLiteral("fake-notifications"), kNotifications, &fake));

  RVGrowl::notifyWithTitle(QStringLiteral("圧縮を開始しました"), QStringLiteral("/home/u/a b"));
  std::thread worker([] {
    RVGrowl::notifyWithTitle(QStringLiteral("Archiving finished"), QStringLiteral("/tmp/x.zip"));
  });
  worker.join();

  ASSERT_TRUE(CVNSpinUntil([&] { return fake.records.size() == 2; }, 10000));
  // The two senders are different threads: keep the check free of their order.
  QStringList seen;
  for (const FakeNotifications::Record& record : fake.records) {
    seen << record.title + u'|' + record.body;
    EXPECT_EQ(record.application, QStringLiteral("Corvana"));
    const QString iconFile = QUrl(record.icon).toLocalFile();
    EXPECT_TRUE(QFileInfo(iconFile).isFile()) << record.icon.toStdString();
    EXPECT_EQ(record.hints.value(QStringLiteral("image-path")).toString(), iconFile);
    EXPECT_EQ(record.hints.value(QStringLiteral("desktop-entry")).toString(),
              QStringLiteral("local.corvana.Corvana"));
  }
  seen.sort();
  EXPECT_EQ(seen, QStringList({QStringLiteral("Archiving finished|/tmp/x.zip"),
                               QStringLiteral("圧縮を開始しました|/home/u/a b")}));
}

TEST(RVGrowlTest, WithoutAnAnswerReturnsAtOnce) {
  if (!qEnvironmentVariableIsSet(kInChild)) return RunInAChild();
  // On a thread of its own, so that it takes the calls whatever the sender's
  // thread does meanwhile.
  QThread serviceThread;
  serviceThread.start();
  FakeNotifications silent;
  silent.silent = true;
  silent.moveToThread(&serviceThread);
  const auto stop = qScopeGuard([&] {
    QDBusConnection::disconnectFromBus(QStringLiteral("silent-notifications"));
    serviceThread.quit();
    serviceThread.wait();
  });
  ASSERT_NO_FATAL_FAILURE(
      BecomeTheService(QStringLiteral("silent-notifications"), kNotifications, &silent));

  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < 2; ++i) RVGrowl::notifyWithTitle(QStringLiteral("t"), QStringLiteral("d"));
  // A call that waited for its answer would take D-Bus's 25 s time-out.
  EXPECT_LT(timer.elapsed(), 5000);
  // The calls did reach a service, which kept them unanswered.
  EXPECT_TRUE(CVNSpinUntil([&] { return silent.calls == 2; }, 10000));
}

TEST(RVGrowlTest, WithoutABusDoesNothingAtOnce) {
  if (!qEnvironmentVariableIsSet(kInChild)) return RunInAChild(false);
  QElapsedTimer timer;
  timer.start();
  RVGrowl::notifyWithTitle(QStringLiteral("t"), QStringLiteral("d"));
  std::thread worker([] { RVGrowl::notifyWithTitle(QStringLiteral("t"), QStringLiteral("d")); });
  worker.join();
  EXPECT_LT(timer.elapsed(), 2000);
}

// --- What the jobs send ---

using corvana_test::TempDir;

enum class Notice { Start, Success, Abort };

// A job made under the scratch folder, and the notifications it sends in
// order, each with its text.
struct JobRun {
  std::shared_ptr<CVNOperation> job;
  std::vector<std::pair<Notice, QString>> expected;
};

struct JobNotificationCase {
  const char* name;
  std::function<JobRun(const TempDir&)> make;
};

void PrintTo(const JobNotificationCase& c, std::ostream* os) { *os << c.name; }

QString text(const std::string& bytes) { return QString::fromStdString(bytes); }

std::shared_ptr<CVNOperation> archiving(std::vector<std::string> items,
                                        CVNSymbolicLinkBehavior links) {
  auto job = std::make_shared<CVNArchiveOperation>(std::move(items), links);
  job->setIndeterminately(false);
  return job;
}

// Extracts the folder's "a.zip".
std::shared_ptr<CVNUnarchiveOperation> extracting(const TempDir& dir) {
  auto job = std::make_shared<CVNUnarchiveOperation>(dir / "a.zip");
  job->setIndeterminately(false);
  return job;
}

std::vector<JobNotificationCase> jobNotificationCases() {
  using corvana_test::writeFile;
  return {
      {"ArchiveSucceeds",
       [](const TempDir& dir) -> JobRun {
         writeFile(dir / "a.txt", std::string("a"));
         writeFile(dir / "b.txt", std::string("b"));
         return {archiving({dir / "a.txt", dir / "b.txt"}, CVNSymbolicLinkBehaviorExcludes),
                 {{Notice::Start, CVNLocalizedStringWithFormat("%1$@ and the other %2$lu items",
                                                               {text(dir / "a.txt"), 1})},
                  {Notice::Success, text(dir / "a.txt") + ", " + text(dir / "b.txt")}}};
       }},
      {"ArchiveFailsAfterTheStart",
       [](const TempDir& dir) -> JobRun {
         ::mkdir((dir / "d").c_str(), 0755);
         ::symlink((dir / "nowhere").c_str(), (dir / "d/l").c_str());
         return {archiving({dir / "d"}, CVNSymbolicLinkBehaviorResolves),
                 {{Notice::Start, text(dir / "d")},
                  {Notice::Abort, CVNLocalizedStringWithFormat("Unable to resolve symbolic link %@",
                                                               {text(dir / "d/l")})}}};
       }},
      {"ArchiveThatCannotBeMade",
       [](const TempDir& dir) -> JobRun {
         writeFile(dir / "file", std::string("not a folder"));
         return {archiving({dir / "file/x.txt"}, CVNSymbolicLinkBehaviorExcludes),
                 {{Notice::Abort, QStringLiteral("Not a directory (errno = 20)")}}};
       }},
      {"ExtractionSucceeds",
       [](const TempDir& dir) -> JobRun {
         writeFile(dir / "a.zip", corvana_test::TestZipBuilder().add("x.txt", "x").archive());
         return {extracting(dir),
                 {{Notice::Start, text(dir / "a.zip")}, {Notice::Success, text(dir / "a.zip")}}};
       }},
      {"ExtractionStopsAtAnUnreadableName",
       [](const TempDir& dir) -> JobRun {
         writeFile(dir / "a.zip", corvana_test::TestZipBuilder().add("\x81\xFF", "abc").archive());
         auto job = extracting(dir);
         job->setUnrecognizableFileNameBehavior(CVNUnrecognizableFileNameBehaviorError);
         // A stop that the log explains says what the last warning said.
         return {job,
                 {{Notice::Start, text(dir / "a.zip")},
                  {Notice::Abort, QStringLiteral("File name not readable: 3 bytes")}}};
       }},
      {"ExtractionCancelledAtThePassword",
       [](const TempDir& dir) -> JobRun {
         writeFile(dir / "source", std::string("secret data"));
         CVNZipFileWriter writer(dir / "a.zip");
         writer.setPassword(corvana_test::Bytes{'p', 'w'});
         writer.writeFileName(u"f.txt", dir / "source", -1);
         writer.closeFile();
         auto job = extracting(dir);
         QObject::connect(job.get(), &CVNUnarchiveOperation::passwordSheetShown, job.get(),
                          &CVNUnarchiveOperation::cancelPassword, Qt::QueuedConnection);
         return {job,
                 {{Notice::Start, text(dir / "a.zip")},
                  {Notice::Abort, CVNLocalizedString("Cancelled")}}};
       }},
      {"ExtractionOfAFileThatIsNoArchive",
       [](const TempDir& dir) -> JobRun {
         writeFile(dir / "a.zip", std::string("not an archive"));
         return {extracting(dir), {{Notice::Abort, "Not a Zip archive: " + text(dir / "a.zip")}}};
       }},
  };
}

class RVGrowlJobsTest : public ::testing::TestWithParam<JobNotificationCase> {};

// The start, success and abort notifications of a run, with each job's title
// keys and texts, while a window of the program is in front.
TEST_P(RVGrowlJobsTest, EachRunSendsItsStartAndItsEnd) {
  if (!qEnvironmentVariableIsSet(kInChild)) return RunInAChild();
  FakeNotifications fake;
  ASSERT_NO_FATAL_FAILURE(
      BecomeTheService(QStringLiteral("fake-notifications"), kNotifications, &fake));

  // Notifications show while the program is in front too.
  QWidget front;
  front.show();
  front.activateWindow();
  ASSERT_TRUE(
      CVNSpinUntil([] { return QGuiApplication::applicationState() == Qt::ApplicationActive; }));

  TempDir dir;
  const JobRun run = GetParam().make(dir);
  const bool archives = dynamic_cast<CVNArchiveOperation*>(run.job.get()) != nullptr;
  ASSERT_TRUE(CVNRunToEnd(run.job));
  // Sent after the job's own on the same connection, so it arrives after them.
  RVGrowl::notifyWithTitle(QStringLiteral("end of the run"), QString());
  ASSERT_TRUE(CVNSpinUntil(
      [&] { return !fake.records.isEmpty() && fake.records.back().title == "end of the run"; }));
  fake.records.removeLast();

  const char* const titleKeys[2][3] = {
      {"Growl:StartExtracting", "Growl:ExtractedSuccessfully", "Growl:AbortedExtracting"},
      {"Growl:StartArchiving", "Growl:ArchivedSuccessfully", "Growl:AbortedArchiving"}};
  std::vector<std::string> expected;
  for (const auto& [notice, body] : run.expected)
    expected.push_back(
        (CVNLocalizedString(titleKeys[archives][static_cast<int>(notice)]) + u'|' + body)
            .toStdString());
  std::vector<std::string> sent;
  for (const FakeNotifications::Record& record : fake.records)
    sent.push_back((record.title + u'|' + record.body).toStdString());
  EXPECT_EQ(sent, expected);
}

INSTANTIATE_TEST_SUITE_P(Jobs, RVGrowlJobsTest, ::testing::ValuesIn(jobNotificationCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// --- The jobs' reveal ---

struct RevealCase {
  const char* name;
  bool fileManager;  // whether a file manager owns its name on the bus
  std::vector<std::string> shown;
  std::vector<std::string> opened;
};

void PrintTo(const RevealCase& c, std::ostream* os) { *os << c.name; }

class RVGrowlRevealTest : public ::testing::TestWithParam<RevealCase> {};

// The output goes to the file manager selected, else its folder is opened;
// either way by its bytes, though they are not UTF-8.
TEST_P(RVGrowlRevealTest, ShowsTheOutputOrOpensItsFolder) {
  if (!qEnvironmentVariableIsSet(kInChild)) return RunInAChild();
  const RevealCase& c = GetParam();
  FakeFileManager fake;
  if (c.fileManager) {
    ASSERT_NO_FATAL_FAILURE(BecomeTheService(QStringLiteral("fake-file-manager"),
                                             QStringLiteral("org.freedesktop.FileManager1"),
                                             &fake));
  }
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &fake, "open");
  CVNScriptedOperation job;
  job.setOutputPath("/tmp/caf\xE9/out.zip");
  job.showInFinder();
  CVNSpinUntil([&] { return !fake.calls.empty() || !fake.urls.empty(); }, 5000);
  // Room for a call or an opening too many.
  CVNSpinUntil([] { return false; }, 200);
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  EXPECT_EQ(fake.calls, c.shown);
  EXPECT_EQ(fake.urls, c.opened);
}

INSTANTIATE_TEST_SUITE_P(
    Reveal, RVGrowlRevealTest,
    ::testing::Values(RevealCase{"ByTheFileManager", true, {"file:///tmp/caf%E9/out.zip|"}, {}},
                      RevealCase{"WithoutAFileManager", false, {}, {"file:///tmp/caf%E9"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

#include "RVGrowl_test.moc"
