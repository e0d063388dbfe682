// Start-up and the route menu: prepares the console and the program-wide
// values, reads the configuration, then loops on the menu that wires the
// UART to a console line, pulses the VSC7420 reset, or quits.
#pragma once
#include <array>
#include <string_view>

namespace qb7 {

struct Machine;

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

// Ctrl-R: the VSC7420's session (route 0) with its reset pulsed once the
// session receives.
inline constexpr std::string_view kResetAndCapture = "\x12";

// Runs start-up, then the menu until Q (or a message line's Home) ends the
// program by throwing ProgramExit.
void RunQb7Uart(Machine& machine);

}  // namespace qb7
