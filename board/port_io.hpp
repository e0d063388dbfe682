// Byte-wide x86 I/O port access: the one door to the board. The hardware
// layer and the simulated board both stand behind it.
#pragma once
#include <cstdint>

namespace qb7 {

class PortIo {
 public:
  virtual ~PortIo() = default;
  virtual void Write(uint16_t port, uint8_t value) = 0;
  virtual uint8_t Read(uint16_t port) = 0;
};

}  // namespace qb7
