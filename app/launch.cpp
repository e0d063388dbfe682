#include "app/launch.hpp"

#include <csignal>
#include <cstdio>

#include "app/machine.hpp"
#include "app/route_menu.hpp"
#include "console/curses_frontend.hpp"
#include "console/program_exit.hpp"

namespace qb7 {

int RunInTerminal(PortIo& ports, Clock& clock) {
  ProgramExit ending;
  {
    CursesFrontend frontend;
    Console console(frontend, clock);
    Files files(Files::ExecutableFolder());
    Machine machine(console, files, ports);
    try {
      RunQb7Uart(machine);
    } catch (const ProgramExit& e) {
      ending = e;
    }
    // Everything received so far reaches the disk before the terminal goes.
    files.CloseAll();
    frontend.Shutdown();
  }
  std::fflush(nullptr);
  if (ending.signal != 0) {
    std::signal(ending.signal, SIG_DFL);
    std::raise(ending.signal);
  }
  return ending.status;
}

}  // namespace qb7
