// The terminal put back however the process ends, and a library's exit
// told in the program's own words. ncurses ends the process with exit()
// from deep inside when it runs out of memory while it sets the terminal
// up, after it has put the terminal in raw mode; an exit handler is the only
// place left to restore it. Like the signal flags, the little this needs
// is static (an exit handler takes no arguments), and nothing else is.
#pragma once
#include <termios.h>

#include <string>

namespace qb7::exit_guard {

// Registers the exit handler (once) with the settings to restore and the
// bytes that switch off the modes the program switched on; leaving the
// alternate screen and showing the cursor follow them always.
void Install(const termios* original, const std::string& modesOff = {});
// Whether the program holds the terminal now: only then does an exit put
// it back.
void TerminalHeld(bool held);
// Around a set-up step that a library may end with exit(): what the library
// would print is kept back, and if it exits, one line says what failed
// ("qb7uart: out of memory while setting up the terminal") instead.
void BeginSetUp(const char* what);
void EndSetUp();
// Puts the terminal back now, if the program holds it: for the crash
// handler. Only async-signal-safe calls.
void RestoreNow();

}  // namespace qb7::exit_guard
