// The VSC7420's reset pulse: the reset register to 1, 10 ms, back to 0.
// The route register is not touched.
#pragma once
#include "board/board_registers.hpp"
#include "board/register_port.hpp"
#include "console/console.hpp"

namespace qb7 {

inline constexpr int kResetPulseMs = 10;

inline void PulseReset(RegisterPort& board, Console& console) {
  board.WriteRegister(board::kResetRegister, 1);
  console.Pause(kResetPulseMs);
  board.WriteRegister(board::kResetRegister, 0);
}

}  // namespace qb7
