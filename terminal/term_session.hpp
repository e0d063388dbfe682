// The terminal session over the selected console line: programs the UART,
// shows the status line, then polls: received bytes go through the
// interpreter to the screen and "Term.txt"; keys are sent, play macros,
// show the help or leave.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "console/keys.hpp"

namespace qb7 {

struct Machine;

inline constexpr std::string_view kLogFileName = "Term.txt";
inline constexpr std::string_view kLogNotWritten = "Log not written: ";
inline constexpr std::string_view kStatusText = "     <Fx>Macro  <SF1>Help  <SF2>Exit  Baud: ";
inline constexpr int kUartClock = 125000000;

// The macro slot a key plays (1..24), or 0 for a key that plays none.
int MacroSlotForKey(std::string_view key);

// How long the session sleeps between looks at the receive FIFO at a baud,
// so that the FIFO is never more than about half full at a look. When the
// line is quiet: half the time the FIFO takes to fill. While bytes flow:
// as long as leaves kLateWakeUpUs of the fill time in hand against a wake-up
// that comes late, but at least a quarter and at most half of the fill time
// (115200: 5.5 ms; 921600: 0.34 ms). Never more than 30 ms, never less than
// 100 us. It always sleeps: a loop that spins costs a core and, under
// real-time priority, is throttled by the kernel.
inline constexpr uint64_t kLateWakeUpUs = 5000;  // a late wake-up often seen on a busy PC
struct PollTiming {
  uint64_t idleUs;
  uint64_t busyUs;
};
PollTiming PollTimingFor(int baud);

// Runs until the operator presses Shift-F2.
void TermSession(Machine& machine, const std::string& title, int baud);

}  // namespace qb7
