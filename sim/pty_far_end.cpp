#include "sim/pty_far_end.hpp"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace qb7::sim {

std::unique_ptr<PtyFarEnd> PtyFarEnd::Start(const std::string& command, int baud,
                                            std::string& why) {
  termios raw{};
  cfmakeraw(&raw);
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, &raw, nullptr);
  if (pid < 0) {
    why = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    return nullptr;
  }
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  return std::unique_ptr<PtyFarEnd>(new PtyFarEnd(master, pid, baud));
}

PtyFarEnd::~PtyFarEnd() {
  Hangup();
  if (child_ > 0) {
    kill(child_, SIGHUP);
    kill(child_, SIGTERM);
    waitpid(child_, nullptr, 0);
  }
}

void PtyFarEnd::Hangup() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void PtyFarEnd::OnByte(uint8_t byte, uint64_t) {
  if (master_ < 0) return;
  ssize_t n;
  do {
    n = write(master_, &byte, 1);
  } while (n < 0 && errno == EINTR);
}

void PtyFarEnd::Poll(uint64_t nowUs) {
  if (master_ < 0) return;
  char buf[4096];
  // Take no more than the line can carry soon: the rest waits in the
  // pseudo-terminal, whose flow control then holds the program back.
  constexpr uint64_t kBacklog = 16384;
  while (outbox_.Waiting() < kBacklog) {
    ssize_t n = read(master_, buf, sizeof buf);
    if (n > 0) {
      outbox_.Send(std::string_view(buf, static_cast<std::size_t>(n)), nowUs);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    // End of file or EIO: the program has ended; the line stays silent.
    Hangup();
    return;
  }
}

}  // namespace qb7::sim
