#include "app/NRReachability.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/nexthop.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QThread>
#include <QtGlobal>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "engine/io/RVException.h"

namespace {

// An address the kernel is asked to route.
struct Address {
  int family;               // AF_INET or AF_INET6
  unsigned char bytes[16];  // 4 or 16 used
  int size() const { return family == AF_INET ? 4 : 16; }
};

// One way out of a route: the link it leaves by and whether a gateway takes over.
struct NextHop {
  int ifindex;
  bool hasGateway;
};

// A route as the kernel answered it.
struct Route {
  int family = AF_UNSPEC;
  unsigned char type = RTN_UNSPEC;
  unsigned char dstLength = 0;
  uint32_t table = RT_TABLE_UNSPEC;
  std::vector<NextHop> hops;
  // The nexthop object the route goes through, 0 when none. Without the
  // kernel's compatibility mode it comes alone, without the hops above.
  uint32_t nexthopId = 0;
};

int openRouteSocket(int flags = 0) {
  return ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | flags, NETLINK_ROUTE);
}

void addAttribute(std::vector<char>& message, unsigned short type, const void* data, size_t size) {
  const size_t at = NLMSG_ALIGN(message.size());
  message.resize(at + RTA_SPACE(size));
  auto* attribute = reinterpret_cast<rtattr*>(message.data() + at);
  attribute->rta_type = type;
  attribute->rta_len = static_cast<unsigned short>(RTA_LENGTH(size));
  std::memcpy(RTA_DATA(attribute), data, size);
  reinterpret_cast<nlmsghdr*>(message.data())->nlmsg_len = static_cast<uint32_t>(message.size());
}

// A request: header, then `body`, then room for attributes.
template <typename Body>
std::vector<char> makeRequest(unsigned short type, unsigned short flags, const Body& body) {
  std::vector<char> message(NLMSG_SPACE(sizeof(Body)));
  auto* header = reinterpret_cast<nlmsghdr*>(message.data());
  header->nlmsg_len = static_cast<uint32_t>(NLMSG_LENGTH(sizeof(Body)));
  header->nlmsg_type = type;
  header->nlmsg_flags = static_cast<unsigned short>(NLM_F_REQUEST | flags);
  std::memcpy(NLMSG_DATA(header), &body, sizeof(Body));
  return message;
}

std::vector<NextHop> hopsOfMultipath(const rtattr* attribute) {
  std::vector<NextHop> hops;
  int left = static_cast<int>(RTA_PAYLOAD(attribute));
  const auto* hop = static_cast<const rtnexthop*>(RTA_DATA(attribute));
  while (left >= static_cast<int>(sizeof(rtnexthop)) && hop->rtnh_len >= sizeof(rtnexthop) &&
         hop->rtnh_len <= left) {
    bool hasGateway = false;
    int attributesLeft = hop->rtnh_len - static_cast<int>(RTNH_LENGTH(0));
    for (const rtattr* a = RTNH_DATA(hop); RTA_OK(a, attributesLeft);
         a = RTA_NEXT(a, attributesLeft)) {
      if (a->rta_type == RTA_GATEWAY || a->rta_type == RTA_VIA) hasGateway = true;
    }
    hops.push_back({hop->rtnh_ifindex, hasGateway});
    left -= RTNH_ALIGN(hop->rtnh_len);
    hop = RTNH_NEXT(hop);
  }
  return hops;
}

