#include "process/child_start.hpp"

#include <sched.h>
#include <signal.h>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define QB7_HAVE_PORT_IO 1
#endif

namespace qb7 {

namespace {
// Signals the program handles or ignores itself: a child starts with each
// at its default, as a shell would start it.
constexpr int kSignals[] = {SIGINT,  SIGQUIT, SIGTERM, SIGHUP,  SIGTSTP,
                            SIGTTIN, SIGTTOU, SIGPIPE, SIGWINCH, SIGCHLD};
}  // namespace

void SystemChildCalls::RevokePorts(const IoRange& range) {
#ifdef QB7_HAVE_PORT_IO
  // ioperm survives fork and exec: without this the child could drive the
  // board behind the program's back.
  ioperm(range.from, range.count, 0);
#else
  (void)range;
#endif
}

void SystemChildCalls::NormalScheduling() {
  sched_param normal{};
  sched_setscheduler(0, SCHED_OTHER, &normal);
}

void SystemChildCalls::DefaultSignal(int signal) {
  struct sigaction sa {};
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  sigaction(signal, &sa, nullptr);
}

void SystemChildCalls::UnblockSignals() {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

void PrepareChild(const ChildPolicy& policy, ChildCalls& calls) {
  for (const IoRange& range : policy.ports) calls.RevokePorts(range);
  calls.NormalScheduling();
  for (int signal : kSignals) calls.DefaultSignal(signal);
  calls.UnblockSignals();
}

}  // namespace qb7
