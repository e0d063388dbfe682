// The index/data protocol seen from the bus: which register each access at
// the data port reaches. For whatever watches the ports from outside the
// driver (the tests' recording port, the soak's timing of the looks).
#pragma once
#include <cstdint>

#include "board/board_registers.hpp"

namespace qb7::board {

class RegisterSelection {
 public:
  static constexpr int kNone = -1;

  // Follows one access; returns the register it reached, or kNone for a
  // selection itself and for any other port.
  int Follow(bool write, uint16_t port, uint8_t value) {
    if (write && port == kIndexPort) {
      selected_ = value;
      return kNone;
    }
    return port == kDataPort ? selected_ : kNone;
  }
  int Selected() const { return selected_; }

 private:
  int selected_ = kNone;
};

}  // namespace qb7::board