Route parseRoute(const nlmsghdr* header) {
  Route route;
  const auto* message = static_cast<const rtmsg*>(NLMSG_DATA(header));
  route.family = message->rtm_family;
  route.type = message->rtm_type;
  route.dstLength = message->rtm_dst_len;
  route.table = message->rtm_table;
  int oif = 0;
  bool hasGateway = false;
  int left = static_cast<int>(RTM_PAYLOAD(header));
  for (const rtattr* a = RTM_RTA(message); RTA_OK(a, left); a = RTA_NEXT(a, left)) {
    switch (a->rta_type) {
      case RTA_OIF:
        if (RTA_PAYLOAD(a) >= sizeof(int)) std::memcpy(&oif, RTA_DATA(a), sizeof(int));
        break;
      case RTA_GATEWAY:
      case RTA_VIA:
        hasGateway = true;
        break;
      case RTA_TABLE:
        if (RTA_PAYLOAD(a) >= sizeof(uint32_t))
          std::memcpy(&route.table, RTA_DATA(a), sizeof(uint32_t));
        break;
      case RTA_MULTIPATH:
        route.hops = hopsOfMultipath(a);
        break;
      case RTA_NH_ID:
        if (RTA_PAYLOAD(a) >= sizeof(uint32_t))
          std::memcpy(&route.nexthopId, RTA_DATA(a), sizeof(uint32_t));
        break;
      default:
        break;
    }
  }
  if (oif > 0) route.hops.push_back({oif, hasGateway});
  return route;
}

// Route types by which traffic leaves this host or reaches it.
bool carriesTraffic(unsigned char type) {
  return type == RTN_UNICAST || type == RTN_LOCAL || type == RTN_BROADCAST ||
         type == RTN_MULTICAST || type == RTN_ANYCAST;
}

}  // namespace

// The handle on the target: its addresses and the socket that asks the kernel.
struct NRReachability::Ref {
  enum class Kind { Internet, Addresses };

  Ref(Kind k, std::vector<Address> a) : kind(k), addresses(std::move(a)) {}
  ~Ref() {
    if (socket >= 0) ::close(socket);
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;

  // Opens the socket; false when the kernel refuses one.
  bool open() {
    socket = openRouteSocket();
    if (socket < 0) return false;
    // The kernel answers at once; the limit only keeps a lost answer from hanging.
    timeval limit{5, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    return ::bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof(local)) == 0;
  }

  // Sends `request` and gathers the answers. Answers the errno the kernel put
  // in its reply (0 when none); a socket that fails raises.
  int query(std::vector<char> request, std::vector<std::vector<char>>& answers) {
    auto* header = reinterpret_cast<nlmsghdr*>(request.data());
    header->nlmsg_seq = ++sequence;
    const bool dump = (header->nlmsg_flags & NLM_F_DUMP) == NLM_F_DUMP;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do {
      sent = ::sendto(socket, request.data(), request.size(), 0,
                      reinterpret_cast<sockaddr*>(&kernel), sizeof(kernel));
    } while (sent < 0 && errno == EINTR);
    const bool result = sent == static_cast<ssize_t>(request.size());
    if (!result) RVRaiseInvalidParameter("result");

    std::vector<char> buffer(64 * 1024);
    for (;;) {
      ssize_t received;
      do {
        received = ::recv(socket, buffer.data(), buffer.size(), 0);
      } while (received < 0 && errno == EINTR);
      if (received < 0 && errno == ENOBUFS) continue;  // dropped broadcasts; ours follow
      if (received <= 0) RVRaiseInvalidParameter("result");
      int left = static_cast<int>(received);
      for (auto* h = reinterpret_cast<nlmsghdr*>(buffer.data()); NLMSG_OK(h, left);
           h = NLMSG_NEXT(h, left)) {
        if (h->nlmsg_seq != sequence) continue;  // an answer to an abandoned request
        if (h->nlmsg_type == NLMSG_DONE) return 0;
        if (h->nlmsg_type == NLMSG_ERROR) {
          const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(h));
          return -error->error;
        }
        const auto* bytes = reinterpret_cast<const char*>(h);
        answers.emplace_back(bytes, bytes + h->nlmsg_len);
        if (!dump) return 0;
      }
    }
  }

