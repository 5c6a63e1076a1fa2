#include "app/CVNSignalWatcher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace {

int signalSockets[2] = {-1, -1};

void writeSignal(int number) {
  const int saved = errno;
  const char byte = static_cast<char>(number);
  // Nothing else is safe here; a full pipe already holds a wake-up.
  [[maybe_unused]] ssize_t written = ::write(signalSockets[0], &byte, 1);
  errno = saved;
}

void setHandler(int number, void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(number, &action, nullptr);
}

}  // namespace

CVNSignalWatcher::CVNSignalWatcher(std::function<void()> handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), notifier_(nullptr) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) return;
  fcntl(signalSockets[0], F_SETFL, O_NONBLOCK);
  notifier_ = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &CVNSignalWatcher::readSignal);
  setHandler(SIGINT, writeSignal);
  setHandler(SIGTERM, writeSignal);
}

CVNSignalWatcher::~CVNSignalWatcher() {
  setHandler(SIGINT, SIG_DFL);
  setHandler(SIGTERM, SIG_DFL);
  for (int& socket : signalSockets) {
    if (socket >= 0) ::close(socket);
    socket = -1;
  }
}

void CVNSignalWatcher::readSignal() {
  char byte;
  [[maybe_unused]] ssize_t read = ::read(signalSockets[1], &byte, 1);
  // One request is enough; a second signal is the user insisting.
  setHandler(SIGINT, SIG_DFL);
  setHandler(SIGTERM, SIG_DFL);
  notifier_->setEnabled(false);
  if (handler_) handler_();
}
