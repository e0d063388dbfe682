// Test helper: shows the key codes the terminal thread decodes, one
// line per key ("255 59"), until q. Used by the tmux tests.
#include <string>

#include "console/clock.hpp"
#include "console/console.hpp"
#include "console/program_exit.hpp"
#include "os/signal_watch.hpp"
#include "terminal/curses_terminal.hpp"
#include "terminal/terminal_thread.hpp"

int main() {
  using namespace qb7;
  int status = 0;
  {
    CursesTerminal terminal;
    SignalWatch::Install();
    TerminalThread frontend(terminal);
    RealClock clock;
    Console console(frontend, clock);
    try {
      console.WriteText("keyprobe ready", true);
      for (;;) {
        KeyCode key = console.WaitKey();
        if (key == "q") break;
        std::string line = "key:";
        for (unsigned char b : key) line += " " + std::to_string(b);
        console.WriteText(line, true);
      }
    } catch (const ProgramExit& e) {
      status = e.status;
    }
    console.Present();
    frontend.Shutdown();
  }
  return status;
}
