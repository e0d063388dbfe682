// Signals that end the program or change the terminal. A signal handler can
// only set a flag (and wake the terminal thread through its pipe), so the flags
// live here, in the one place of the program with static state; the
// threads poll them.
#pragma once

namespace qb7 {

class SignalWatch {
 public:
  // Installs the handlers for SIGINT, SIGTERM, SIGHUP (end), SIGWINCH
  // (resize), SIGTSTP (stop with the terminal given back) and the crash
  // signals (restore the terminal as the exit guard knows it, then die as
  // the signal says).
  static void Install();
  // A descriptor that each handled signal writes a byte to, so a thread
  // asleep in poll() wakes up; -1 for none.
  static void SetWakeFd(int fd);
  // The terminating signal received, or 0.
  static int PendingTermination();
  // True once after each resize.
  static bool TakeResize();
  // True once after each request to stop (SIGTSTP).
  static bool TakeStop();
  // True once after each continuation (SIGCONT), which follows a stop.
  static bool TakeContinued();
};

}  // namespace qb7
