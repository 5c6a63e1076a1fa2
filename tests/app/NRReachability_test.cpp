// The reachability monitor against real routing tables: each test moves the
// test's main thread into a fresh network namespace, builds links and routes
// there with `ip`, and goes back afterwards.
#include "app/NRReachability.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QString>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "AppTestSupport.h"

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
  // calling thread's).
  static bool ip(const std::string& arguments) {
    return std::system(("ip " + arguments + " >/dev/null 2>&1").c_str()) == 0;
  }

  // Link x0, up with its carrier: one end of a pair whose other end x1 is up
  // too. False when the kernel makes no such pairs.
  static bool addLink() {
    return ip("link add x0 type veth peer name x1") && ip("link set x1 up") && ip("link set x0 up");
  }

  int original_ = -1;
  bool moved_ = false;
};

enum class Target { Internet, WiFi, Localhost };

struct FlagsCase {
  const char* name;
  std::vector<std::string> commands;  // `ip` arguments, after x0 and x1 exist unless none
  bool needsLink;
  Target target;
  NRReachability::NetworkStatus status;
  bool reachable;  // the raw flags
  bool isDirect;
};

class ReachabilityFlagsTest : public ReachabilityTest,
                              public ::testing::WithParamInterface<FlagsCase> {};

TEST_P(ReachabilityFlagsTest, FollowsTheRoutingTable) {
  const FlagsCase& c = GetParam();
  if (c.needsLink && !addLink()) GTEST_SKIP() << "the kernel makes no veth pairs";
  for (const std::string& command : c.commands) ASSERT_TRUE(ip(command)) << command;

  std::unique_ptr<NRReachability> monitor;
  switch (c.target) {
    case Target::Internet:
      monitor = NRReachability::reachability();
      break;
    case Target::WiFi:
      monitor = NRReachability::reachabilityForWiFi();
      break;
    case Target::Localhost:
      monitor = NRReachability::reachabilityWithHostName(QStringLiteral("localhost"));
      break;
  }
  ASSERT_TRUE(monitor);
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

const std::vector<std::string> kGatewayDefault = {"addr add 10.0.0.2/24 dev x0",
                                                  "route add default via 10.0.0.1"};

INSTANTIATE_TEST_SUITE_P(
    Routes, ReachabilityFlagsTest,
    ::testing::Values(
        FlagsCase{
            "OnlyLo", {}, false, Target::Internet, NRReachability::NotReachable, false, false},
        FlagsCase{"LoUp",
                  {"link set lo up"},
                  false,
                  Target::Internet,
                  NRReachability::NotReachable,
                  false,
                  false},
        FlagsCase{"LinkWithoutDefault",
                  {"addr add 10.0.0.2/24 dev x0"},
                  true,
                  Target::Internet,
                  NRReachability::NotReachable,
                  false,
                  false},
        FlagsCase{"DefaultThroughGateway", kGatewayDefault, true, Target::Internet,
                  NRReachability::Reachable, true, false},
        FlagsCase{"DefaultOnTheLink",
                  {"route add default dev x0"},
                  true,
                  Target::Internet,
                  NRReachability::Reachable,
                  true,
                  true},
        FlagsCase{
            "DefaultWithoutCarrier",
            {"addr add 10.0.0.2/24 dev x0", "route add default via 10.0.0.1", "link set x1 down"},
            true,
            Target::Internet,
            NRReachability::NotReachable,
            false,
            false},
        FlagsCase{"UnreachableDefault",
                  {"route add unreachable default"},
                  true,
                  Target::Internet,
                  NRReachability::NotReachable,
                  false,
                  false},
        FlagsCase{
            "Ipv6DefaultThroughGateway",
            {"-6 addr add 2001:db8::2/64 dev x0 nodad", "-6 route add default via 2001:db8::1"},
            true,
            Target::Internet,
            NRReachability::Reachable,
            true,
            false},
        FlagsCase{
            "WiFiNoRoute", {}, true, Target::WiFi, NRReachability::NotReachable, false, false},
        FlagsCase{"WiFiOnTheLink",
                  {"route add 169.254.0.0/16 dev x0"},
                  true,
                  Target::WiFi,
                  NRReachability::Reachable,
                  true,
                  true},
        FlagsCase{"WiFiThroughGateway",
                  {"addr add 10.0.0.2/24 dev x0", "route add 169.254.0.0/16 via 10.0.0.1"},
                  true,
                  Target::WiFi,
                  NRReachability::NotReachable,
                  true,
                  false},
        FlagsCase{"WiFiOnlyByTheDefault", kGatewayDefault, true, Target::WiFi,
                  NRReachability::NotReachable, true, false},
        FlagsCase{"LocalhostWithLoDown",
                  {},
                  false,
                  Target::Localhost,
                  NRReachability::NotReachable,
                  false,
                  false},
        FlagsCase{"LocalhostWithLoUp",
                  {"link set lo up"},
                  false,
                  Target::Localhost,
                  NRReachability::Reachable,
                  true,
                  true}),
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
