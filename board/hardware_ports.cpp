#include "board/hardware_ports.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "board/board_registers.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define QB7_HAVE_PORT_IO 1
#endif

namespace qb7 {

std::unique_ptr<HardwarePorts> HardwarePorts::Open(std::string& why) {
  std::string iopermWhy = "no x86 port instructions on this machine";
#ifdef QB7_HAVE_PORT_IO
  if (ioperm(board::kDataPort, 2, 1) == 0 && ioperm(board::kAuxPort, 1, 1) == 0)
    return std::unique_ptr<HardwarePorts>(new HardwarePorts(-1));
  iopermWhy = std::string("ioperm: ") + std::strerror(errno);
#endif
  int fd = open("/dev/port", O_RDWR | O_CLOEXEC);
  if (fd >= 0) return std::unique_ptr<HardwarePorts>(new HardwarePorts(fd));
  std::string devWhy = std::string("/dev/port: ") + std::strerror(errno);
  why =
      "qb7uart: cannot access the QB7 board's I/O ports 0x352-0x353 and 0x2A4 (" + iopermWhy +
      "; " + devWhy +
      "); run as root, or grant the capability with: setcap cap_sys_rawio+ep qb7uart";
  return nullptr;
}

HardwarePorts::~HardwarePorts() {
  if (devPortFd_ >= 0) close(devPortFd_);
}

void HardwarePorts::Write(uint16_t port, uint8_t value) {
  if (devPortFd_ >= 0) {
    (void)!pwrite(devPortFd_, &value, 1, port);
    return;
  }
#ifdef QB7_HAVE_PORT_IO
  outb(value, port);
#endif
}

uint8_t HardwarePorts::Read(uint16_t port) {
  uint8_t value = 0xFF;
  if (devPortFd_ >= 0) {
    (void)!pread(devPortFd_, &value, 1, port);
    return value;
  }
#ifdef QB7_HAVE_PORT_IO
  value = inb(port);
#endif
  return value;
}

}  // namespace qb7
