#include "board/hardware_ports.hpp"

#include <fcntl.h>
#include <sys/capability.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "board/board_registers.hpp"
#include "os/files.hpp"
#include "process/privileges.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define QB7_HAVE_PORT_IO 1
#endif

namespace qb7 {

namespace {

bool IsPermission(int error) { return error == EPERM || error == EACCES; }

}  // namespace

std::string PortRefusal(int iopermError, int devPortError, bool privileged,
                        const std::string& executable) {
  std::string why = "qb7uart: cannot access the QB7 board's I/O ports 0x352-0x353 and 0x2A4 (";
  if (iopermError == 0)
    why += "no x86 port instructions on this machine";
  else if (iopermError == ENOSYS)
    why += "this kernel has no ioperm: built without CONFIG_X86_IOPL_IOPERM";
  else
    why += std::string("ioperm: ") + std::strerror(iopermError);
  why += "; ";
  if (devPortError == ENOENT)
    why += "no /dev/port: built without CONFIG_DEVPORT";
  else
    why += std::string("/dev/port: ") + std::strerror(devPortError);
  why += "); ";
  const bool deniedForLackOfPrivilege =
      !privileged && (IsPermission(iopermError) || IsPermission(devPortError));
  if (deniedForLackOfPrivilege)
    why += "run it as root, or grant it once with: setcap cap_sys_rawio,cap_sys_nice+ep " +
           executable;
  else if (IsPermission(iopermError) || IsPermission(devPortError))
    why += "the kernel refuses port access even with CAP_SYS_RAWIO: see "
           "/sys/kernel/security/lockdown";
  else
    why += "run it on a kernel built with CONFIG_X86_IOPL_IOPERM or CONFIG_DEVPORT";
  return why;
}

std::unique_ptr<HardwarePorts> HardwarePorts::Open(std::string& why) {
  int iopermError = 0;
#ifdef QB7_HAVE_PORT_IO
  if (ioperm(board::kDataPort, 2, 1) == 0 && ioperm(board::kAuxPort, 1, 1) == 0)
    return std::unique_ptr<HardwarePorts>(new HardwarePorts(-1));
  iopermError = errno;
  ioperm(board::kDataPort, 2, 0);  // nothing half-granted stays
#endif
  int fd = open("/dev/port", O_RDWR | O_CLOEXEC);
  if (fd >= 0) return std::unique_ptr<HardwarePorts>(new HardwarePorts(fd));
  const int devPortError = errno;
  const std::string executable = Files::ExecutablePath();
  why = PortRefusal(iopermError, devPortError, HoldsCapability(CAP_SYS_RAWIO),
                    executable.empty() ? "qb7uart" : executable);
  return nullptr;
}

HardwarePorts::~HardwarePorts() {
  if (devPortFd_ >= 0) close(devPortFd_);
}

std::vector<IoRange> HardwarePorts::Granted() const {
  if (devPortFd_ >= 0) return {};
  return {{board::kDataPort, 2}, {board::kAuxPort, 1}};
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
