// The program-wide values, in one object passed by reference: the console,
// the files and the log's writer, the board register port with the UART on
// it, the configuration store, the current colours and what the programs
// the tool starts must not inherit. The mains build it; the program
// thread's loop, the menu and the session work on it.
#pragma once
#include <cstdint>
#include <functional>
#include <string_view>

#include "board/board_registers.hpp"
#include "board/register_port.hpp"
#include "board/uart.hpp"
#include "config/store.hpp"
#include "console/console.hpp"
#include "log/log_writer.hpp"
#include "os/files.hpp"
#include "os/reset_channel.hpp"
#include "process/child_start.hpp"
#include "screen/screen.hpp"

namespace qb7 {

struct Machine {
  Machine(Console& c, Files& f, PortIo& io, LogWriter& l)
      : console(c), files(f), log(l), board(io), uart(board, c.clock()) {}

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
  // Every byte received, exactly as it came, for another program at the
  // console link (null: none); it must never wait.
  std::function<void(std::string_view)> received;
  // Resets asked from outside (qb7uart --reset), where the program listens
  // for them (null: it does not).
  ResetListener* outsideResets = nullptr;
  // Bytes received that reached neither Term.txt nor a message line: for
  // the end of the program to tell.
  uint64_t untoldLoss = 0;
};

}  // namespace qb7
