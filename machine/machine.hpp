// The program-wide values, in one object passed by reference: the console,
// the files and the log's writer, the board register port with the UART on it, the configuration
// store, the current colours and what the programs the tool starts must not
// inherit. The mains build it; the menu, the session and the macro player
// work on it.
#pragma once
#include <string_view>

#include "board/board_registers.hpp"
#include "board/register_port.hpp"
#include "board/uart.hpp"
#include "config/store.hpp"
#include "console/console.hpp"
#include "process/child_start.hpp"
#include "os/files.hpp"
#include "log/log_writer.hpp"
#include "screen/screen.hpp"

namespace qb7 {

// What happened during a session that its log's times should hold (an
// external program started and ended), told by whoever saw it.
class SessionEvents {
 public:
  virtual ~SessionEvents() = default;
  virtual void Note(std::string_view what) = 0;
};

struct Machine {
  Machine(Console& c, Files& f, PortIo& io, LogWriter& l)
      : console(c), files(f), log(l), board(io), uart(board, c, board.dataPort, uartBase) {}

  Console& console;
  Files& files;
  LogWriter& log;  // the session log's writer
  RegisterPort board;  // data port, auxiliary port
  int uartBase = board::kUartBase;
  Uart uart;
  Store store;
  // The current colours: foreground 0..15, background 0..7; left as the far
  // end set them when a session ends.
  ColourPair colours;
  ChildPolicy children;  // what the programs the tool starts must not inherit
  // The session running now, to be told of events; null outside one.
  SessionEvents* events = nullptr;
  // Bytes received that reached neither Term.txt nor a message line: for
  // the end of the program to tell.
  uint64_t untoldLoss = 0;
};

}  // namespace qb7