  // Whether link `ifindex` is up and has its carrier.
  bool linkIsUp(int ifindex) {
    ifinfomsg body{};
    body.ifi_family = AF_UNSPEC;
    body.ifi_index = ifindex;
    std::vector<std::vector<char>> answers;
    if (query(makeRequest(RTM_GETLINK, 0, body), answers) != 0 || answers.empty()) return false;
    const auto* header = reinterpret_cast<const nlmsghdr*>(answers.front().data());
    if (header->nlmsg_type != RTM_NEWLINK) return false;
    const auto* link = static_cast<const ifinfomsg*>(NLMSG_DATA(header));
    return (link->ifi_flags & IFF_UP) && (link->ifi_flags & IFF_RUNNING);
  }

  // The ways out of nexthop object `id`: its own, or those of its group's
  // members (groups hold no groups). None for a blackhole or an unknown id.
  std::vector<NextHop> hopsOfNexthop(uint32_t id, bool inGroup = false) {
    nhmsg body{};
    body.nh_family = AF_UNSPEC;
    std::vector<char> request = makeRequest(RTM_GETNEXTHOP, 0, body);
    addAttribute(request, NHA_ID, &id, sizeof(id));
    std::vector<std::vector<char>> answers;
    if (query(std::move(request), answers) != 0 || answers.empty()) return {};
    const auto* header = reinterpret_cast<const nlmsghdr*>(answers.front().data());
    if (header->nlmsg_type != RTM_NEWNEXTHOP) return {};
    int oif = 0;
    bool hasGateway = false;
    std::vector<uint32_t> members;
    const auto* message = static_cast<const nhmsg*>(NLMSG_DATA(header));
    int left = static_cast<int>(header->nlmsg_len) - static_cast<int>(NLMSG_SPACE(sizeof(nhmsg)));
    for (const auto* a = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(message) +
                                                         NLMSG_ALIGN(sizeof(nhmsg)));
         RTA_OK(a, left); a = RTA_NEXT(a, left)) {
      switch (a->rta_type) {
        case NHA_BLACKHOLE:
          return {};
        case NHA_OIF:
          if (RTA_PAYLOAD(a) >= sizeof(uint32_t)) std::memcpy(&oif, RTA_DATA(a), sizeof(uint32_t));
          break;
        case NHA_GATEWAY:
          hasGateway = true;
          break;
        case NHA_GROUP: {
          const size_t count = RTA_PAYLOAD(a) / sizeof(nexthop_grp);
          const auto* member = static_cast<const nexthop_grp*>(RTA_DATA(a));
          for (size_t i = 0; i < count; ++i) members.push_back(member[i].id);
          break;
        }
        default:
          break;
      }
    }
    std::vector<NextHop> hops;
    if (oif > 0) hops.push_back({oif, hasGateway});
    if (!inGroup) {
      for (const uint32_t member : members) {
        for (const NextHop& hop : hopsOfNexthop(member, true)) hops.push_back(hop);
      }
    }
    return hops;
  }

  // The flags of `route`: reachable through its first hop whose link is up.
  uint32_t flagsOf(const Route& route) {
    if (!carriesTraffic(route.type)) return 0;
    // Traffic to one of our own addresses never leaves the host.
    if (route.type == RTN_LOCAL) return FlagReachable | FlagIsDirect;
    const std::vector<NextHop> hops =
        route.hops.empty() && route.nexthopId != 0 ? hopsOfNexthop(route.nexthopId) : route.hops;
    for (const NextHop& hop : hops) {
      if (linkIsUp(hop.ifindex))
        return FlagReachable | (hop.hasGateway ? 0u : uint32_t{FlagIsDirect});
    }
    return 0;
  }

  // A default route through a link that is up, IPv4 first.
  uint32_t internetFlags() {
    for (int family : {AF_INET, AF_INET6}) {
      rtmsg body{};
      body.rtm_family = static_cast<unsigned char>(family);
      std::vector<std::vector<char>> answers;
      if (query(makeRequest(RTM_GETROUTE, NLM_F_DUMP, body), answers) != 0) continue;
      for (const auto& answer : answers) {
        const auto* header = reinterpret_cast<const nlmsghdr*>(answer.data());
        if (header->nlmsg_type != RTM_NEWROUTE) continue;
        const Route route = parseRoute(header);
        if (route.dstLength != 0 || route.type != RTN_UNICAST || route.table == RT_TABLE_LOCAL)
          continue;
        if (const uint32_t flags = flagsOf(route)) return flags;
      }
    }
    return 0;
  }

  // The route the kernel would take to `address`.
  uint32_t addressFlags(const Address& address) {
    rtmsg body{};
    body.rtm_family = static_cast<unsigned char>(address.family);
    body.rtm_dst_len = static_cast<unsigned char>(address.size() * 8);
    std::vector<char> request = makeRequest(RTM_GETROUTE, 0, body);
    addAttribute(request, RTA_DST, address.bytes, static_cast<size_t>(address.size()));
    std::vector<std::vector<char>> answers;
    // An error here is the kernel's answer: no route (ENETUNREACH and the like).
    if (query(std::move(request), answers) != 0 || answers.empty()) return 0;
    const auto* header = reinterpret_cast<const nlmsghdr*>(answers.front().data());
    if (header->nlmsg_type != RTM_NEWROUTE) return 0;
    return flagsOf(parseRoute(header));
  }

  uint32_t flags() {
    std::lock_guard lock(mutex);
    if (kind == Kind::Internet) return internetFlags();
    for (const Address& address : addresses) {
      if (const uint32_t f = addressFlags(address)) return f;
    }
    return 0;
  }

  const Kind kind;
  const std::vector<Address> addresses;
  int socket = -1;
  std::mutex mutex;       // one request on the socket at a time
  uint32_t sequence = 0;  // guarded by mutex
};

