#include "os/signal_watch.hpp"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <initializer_list>

#include "os/exit_guard.hpp"

namespace qb7 {

namespace {

volatile sig_atomic_t gTermination = 0;
// Lock-free atomics are safe in a handler; exchange loses no signal that
// comes between the look and the reset.
std::atomic<int> gResized{0};
std::atomic<int> gStop{0};
std::atomic<int> gContinued{0};
volatile sig_atomic_t gWakeFd = -1;

void Wake() {
  const int fd = gWakeFd;
  if (fd < 0) return;
  const int saved = errno;
  (void)!write(fd, "s", 1);
  errno = saved;
}

void OnTerminate(int sig) {
  gTermination = sig;
  Wake();
}
void OnResize(int) {
  gResized = 1;
  Wake();
}
void OnStop(int) {
  gStop = 1;
  Wake();
}
void OnContinue(int) {
  gContinued = 1;
  Wake();
}

void OnCrash(int sig) {
  // Only async-signal-safe calls: put the terminal back as it was (modes,
  // alternate screen, cursor), then die of the signal.
  exit_guard::RestoreNow();
  signal(sig, SIG_DFL);
  raise(sig);
}

void Handle(int sig, void (*handler)(int), int flags) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = flags;  // no SA_RESTART: a sleep ends so the flag is seen
  sigaction(sig, &sa, nullptr);
}

}  // namespace

void SignalWatch::Install() {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) Handle(sig, OnTerminate, 0);
  Handle(SIGWINCH, OnResize, 0);
  // Our own handler, so the curses library installs none: its handler would
  // draw from whichever thread the signal reached.
  Handle(SIGTSTP, OnStop, 0);
  Handle(SIGCONT, OnContinue, 0);
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) Handle(sig, OnCrash, SA_RESETHAND);
}

void SignalWatch::SetWakeFd(int fd) { gWakeFd = fd; }

int SignalWatch::PendingTermination() { return gTermination; }

bool SignalWatch::TakeResize() { return gResized.exchange(0) != 0; }

bool SignalWatch::TakeStop() { return gStop.exchange(0) != 0; }

bool SignalWatch::TakeContinued() { return gContinued.exchange(0) != 0; }

}  // namespace qb7
