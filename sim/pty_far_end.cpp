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

#include "process/child_start.hpp"

namespace qb7::sim {

namespace {

// The shell's own words for a command it could not start ("sh: 1: x: not
// found" gives "x: not found"), from what it wrote on the terminal.
std::string ShellComplaint(int master) {
  std::string out;
  char buf[512];
  ssize_t n;
  while ((n = read(master, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  const std::size_t lineStart = out.find_last_of("\r\n");
  std::string line = lineStart == std::string::npos ? out : out.substr(lineStart + 1);
  if (line.rfind("sh: ", 0) == 0) {
    const std::size_t colon = line.find(": ", 4);
    if (colon != std::string::npos) line = line.substr(colon + 2);
  }
  return line;
}

}  // namespace

std::unique_ptr<PtyFarEnd> PtyFarEnd::Start(const std::string& command, int baud,
                                            std::string& why) {
  termios raw{};
  cfmakeraw(&raw);
  int master = -1;
  SystemChildCalls calls;
  pid_t pid = forkpty(&master, nullptr, &raw, nullptr);
  if (pid < 0) {
    why = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    return nullptr;
  }
  if (pid == 0) {
    PrepareChild(ChildPolicy{}, calls);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  fcntl(master, F_SETFD, FD_CLOEXEC);

  // A command the shell cannot start ends at once with status 127 (not
  // found) or 126 (not executable): watch for that a moment, so that the
  // simulator can say so before the screen opens.
  for (int waited = 0; waited < kStartCheckMs; waited += 10) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      if (WIFEXITED(status) && (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127)) {
        why = "cannot start: " + ShellComplaint(master) + " (exit status " +
              std::to_string(WEXITSTATUS(status)) + ")";
        close(master);
        return nullptr;
      }
      // It ran and ended: its output, if any, still goes on the line.
      pid = -1;
      break;
    }
    usleep(10000);
  }
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
