// The program-wide values, in one object passed by reference: the console,
// the files, the board register port with the UART on it, the configuration
// store and the current colours.
#pragma once
#include "board/board_registers.hpp"
#include "board/register_port.hpp"
#include "board/uart.hpp"
#include "config/store.hpp"
#include "console/child_start.hpp"
#include "console/console.hpp"
#include "console/files.hpp"
#include "terminal/term_colour.hpp"

namespace qb7 {

struct Machine {
  Machine(Console& c, Files& f, PortIo& io)
      : console(c), files(f), board(io), uart(board, c, board.dataPort, uartBase) {}

  Console& console;
  Files& files;
  RegisterPort board;  // data port, auxiliary port
  int uartBase = board::kUartBase;
  Uart uart;
  Store store;
  CurrentColours colours;
  ChildPolicy children;  // what the programs the tool starts must not inherit
};

}  // namespace qb7
