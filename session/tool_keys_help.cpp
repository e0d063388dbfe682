#include "session/tool_keys_help.hpp"

namespace qb7 {

std::vector<std::string> MenuKeyRows() {
  return {
      "In the menu",
      " 0..5     open the session of that route",
      " Ctrl-R   route 0, then the VSC7420's reset: its boot from the first byte",
      " R        the reset alone (a session opened after it misses the boot's start)",
      " Q        quit                     F1, ?, Shift-F1  this list",
  };
}

std::vector<std::string> SessionKeyRows(bool ctrlCSent) {
  return {
      "In a session",
      " F1..F12, Shift-F3..F12  the macros of Qb7_Uart.cfg    Shift-F1  this help",
      " Shift-F2  back to the menu            Ctrl-Z  sends Ctrl-C to the board",
      ctrlCSent ? " Ctrl-C    sent to the board (#CTRLC SEND in Qb7_Uart.cfg)"
                : " Ctrl-C    ends the program at once, the log complete",
      " Shift-PgUp, the mouse wheel  the history",
      "In the history",
      " Shift-PgUp/PgDn, the wheel  scroll     /  search     n, N  next, earlier match",
      " t  times in the gutter (again: against the last boot)   q, Esc  back to live",
      " b  the line speed, now (Qb7_Uart.cfg stays as it is)   m  a mark in Term.times",
      " x  the bytes of the rows in view, in hex (from Term.raw)   s  save to a file",
  };
}

}  // namespace qb7