NRReachability::NRReachability(std::unique_ptr<Ref> reachabilityRef, bool alwaysReturnWiFiStatus)
    : reachabilityRef_(std::move(reachabilityRef)),
      alwaysReturnWiFiStatus_(alwaysReturnWiFiStatus) {}

NRReachability::~NRReachability() {
  if (!notifier_) return;
  if (notifier_->thread() == QThread::currentThread()) {
    stopNotifier();
    return;
  }
  // Torn down elsewhere than it was started, against the rule: a notifier can
  // only be stopped on its own thread, so it goes there to be deleted, and the
  // socket is closed once it is gone.
  QSocketNotifier* notifier = notifier_.release();
  QObject::disconnect(notifier, &QSocketNotifier::activated, nullptr, nullptr);
  const int socket = notifierSocket_;
  QObject::connect(notifier, &QObject::destroyed, [socket] { ::close(socket); });
  notifier->deleteLater();
}

std::unique_ptr<NRReachability> NRReachability::reachability() {
  auto reachabilityRef = std::make_unique<Ref>(Ref::Kind::Internet, std::vector<Address>{});
  if (!reachabilityRef->open()) RVRaiseInvalidParameter("reachabilityRef != NULL");
  return std::unique_ptr<NRReachability>(new NRReachability(std::move(reachabilityRef), false));
}

std::unique_ptr<NRReachability> NRReachability::reachabilityForWiFi() {
  Address linkLocal{AF_INET, {169, 254, 0, 0}};
  auto reachabilityRef =
      std::make_unique<Ref>(Ref::Kind::Addresses, std::vector<Address>{linkLocal});
  if (!reachabilityRef->open()) RVRaiseInvalidParameter("reachabilityRef != NULL");
  return std::unique_ptr<NRReachability>(new NRReachability(std::move(reachabilityRef), true));
}

