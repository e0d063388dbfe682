#include "app/launch.hpp"

#include <csignal>
#include <cstdio>

#include "app/machine.hpp"
#include "app/route_menu.hpp"
#include "console/curses_frontend.hpp"
#include "console/program_exit.hpp"

namespace qb7 {

int RunInTerminal(PortIo& ports, Clock& clock) {
  ProgramExit exit;
  {
    CursesFrontend frontend;
    Console console(frontend, clock);
    Files files(Files::ExecutableFolder());
    Machine machine(console, files, ports);
    try {
      RunQb7Uart(machine);
    } catch (const ProgramExit& e) {
      exit = e;
    }
    // Everything received so far reaches the disk before the terminal goes.
    files.CloseAll();
    frontend.Shutdown();
  }
  std::fflush(nullptr);
  if (exit.signal != 0) {
    std::signal(exit.signal, SIG_DFL);
    std::raise(exit.signal);
  }
  return exit.status;
}

}  // namespace qb7
