// The reachability monitor against real routing tables: each test moves the
// test's main thread into a fresh network namespace, builds links and routes
// there with `ip`, and goes back afterwards.
#include "app/NRReachability.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QString>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "AppTestSupport.h"
#include "engine/io/RVException.h"

namespace {

class ReachabilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    original_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (std::system("ip -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "no `ip` command (iproute2)";
    if (::unshare(CLONE_NEWNET) != 0)
      GTEST_SKIP() << "the system refuses a new network namespace: " << std::strerror(errno);
    moved_ = true;
  }

  void TearDown() override {
    if (moved_ && original_ >= 0) ::setns(original_, CLONE_NEWNET);
    if (original_ >= 0) ::close(original_);
  }

  // Runs `ip <arguments>` in the test's namespace (the child inherits the
  // calling thread's); "; " runs the next while all before have succeeded.
  static bool ip(std::string arguments) {
    for (size_t at; (at = arguments.find("; ")) != std::string::npos;)
      arguments.replace(at, 2, " >/dev/null 2>&1 && ip ");
    return std::system(("ip " + arguments + " >/dev/null 2>&1").c_str()) == 0;
  }

  // Link x0, up with its carrier: one end of a pair whose other end x1 is up
  // too. False when the kernel makes no such pairs.
  static bool addLink() {
    return ip("link add x0 type veth peer name x1; link set x1 up; link set x0 up");
  }

  // Makes routes in the test's namespace name their nexthop objects alone.
  static bool nexthopObjectsOnly() {
    if (!ip("nexthop show")) return false;
    // Opened from this thread, the file is the test namespace's.
    std::ofstream mode("/proc/sys/net/ipv4/nexthop_compat_mode");
    mode << "0\n";
    mode.close();
    return mode.good();
  }

  int original_ = -1;
  bool moved_ = false;
};

enum class Target { Internet, WiFi, Localhost };
using enum Target;
using enum NRReachability::NetworkStatus;

struct FlagsCase {
  const char* name;
  bool needsLink;        // x0 and x1 exist before the commands run
  const char* commands;  // for ip()
  Target target;
  NRReachability::NetworkStatus status;
  bool reachable;  // the raw flags
  bool isDirect;
  const char* followUps = "";  // for ip(), once the monitor is started
  int signalled = 0;           // the changes the follow-ups signal
};

class ReachabilityFlagsTest : public ReachabilityTest,
                              public ::testing::WithParamInterface<FlagsCase> {};

TEST_P(ReachabilityFlagsTest, FollowsTheRoutingTable) {
  const FlagsCase& c = GetParam();
  if (c.needsLink && !addLink()) GTEST_SKIP() << "the kernel makes no veth pairs";
  // Routes that name nexthop objects name them alone, without the kernel's
  // compatibility copies of their links and gateways.
  if (std::strstr(c.commands, "nexthop") && !nexthopObjectsOnly())
    GTEST_SKIP() << "the kernel has no nexthop objects or no nexthop_compat_mode";
  if (*c.commands) {
    ASSERT_TRUE(ip(c.commands)) << c.commands;
  }

  std::unique_ptr<NRReachability> monitor;
  switch (c.target) {
    case Internet:
      monitor = NRReachability::reachability();
      break;
    case WiFi:
      monitor = NRReachability::reachabilityForWiFi();
      break;
    case Localhost:
      monitor = NRReachability::reachabilityWithHostName(QStringLiteral("localhost"));
      break;
  }
  ASSERT_TRUE(monitor);
  int changes = 0;
  QObject::connect(monitor.get(), &NRReachability::NRReachabilityStatusDidChangeNotification,
                   [&](NRReachability*) { ++changes; });
  monitor->startNotifier();
  if (*c.followUps) {
    ASSERT_TRUE(ip(c.followUps)) << c.followUps;
  }
  CVNSpinUntil([&] { return changes >= c.signalled; });
  CVNSpinUntil([] { return false; }, 200);
  EXPECT_EQ(changes, c.signalled);
  EXPECT_EQ(monitor->status(), c.status);
  const uint32_t flags = monitor->reachabilityFlags();
  EXPECT_EQ((flags & NRReachability::FlagReachable) != 0, c.reachable);
  EXPECT_EQ((flags & NRReachability::FlagIsDirect) != 0, c.isDirect);
  EXPECT_FALSE(monitor->connectionRequired());
  constexpr uint32_t kNeverOnLinux =
      NRReachability::FlagConnectionRequired | NRReachability::FlagConnectionOnTraffic |
      NRReachability::FlagConnectionOnDemand | NRReachability::FlagInterventionRequired;
  EXPECT_EQ(flags & kNeverOnLinux, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Routes, ReachabilityFlagsTest,
    ::testing::Values(
        FlagsCase{"OnlyLo", false, "", Internet, NotReachable, false, false},
        FlagsCase{"LoUp", false, "link set lo up", Internet, NotReachable, false, false},
        FlagsCase{"LinkWithoutDefault", true, "addr add 10.0.0.2/24 dev x0", Internet, NotReachable,
                  false, false},
        FlagsCase{"DefaultThroughGateway", true,
                  "addr add 10.0.0.2/24 dev x0; route add default via 10.0.0.1", Internet,
                  Reachable, true, false},
        FlagsCase{"DefaultOnTheLink", true, "route add default dev x0", Internet, Reachable, true,
                  true},
        FlagsCase{"DefaultWithoutCarrier", true,
                  "addr add 10.0.0.2/24 dev x0; route add default via 10.0.0.1; link set x1 down",
                  Internet, NotReachable, false, false},
        FlagsCase{"UnreachableDefault", true, "route add unreachable default", Internet,
                  NotReachable, false, false},
        FlagsCase{"Ipv6DefaultThroughGateway", true,
                  "-6 addr add 2001:db8::2/64 dev x0 nodad; -6 route add default via 2001:db8::1",
                  Internet, Reachable, true, false},
        FlagsCase{"WiFiNoRoute", true, "", WiFi, NotReachable, false, false},
        FlagsCase{"WiFiOnTheLink", true, "route add 169.254.0.0/16 dev x0", WiFi, Reachable, true,
                  true},
        FlagsCase{"WiFiThroughGateway", true,
                  "addr add 10.0.0.2/24 dev x0; route add 169.254.0.0/16 via 10.0.0.1", WiFi,
                  NotReachable, true, false},
        FlagsCase{"WiFiOnlyByTheDefault", true,
                  "addr add 10.0.0.2/24 dev x0; route add default via 10.0.0.1", WiFi, NotReachable,
                  true, false},
        FlagsCase{"LocalhostWithLoDown", false, "", Localhost, NotReachable, false, false},
        FlagsCase{"LocalhostWithLoUp", false, "link set lo up", Localhost, Reachable, true, true},
        FlagsCase{"NexthopThroughGateway", true,
                  "addr add 10.0.0.2/24 dev x0; "
                  "nexthop add id 1 via 10.0.0.1 dev x0; route add default nhid 1",
                  Internet, Reachable, true, false},
        FlagsCase{"NexthopOnTheLink", true, "nexthop add id 1 dev x0; route add default nhid 1",
                  Internet, Reachable, true, true},
        FlagsCase{"NexthopGroup", true,
                  "addr add 10.0.0.2/24 dev x0; "
                  "nexthop add id 1 via 10.0.0.1 dev x0; nexthop add id 2 group 1; "
                  "route add default nhid 2",
                  Internet, Reachable, true, false},
        FlagsCase{"NexthopWithoutCarrier", true,
                  "addr add 10.0.0.2/24 dev x0; "
                  "nexthop add id 1 via 10.0.0.1 dev x0; route add default nhid 1; "
                  "link set x1 down",
                  Internet, NotReachable, false, false},
        FlagsCase{"NexthopBlackhole", true,
                  "link set lo up; nexthop add id 1 blackhole; route add default nhid 1", Internet,
                  NotReachable, false, false},
        FlagsCase{"Ipv6NexthopThroughGateway", true,
                  "-6 addr add 2001:db8::2/64 dev x0 nodad; "
                  "-6 nexthop add id 1 via 2001:db8::1 dev x0; -6 route add default nhid 1",
                  Internet, Reachable, true, false},
        // Without the links' IPv6 addresses, whose late arrival would wake the
        // monitor anyway.
        FlagsCase{"NexthopReplacedByBlackhole", true,
                  "-6 addr flush dev x0; -6 addr flush dev x1; link set lo up; "
                  "addr add 10.0.0.2/24 dev x0; "
                  "nexthop add id 5 via 10.0.0.1 dev x0; route add default nhid 5",
                  Internet, NotReachable, false, false, "nexthop replace id 5 blackhole", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReachabilityTest, ChangesAreSignalledOnlyWhileStarted) {
  if (!addLink()) GTEST_SKIP() << "the kernel makes no veth pairs";
  ASSERT_TRUE(ip("addr add 10.0.0.2/24 dev x0"));
  std::unique_ptr<NRReachability> monitor = NRReachability::reachability();
  int changes = 0;
  QObject::connect(monitor.get(), &NRReachability::NRReachabilityStatusDidChangeNotification,
                   [&](NRReachability* sender) {
                     EXPECT_EQ(sender, monitor.get());
                     ++changes;
                   });
  const auto settle = [] { CVNSpinUntil([] { return false; }, 200); };

  // Not started yet.
  ASSERT_TRUE(ip("route add default via 10.0.0.1"));
  settle();
  EXPECT_EQ(changes, 0);
  ASSERT_TRUE(ip("route del default"));
  settle();
  EXPECT_EQ(changes, 0);

  monitor->startNotifier();
  ASSERT_TRUE(ip("route add default via 10.0.0.1"));
  EXPECT_TRUE(CVNSpinUntil([&] { return changes == 1; }));
  EXPECT_EQ(monitor->status(), NRReachability::Reachable);
  // A change that leaves the flags as they were says nothing.
  ASSERT_TRUE(ip("route add 192.0.2.0/24 via 10.0.0.1"));
  settle();
  EXPECT_EQ(changes, 1);
  ASSERT_TRUE(ip("route del default"));
  EXPECT_TRUE(CVNSpinUntil([&] { return changes == 2; }));
  EXPECT_EQ(monitor->status(), NRReachability::NotReachable);
  // The carrier going away is a change too.
  ASSERT_TRUE(ip("route add default via 10.0.0.1"));
  EXPECT_TRUE(CVNSpinUntil([&] { return changes == 3; }));
  ASSERT_TRUE(ip("link set x1 down"));
  EXPECT_TRUE(CVNSpinUntil([&] { return changes == 4; }));
  EXPECT_EQ(monitor->status(), NRReachability::NotReachable);

  monitor->stopNotifier();
  ASSERT_TRUE(ip("link set x1 up"));
  settle();
  ASSERT_TRUE(ip("route del default"));
  settle();
  EXPECT_EQ(changes, 4);
}

// The CPU time of the whole process, in seconds.
double processCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Made on a worker thread that has ended since and started on the main thread,
// or made on the main thread and started on a worker.
class ReachabilityThreadTest : public ReachabilityTest,
                               public ::testing::WithParamInterface<bool> {};

TEST_P(ReachabilityThreadTest, SignalsOncePerChangeOnTheStartingThreadAndIdlesQuietly) {
  const bool madeOnWorker = GetParam();
  if (!addLink()) GTEST_SKIP() << "the kernel makes no veth pairs";
  ASSERT_TRUE(ip("addr add 10.0.0.2/24 dev x0"));

  // Threads made from here on share the test's namespace.
  QThread worker;
  worker.start();
  QObject onWorker;
  onWorker.moveToThread(&worker);
  QThread* const starting = madeOnWorker ? QThread::currentThread() : &worker;
  const auto onStarting = [&](const std::function<void()>& work) {
    if (madeOnWorker) {
      work();
    } else {
      QMetaObject::invokeMethod(&onWorker, work, Qt::BlockingQueuedConnection);
    }
  };

  std::unique_ptr<NRReachability> monitor;
  if (madeOnWorker) {
    std::thread([&] { monitor = NRReachability::reachability(); }).join();
  } else {
    monitor = NRReachability::reachability();
  }
  std::atomic<int> changes = 0;
  std::atomic<int> elsewhere = 0;
  QObject::connect(monitor.get(), &NRReachability::NRReachabilityStatusDidChangeNotification,
                   [&](NRReachability*) {
                     if (QThread::currentThread() != starting) ++elsewhere;
                     ++changes;
                   });
  onStarting([&] { monitor->startNotifier(); });
  int expected = 0;
  for (const char* command : {"route add default via 10.0.0.1", "route del default"}) {
    ASSERT_TRUE(ip(command));
    ++expected;
    CVNSpinUntil([&] { return changes >= expected; });
    CVNSpinUntil([] { return false; }, 200);
    EXPECT_EQ(changes, expected) << command;
  }
  EXPECT_EQ(elsewhere, 0);

  // Started and idle, with the main thread waiting in its event loop: the
  // process takes a small share of one core at most.
  const double cpuBefore = processCpuSeconds();
  const auto wallBefore = std::chrono::steady_clock::now();
  QEventLoop idle;
  QTimer::singleShot(1000, &idle, &QEventLoop::quit);
  idle.exec();
  const double cpu = processCpuSeconds() - cpuBefore;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
  EXPECT_LT(cpu, 0.25 * wall) << cpu << " s of CPU in " << wall << " s";

  onStarting([&] { monitor->stopNotifier(); });
  monitor.reset();
  worker.quit();
  worker.wait();
}

INSTANTIATE_TEST_SUITE_P(Threads, ReachabilityThreadTest, ::testing::Bool(), [](const auto& info) {
  return info.param ? "MadeOnAWorkerStartedOnMain" : "MadeOnMainStartedOnAWorker";
});

TEST_F(ReachabilityTest, StoppingElsewhereThanItStartedIsAProgrammingError) {
  std::unique_ptr<NRReachability> monitor = NRReachability::reachability();
  monitor->startNotifier();
  std::optional<std::string> raised;
  std::thread([&] {
    try {
      monitor->stopNotifier();
    } catch (const RVException& e) {
      raised = e.what();
    }
  }).join();
  ASSERT_TRUE(raised.has_value());
  EXPECT_NE(raised->find("result"), std::string::npos) << *raised;
  monitor->stopNotifier();
  // Never started on the other thread: nothing to stop there.
  std::thread([&] { monitor->stopNotifier(); }).join();
}

// The file descriptors the process holds.
std::ptrdiff_t openDescriptors() {
  return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

TEST_F(ReachabilityTest, DestroyedElsewhereThanItStartedItStopsOnItsOwnThread) {
  std::unique_ptr<NRReachability> monitor = NRReachability::reachability();
  const std::ptrdiff_t before = openDescriptors();
  monitor->startNotifier();
  EXPECT_EQ(openDescriptors(), before + 1);
  static std::vector<std::string> warnings;
  warnings.clear();
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        warnings.push_back(message.toStdString());
      });
  std::thread([&] { monitor.reset(); }).join();
  // The notifier and its socket go once this thread's loop has turned.
  EXPECT_TRUE(CVNSpinUntil([&] { return openDescriptors() == before; }));
  qInstallMessageHandler(previous);
  // Qt says so when a notifier is stopped from another thread than its own.
  EXPECT_TRUE(warnings.empty()) << warnings.front();
}

TEST_F(ReachabilityTest, HostNamesTheSystemRefusesGiveNoMonitor) {
  const struct {
    const char* name;
    QString host;
    bool made;
  } cases[] = {
      {"empty", QString(), false},
      {"254 bytes", QString(254, u'a'), false},
      {"253 bytes", QString(253, u'a'), true},
      {"253 bytes of UTF-8", QString(84, QChar(0x3042)) + QStringLiteral("a"), true},
      {"255 bytes of UTF-8", QString(85, QChar(0x3042)), false},
      {"lone surrogate", QStringLiteral("a") + QChar(0xD800) + QStringLiteral(".example"), false},
      {"NUL inside", QStringLiteral("local") + QChar(0) + QStringLiteral("host"), false},
      {"no such name", QStringLiteral("no-such-host.invalid"), true},
      {"numeric", QStringLiteral("127.0.0.1"), true},
  };
  for (const auto& c : cases) {
    std::unique_ptr<NRReachability> monitor = NRReachability::reachabilityWithHostName(c.host);
    EXPECT_EQ(monitor != nullptr, c.made) << c.name;
    // In a namespace without routes nothing is reachable, resolved or not.
    if (monitor) {
      EXPECT_EQ(monitor->status(), NRReachability::NotReachable) << c.name;
    }
  }
}

TEST_F(ReachabilityTest, DefaultReachabilityIsOneObject) {
  NRReachability* fromThread = nullptr;
  std::thread other([&] { fromThread = NRReachability::defaultReachability(); });
  NRReachability* here = NRReachability::defaultReachability();
  other.join();
  EXPECT_NE(here, nullptr);
  EXPECT_EQ(here, fromThread);
  EXPECT_EQ(NRReachability::defaultReachability(), here);
}

}  // namespace
