// Test helper: shows the key codes the terminal thread decodes, one
// line per key ("255 59"), until q. Used by the tmux tests.
#include <string>

#include "os/clock.hpp"
#include "console/console.hpp"
#include "os/program_exit.hpp"
#include "os/signal_watch.hpp"
#include "terminal/curses_terminal.hpp"
#include "terminal/terminal_thread.hpp"

int main() {
  using namespace qb7;
  int status = 0;
  {
    CursesTerminal terminal;
    SignalWatch::Install();
    TerminalThread terminalThread(terminal);
    RealClock clock;
    Console console(terminalThread, clock);
    try {
      console.WriteText("keyprobe ready", true);
      for (;;) {
        console.Present();
        clock.SleepUntilUs(clock.NowUs() + 10000);
        KeyCode key = console.ReadKey();
        if (key.empty()) continue;
        if (key == "q") break;
        std::string line = "key:";
        for (unsigned char b : key) line += " " + std::to_string(b);
        console.WriteText(line, true);
      }
    } catch (const ProgramExit& e) {
      status = e.status;
    }
    console.Present();
    terminalThread.Shutdown();
  }
  return status;
}
