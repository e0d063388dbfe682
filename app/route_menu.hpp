// Start-up and the route menu: prepares the console and the program-wide
// values, reads the configuration, then, as the mode of the program
// thread's loop, draws the menu that wires the UART to a console line,
// pulses the VSC7420 reset, or quits.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "machine/machine.hpp"
#include "session/program_loop.hpp"

namespace qb7 {

inline constexpr std::array<std::string_view, 16> kMenuRows = {
    "QB7 UART IO port 0x352:",
    "------------------------           ST1",
    "",
    " <0> UART352 <-> VSC7420           ---  5-pins J27 <-> DK22N Console",
    "                                   JP1  5-pins J27 <-> DK22N Console",
    "                                   JP2  5-pins J27 <-> DK22S Console",
    "                                   1+2  5-pins J27 <-> VSC   Console",
    "",
    " <1> UART352 <-> DK22N Console     XXX  5-pins J27 <-> VSC7420      ",
    " <2> UART352 <-> 5-pins J27        XXX  5-pins J27 <-> UART352      ",
    " <3> UART352 <-> DK22S Console     XXX  5-pins J27 <-> DK22N Console",
    " <4> UART352 <-> VSC7420           XXX  5-pins J27 <-> DK22N Console",
    " <5> UART352 <-> VSC7420           XXX  5-pins J27 <-> DK22S Console",
    "",
    " <R> Reset VSC7420                 <Q> Quit                         ",
    "",
};

inline constexpr std::array<std::string_view, 6> kRouteTitles = {
    "VSC7420 Console - NEL=f(ST1)", "DK22N Console - NEL=VSC", "CON-5Pins Console",
    "DK22S Console - NEL=QB7",      "VSC7420 Console - NEL=QB7", "VSC7420 Console - NEL=WJ9",
};

// Ctrl-R: the VSC7420's session (route 0) with its reset pulsed right after
// the session's first look at the receive FIFO.
inline constexpr std::string_view kResetAndCapture = "\x12";
// Said on the bottom row when pasted text reaches the menu.
inline constexpr std::string_view kPasteNotTaken = "Pasted text is not the menu's keys: ";

// The menu, polled for a key every 10 ms; a route opens its session, R
// pulses the reset, Q ends the program (ProgramExit), F1, ? and Shift-F1
// list every key of the tool until a key is pressed.
class RouteMenu final : public Mode {
 public:
  static constexpr uint64_t kKeyPollUs = 10000;

  RouteMenu(Machine& m, ProgramLoop& loop) : m_(m), loop_(loop) {}
  void Step() override;
  uint64_t NextStepUs() const override {
    return state_ == State::Waiting || state_ == State::Help ? nextPollUs_ : 0;
  }

 private:
  enum class State { StartUp, Draw, Waiting, Help };
  void ShowHelp();
  void Act(const std::string& key);

  Machine& m_;
  ProgramLoop& loop_;
  State state_ = State::StartUp;
  uint64_t nextPollUs_ = 0;
  uint64_t pastedDropped_ = 0;  // since the last key typed
};

// The board's ports as the program knows them, and the auxiliary port
// cleared: what the menu does before its first drawing, and a batch
// before its first boot.
void PrepareBoard(Machine& m);

// Runs start-up, then the menu until Q (or a message line's Home) ends the
// program by throwing ProgramExit.
void RunQb7Uart(Machine& machine);

}  // namespace qb7
