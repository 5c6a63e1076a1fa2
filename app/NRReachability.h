// Whether a network target (the internet, the link-local network or a named
// host) can be reached under the kernel's current links and routes, with a
// signal whenever that changes.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>

class QSocketNotifier;

class NRReachability : public QObject {
  Q_OBJECT

 public:
  // What status() answers.
  enum NetworkStatus { NotReachable = 0, Reachable = 1 };

  // The bits of reachabilityFlags(), at the values the status rule reads.
  enum Flag : uint32_t {
    FlagReachable = 1u << 1,
    FlagConnectionRequired = 1u << 2,
    FlagConnectionOnTraffic = 1u << 3,
    FlagInterventionRequired = 1u << 4,
    FlagConnectionOnDemand = 1u << 5,
    FlagIsDirect = 1u << 17,
  };

  // The internet in general (0.0.0.0): reachable through a default route whose
  // link is up, direct when that route has no gateway; a route through a
  // nexthop object takes that object's link and gateway. Not started.
  static std::unique_ptr<NRReachability> reachability();
  // The link-local network (169.254.0.0): the kernel's route to that address
  // decides. status() counts it reachable only when the route is direct.
  static std::unique_ptr<NRReachability> reachabilityForWiFi();
  // A host, by name: the name is resolved here, once (this blocks while the
  // resolver works), and a route to any of its addresses decides; a name that
  // does not resolve is never reachable. None for a name the system refuses:
  // empty, not valid as UTF-8, longer than 253 bytes, or holding a NUL.
  static std::unique_ptr<NRReachability> reachabilityWithHostName(const QString& hostName);
  // One monitor of the internet for the whole process, made on first use from
  // any thread. Never started by itself.
  static NRReachability* defaultReachability();

  // Stops the notifier; destroy a started monitor on the thread that started it.
  ~NRReachability() override;
  NRReachability(const NRReachability&) = delete;
  NRReachability& operator=(const NRReachability&) = delete;

  // Watches the kernel's link, address and route changes from the calling
  // thread's event loop, whatever thread the monitor was made on; from then on
  // every change that alters the flags emits
  // NRReachabilityStatusDidChangeNotification on that thread. Starting again
  // starts afresh, on the thread that started before.
  void startNotifier();
  // Stops watching; on the thread that started (elsewhere it raises the
  // invalid-parameter error). Nothing when not started.
  void stopNotifier();

  // Whether a connection must be set up first; never so on this system.
  bool connectionRequired() const;
  // Reachable or not, from the flags read afresh.
  NetworkStatus status() const;
  // The target's flags, read afresh from the kernel.
  uint32_t reachabilityFlags() const;

 signals:
  // The target's flags changed while the notifier was started.
  void NRReachabilityStatusDidChangeNotification(NRReachability* reachability);

 private:
  struct Ref;
  NRReachability(std::unique_ptr<Ref> reachabilityRef, bool alwaysReturnWiFiStatus);
  void reachabilityDidChange();

  std::unique_ptr<Ref> reachabilityRef_;
  bool alwaysReturnWiFiStatus_;
  int notifierSocket_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  uint32_t lastFlags_ = 0;
};
