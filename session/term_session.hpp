// The terminal session over the selected console line: programs the UART,
// shows the status line, then polls: received bytes go through the
// interpreter to the screen and "Term.txt"; keys are sent, play macros,
// show the help or leave.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "keys/keys.hpp"

namespace qb7 {

struct Machine;

inline constexpr std::string_view kTextLost = "Text lost while a message waited: ";
inline constexpr std::string_view kStatusText = "     <Fx>Macro  <SF1>Help  <SF2>Exit  Baud: ";

// The macro slot a key plays (1..24), or 0 for a key that plays none.
int MacroSlotForKey(std::string_view key);

// How long the session sleeps between looks at the receive FIFO at a baud,
// so that the FIFO is never more than about half full at a look: half the
// time the FIFO takes to fill when the line is quiet, a quarter of it while
// bytes flow (115200: 5.5 and 2.8 ms; 921600: 0.69 and 0.34 ms); never more
// than 30 ms, never less than 100 us. It always sleeps: a loop that spins
// costs a core and, under real-time priority, is throttled by the kernel.
struct PollTiming {
  uint64_t idleUs;
  uint64_t busyUs;
};
PollTiming PollTimingFor(int baud);

// How a session starts: the route it runs on (for the times beside its
// log), and whether the VSC7420's reset is pulsed as soon as the session
// receives, so that the boot is captured from its first byte.
struct SessionStart {
  int route = -1;
  bool resetOnceReceiving = false;
};

// Runs until the operator presses Shift-F2.
void TermSession(Machine& machine, const std::string& title, int baud,
                 const SessionStart& start = {});

}  // namespace qb7
