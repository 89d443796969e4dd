#include "host/signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <pthread.h>
#include <unistd.h>

#include <thread>

#include "platform/ownedfiles.h"

namespace {
int g_pipe[2] = {-1, -1};

void onSignal(int sig) {
  const int saved = errno;
  const unsigned char b = static_cast<unsigned char>(sig);
  // Only async-signal-safe work here: one byte into the pipe.
  [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &b, 1);
  errno = saved;
}
}  // namespace

TKWTerminationSignals::TKWTerminationSignals(std::initializer_list<int> sigs, QObject* parent)
    : QObject(parent), signals_(sigs) {
  if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) return;
  ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);
  notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    unsigned char b = 0;
    if (::read(g_pipe[0], &b, 1) == 1) emit Received(b);
  });
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int s : signals_) ::sigaction(s, &sa, nullptr);
}

TKWTerminationSignals::~TKWTerminationSignals() {
  if (!notifier_) return;
  for (int s : signals_) ::signal(s, SIG_DFL);
  delete notifier_;
  ::close(g_pipe[0]);
  ::close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

void KWEndOnSignalsRemovingOwnedFiles(std::initializer_list<int> sigs) {
  sigset_t set;
  sigemptyset(&set);
  for (int s : sigs) sigaddset(&set, s);
  if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
  std::thread([set] {
    int sig = 0;
    while (::sigwait(&set, &sig) != 0) {
    }
    KWRemoveOwnedFilesForExit();
    ::_exit(128 + sig);
  }).detach();
}
