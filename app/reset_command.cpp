#include "app/reset_command.hpp"

#include <cstdio>

#include "board/board_registers.hpp"
#include "board/register_port.hpp"
#include "os/reset_channel.hpp"

namespace qb7 {

int AskHolderToReset(const std::string& program, const std::string& folder) {
  std::string answer;
  const int asked = AskReset(folder, answer);
  if (asked == 0) return -1;
  std::fprintf(asked > 0 && answer.rfind("ok", 0) == 0 ? stdout : stderr, "%s: %s\n", program.c_str(),
               answer.c_str());
  return asked > 0 && answer.rfind("ok", 0) == 0 ? 0 : 1;
}

void PulseResetDirectly(PortIo& ports, Clock& clock) {
  RegisterPort board(ports);
  board.auxPort = board::kAuxPort;
  board.dataPort = board::kDataPort;
  board.WriteRegister(board::kResetRegister, board::kResetAsserted);
  clock.SleepUntilUs(clock.NowUs() + static_cast<uint64_t>(board::kResetPulseMs) * 1000);
  board.WriteRegister(board::kResetRegister, board::kResetReleased);
}

}  // namespace qb7
