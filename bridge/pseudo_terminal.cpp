#include "bridge/pseudo_terminal.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qb7 {

std::unique_ptr<PseudoTerminal> PseudoTerminal::Open(const std::string& link, std::string& error) {
  std::unique_ptr<PseudoTerminal> pty(new PseudoTerminal);
  pty->master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  char name[128];
  if (pty->master_ < 0 || grantpt(pty->master_) != 0 || unlockpt(pty->master_) != 0 ||
      ptsname_r(pty->master_, name, sizeof name) != 0) {
    error = std::string("no pseudo-terminal: ") + std::strerror(errno);
    return nullptr;
  }
  pty->path_ = name;
  const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios raw{};
  if (slave < 0 || tcgetattr(slave, &raw) != 0) {
    error = pty->path_ + ": " + std::strerror(errno);
    if (slave >= 0) close(slave);
    return nullptr;
  }
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  close(slave);
  if (!link.empty()) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) {
        error = "--link " + link + ": something other than a link is there; left as it is";
        return nullptr;
      }
      unlink(link.c_str());
    }
    if (symlink(name, link.c_str()) != 0) {
      error = "--link " + link + ": " + std::strerror(errno);
      return nullptr;
    }
    pty->link_ = link;
  }
  return pty;
}

PseudoTerminal::~PseudoTerminal() {
  // The link goes with the line, if it is still ours.
  if (!link_.empty()) {
    char target[256];
    const ssize_t n = readlink(link_.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == path_) unlink(link_.c_str());
  }
  if (master_ >= 0) close(master_);
}

}  // namespace qb7
