#include "process/privileges.hpp"

#include <pthread.h>
#include <sched.h>
#include <sys/capability.h>
#include <sys/mman.h>
#include <sys/resource.h>

namespace qb7 {

RealTimeGrant RequestRealTime() {
  RealTimeGrant grant;
  sched_param param{};
  param.sched_priority = kRealTimePriority;
  // Reset on fork: whatever the program starts runs at normal scheduling.
  grant.fifo = sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;

  // With MCL_FUTURE every later mapping counts against the lock limit; a
  // limited one would make allocations fail once the capabilities are
  // gone, so memory is locked only under an unlimited limit.
  rlimit limit{};
  if (getrlimit(RLIMIT_MEMLOCK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    if (setrlimit(RLIMIT_MEMLOCK, &unlimited) == 0) limit = unlimited;
  }
  if (limit.rlim_cur == RLIM_INFINITY) grant.locked = mlockall(MCL_CURRENT | MCL_FUTURE) == 0;
  return grant;
}

bool HoldsCapability(int capability) {
  cap_t caps = cap_get_proc();
  if (!caps) return false;
  cap_flag_value_t value = CAP_CLEAR;
  cap_get_flag(caps, static_cast<cap_value_t>(capability), CAP_EFFECTIVE, &value);
  cap_free(caps);
  return value == CAP_SET;
}

void DropAllCapabilities() {
  // Emptying the bounding set needs CAP_SETPCAP (root has it). Without it
  // the process is not root, and its children get nothing anyway.
  if (HoldsCapability(CAP_SETPCAP))
    for (cap_value_t cap = 0; cap < static_cast<cap_value_t>(cap_max_bits()); ++cap)
      cap_drop_bound(cap);
  cap_reset_ambient();
  if (cap_t none = cap_init()) {
    cap_set_proc(none);
    cap_free(none);
  }
}

}  // namespace qb7