std::unique_ptr<NRReachability> NRReachability::reachabilityWithHostName(const QString& hostName) {
  if (hostName.isEmpty() || !hostName.isValidUtf16()) return nullptr;
  const QByteArray name = hostName.toUtf8();
  if (name.size() > 253 || name.contains('\0')) return nullptr;

  std::vector<Address> addresses;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;  // one row per address
  addrinfo* found = nullptr;
  if (::getaddrinfo(name.constData(), nullptr, &hints, &found) == 0) {
    for (const addrinfo* i = found; i; i = i->ai_next) {
      Address address{i->ai_family, {}};
      if (i->ai_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(i->ai_addr);
        std::memcpy(address.bytes, &in->sin_addr, 4);
      } else if (i->ai_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(i->ai_addr);
        std::memcpy(address.bytes, &in6->sin6_addr, 16);
      } else {
        continue;
      }
      addresses.push_back(address);
    }
    ::freeaddrinfo(found);
  }
  auto reachabilityRef = std::make_unique<Ref>(Ref::Kind::Addresses, std::move(addresses));
  if (!reachabilityRef->open()) return nullptr;
  return std::unique_ptr<NRReachability>(new NRReachability(std::move(reachabilityRef), false));
}

NRReachability* NRReachability::defaultReachability() {
  // Never destroyed: it may outlive the event loops its notifier would need.
  static NRReachability* const shared = reachability().release();
  return shared;
}

void NRReachability::startNotifier() {
  stopNotifier();
  const int fd = openRouteSocket(SOCK_NONBLOCK);
  sockaddr_nl local{};
  local.nl_family = AF_NETLINK;
  local.nl_groups =
      RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_IFADDR | RTMGRP_IPV6_ROUTE;
  const bool result =
      fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) == 0;
  if (!result) {
    if (fd >= 0) ::close(fd);
    RVRaiseInvalidParameter("result");
  }
  // A nexthop object replaced under a route is told only to this group, which
  // is past the bits of nl_groups. A kernel without the group has no nexthop
  // objects either, so its refusal leaves nothing unwatched.
  const int nexthopGroup = RTNLGRP_NEXTHOP;
  ::setsockopt(fd, SOL_NETLINK, NETLINK_ADD_MEMBERSHIP, &nexthopGroup, sizeof(nexthopGroup));
  notifierSocket_ = fd;
  // Read before watching, so a change in between is still seen as one.
  lastFlags_ = reachabilityFlags();
  // The notifier belongs to this thread. With it as the context, the socket is
  // read and the change reported here, whatever thread the monitor was made on.
  notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
          [this] { reachabilityDidChange(); });
}

void NRReachability::stopNotifier() {
  if (!notifier_) return;
  const bool result = notifier_->thread() == QThread::currentThread();
  if (!result) RVRaiseInvalidParameter("result");
  notifier_.reset();
  if (notifierSocket_ >= 0) ::close(notifierSocket_);
  notifierSocket_ = -1;
}

void NRReachability::reachabilityDidChange() {
  // Only the fact of a change matters; the flags are read afresh below.
  char buffer[8192];
  for (;;) {
    const ssize_t received = ::recv(notifierSocket_, buffer, sizeof(buffer), 0);
    if (received > 0 || (received < 0 && (errno == EINTR || errno == ENOBUFS))) continue;
    break;
  }
  uint32_t flags;
  try {
    flags = reachabilityFlags();
  } catch (const RVException& e) {
    qWarning("NRReachability: %s", e.what());
    return;
  }
  if (flags == lastFlags_) return;
  lastFlags_ = flags;
  emit NRReachabilityStatusDidChangeNotification(this);
}

bool NRReachability::connectionRequired() const {
  return (reachabilityFlags() & FlagConnectionRequired) != 0;
}

NRReachability::NetworkStatus NRReachability::status() const {
  const uint32_t flags = reachabilityFlags();
  if (alwaysReturnWiFiStatus_)
    return (flags & FlagReachable) && (flags & FlagIsDirect) ? Reachable : NotReachable;
  if (!(flags & FlagReachable)) return NotReachable;
  if (!(flags & FlagConnectionRequired)) return Reachable;
  const bool automatic = flags & (FlagConnectionOnTraffic | FlagConnectionOnDemand);
  return automatic && !(flags & FlagInterventionRequired) ? Reachable : NotReachable;
}

uint32_t NRReachability::reachabilityFlags() const { return reachabilityRef_->flags(); }
