// Real x86 port access on Linux: ioperm for the board's ports, /dev/port
// when ioperm cannot be had.
#pragma once
#include <memory>
#include <string>

#include "board/port_io.hpp"

namespace qb7 {

class HardwarePorts final : public PortIo {
 public:
  // Obtains access to 0x352..0x353 and 0x2A4. On failure returns null and
  // sets why to one line naming the ports, the reason and the remedy.
  static std::unique_ptr<HardwarePorts> Open(std::string& why);
  ~HardwarePorts() override;

  void Write(uint16_t port, uint8_t value) override;
  uint8_t Read(uint16_t port) override;

 private:
  explicit HardwarePorts(int devPortFd) : devPortFd_(devPortFd) {}
  int devPortFd_;  // -1 when ioperm gave direct access
};

}  // namespace qb7
