// Real x86 port access on Linux: ioperm for the board's ports, /dev/port
// when ioperm cannot be had.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "board/port_io.hpp"
#include "process/child_start.hpp"

namespace qb7 {

class HardwarePorts final : public PortIo {
 public:
  // Obtains access to 0x352..0x353 and 0x2A4. On failure returns null and
  // sets why to one line naming the ports, the reason and the remedy.
  static std::unique_ptr<HardwarePorts> Open(std::string& why);
  ~HardwarePorts() override;

  void Write(uint16_t port, uint8_t value) override;
  uint8_t Read(uint16_t port) override;

  // The port ranges held by ioperm (none through /dev/port, whose
  // descriptor is close-on-exec): what every child must give up.
  std::vector<IoRange> Granted() const;

 private:
  explicit HardwarePorts(int devPortFd) : devPortFd_(devPortFd) {}
  int devPortFd_;  // -1 when ioperm gave direct access
};

// The refusal line for the errno values of the two ways in (0: that way was
// not tried), whether the process held CAP_SYS_RAWIO, and the executable's
// path. The remedy named is the one that can help: a privilege when one was
// missing, another kernel when this one offers neither way.
std::string PortRefusal(int iopermError, int devPortError, bool privileged,
                        const std::string& executable);

}  // namespace qb7
