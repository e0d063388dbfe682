// Signals that end the program or change the terminal. A signal handler can
// only set a flag, so the flags live here, in the one place of the program
// with static state; the front end polls them.
#pragma once
#include <termios.h>

namespace qb7 {

class SignalWatch {
 public:
  // Installs the handlers for SIGINT, SIGTERM, SIGHUP (end), SIGWINCH
  // (resize) and the crash signals (restore the terminal, then die as the
  // signal says). Remembers the terminal settings to restore on a crash.
  static void Install(const termios* original);
  // The terminating signal received, or 0.
  static int PendingTermination();
  // True once after each resize.
  static bool TakeResize();
};

}  // namespace qb7
