// Turns SIGINT and SIGTERM into a call on the event loop, through a self-pipe:
// the handler only writes a byte, the loop does the rest.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

class CVNSignalWatcher : public QObject {
  Q_OBJECT
 public:
  // Installs the handlers; `handler` runs on this object's thread at the first
  // signal. A second signal ends the process the default way. One per process.
  explicit CVNSignalWatcher(std::function<void()> handler, QObject* parent = nullptr);
  // Restores the default handlers.
  ~CVNSignalWatcher() override;

 private:
  void readSignal();

  std::function<void()> handler_;
  QSocketNotifier* notifier_;
};
