// qb7uart: the program on the real QB7 board.
#include <cstdio>

#include "app/launch.hpp"
#include "app/program_locks.hpp"
#include "board/hardware_ports.hpp"

int main(int argc, char** argv) {
  if (const int status = qb7::AnswerArguments(argc, argv); status >= 0) return status;
  // Before the ports are touched: another copy on the board would
  // interleave its index and data writes with ours.
  const auto board = qb7::LockBoard("qb7uart");
  if (!board) return 1;
  const auto logs = qb7::LockLogs("qb7uart");
  if (!logs) return 1;
  std::string why;
  auto ports = qb7::HardwarePorts::Open(why);
  if (!ports) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
  }
  if (qb7::RefuseUnusableTerminal("qb7uart")) return 1;
  qb7::SettlePrivileges();
  qb7::RealClock clock;
  return qb7::Leave(qb7::RunInTerminal(*ports, clock, qb7::ChildPolicy{ports->Granted()}));
}
