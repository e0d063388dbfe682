#include "console/signal_watch.hpp"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace qb7 {

namespace {

volatile sig_atomic_t gTermination = 0;
volatile sig_atomic_t gResized = 0;
termios gOriginal{};
bool gHaveOriginal = false;

void OnTerminate(int sig) { gTermination = sig; }
void OnResize(int) { gResized = 1; }

void OnCrash(int sig) {
  // Only async-signal-safe calls: put the terminal back as it was, leave
  // the alternate screen, show the cursor, then die of the signal.
  if (gHaveOriginal) tcsetattr(STDIN_FILENO, TCSANOW, &gOriginal);
  static const char kRestore[] = "\033[0m\033[?1049l\033[?25h\r\n";
  (void)!write(STDOUT_FILENO, kRestore, sizeof kRestore - 1);
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

void SignalWatch::Install(const termios* original) {
  if (original) {
    gOriginal = *original;
    gHaveOriginal = true;
  }
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) Handle(sig, OnTerminate, 0);
  Handle(SIGWINCH, OnResize, 0);
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) Handle(sig, OnCrash, SA_RESETHAND);
}

int SignalWatch::PendingTermination() { return gTermination; }

bool SignalWatch::TakeResize() {
  if (!gResized) return false;
  gResized = 0;
  return true;
}

}  // namespace qb7
