// What the process is granted beyond an ordinary one, taken once at the
// start and then given up: real-time scheduling for the program thread
// where the system allows it, then no capability at all.
#pragma once

namespace qb7 {

struct RealTimeGrant {
  bool fifo = false;    // the calling thread runs under SCHED_FIFO
  bool locked = false;  // all memory is locked, present and future
};

// The priority asked for: low among real-time threads, above every normal one.
inline constexpr int kRealTimePriority = 10;

// Asks for SCHED_FIFO for the calling thread (its children and new threads
// start at normal scheduling) and for its memory to stay in RAM. Each is
// taken where the system grants it (root, CAP_SYS_NICE or an RLIMIT_RTPRIO
// above 0; memory only when the lock limit is or can be made unlimited, so
// that no later allocation can fail for it); otherwise the program goes on
// without a word.
RealTimeGrant RequestRealTime();

// True when the process holds the capability (a CAP_ value) in effect.
bool HoldsCapability(int capability);

// Drops every capability of the process for good: effective, permitted,
// inheritable, ambient, and (where the process may) the bounding set, so
// that not even a child run as root gets one back. Call it while the
// process has one thread; port access and scheduling already granted stay.
void DropAllCapabilities();

}  // namespace qb7
