#include "app/route_menu.hpp"

#include <unistd.h>

#include <string>

#include "board/reset_pulse.hpp"
#include "config/config_loader.hpp"
#include "console/program_exit.hpp"
#include "machine/machine.hpp"
#include "session/term_session.hpp"
#include "text/ascii.hpp"

namespace qb7 {

namespace {

void StartUp(Machine& m) {
  m.console.SetExitBackground(0);
  // The key-name constants are compile-time constants: nothing to set.
  // Work in the program's own folder, so the configuration and the log live
  // beside it. A failure is not fatal: the start directory is used then.
  (void)!chdir(m.files.ProgramFolder().c_str());
  m.console.ClearScreen();
  m.colours = {7, 0};
  m.console.SetColours(7, 0);
  m.console.SetPosition(1, 1);
  LoadConfiguration(m.console, m.files, m.store);
  m.board.auxPort = board::kAuxPort;
  m.board.dataPort = board::kDataPort;
  m.uartBase = board::kUartBase;
  m.board.WriteByte(m.board.auxPort, 0);
}

void DrawMenu(Machine& m) {
  m.console.ClearScreen();
  for (std::string_view row : kMenuRows) m.console.WriteText(row, true);
}

}  // namespace

void RunQb7Uart(Machine& m) {
  StartUp(m);
  for (;;) {
    DrawMenu(m);
    const std::string key = UpperCase(m.console.WaitKey());
    if (key.size() == 1 && key[0] >= '0' && key[0] <= '5') {
      const int route = key[0] - '0';
      m.board.WriteRegister(board::kRouteRegister, route);
      m.console.ClearScreen();
      TermSession(m, std::string(kRouteTitles[route]), m.store.baud, {route, false});
    } else if (key == "R") {
      PulseReset(m.board, m.console);
    } else if (key == kResetAndCapture) {
      // The VSC7420's session, then its reset once the session receives:
      // the boot from its first byte.
      m.board.WriteRegister(board::kRouteRegister, 0);
      m.console.ClearScreen();
      TermSession(m, std::string(kRouteTitles[0]), m.store.baud, {0, true});
    } else if (key == "Q") {
      m.board.WriteRegister(board::kRouteRegister, 0);
      throw ProgramExit{0, 0};
    }
  }
}

}  // namespace qb7
