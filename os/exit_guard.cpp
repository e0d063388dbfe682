#include "os/exit_guard.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qb7::exit_guard {

namespace {

bool gInstalled = false;
bool gHaveOriginal = false;
termios gOriginal{};
// Written by the thread that takes and gives back the terminal, read by an
// exit handler or a crash handler on whichever thread: a lock-free atomic,
// the one kind of shared value a signal handler may read.
std::atomic<bool> gHeld{false};
static_assert(std::atomic<bool>::is_always_lock_free);
// Colours reset, the alternate screen left, the cursor shown.
constexpr char kScreenBack[] = "\033[0m\033[?1049l\033[?25h\r\n";
std::string gRestore = kScreenBack;
// During a set-up step: the saved standard error, the pipe the library's
// complaints go to, and what the step is.
int gSavedStderr = -1;
int gComplaints = -1;
const char* gSettingUp = nullptr;

void PutTerminalBack() {
  if (gHaveOriginal) tcsetattr(STDIN_FILENO, TCSANOW, &gOriginal);
  (void)!write(STDOUT_FILENO, gRestore.data(), gRestore.size());
}

void OnExit() {
  if (gHeld.exchange(false)) PutTerminalBack();
  if (gSettingUp == nullptr) return;
  // A library ended the program while setting up: its own words, read back,
  // decide how the operator hears of it.
  char said[512] = {0};
  const ssize_t n = read(gComplaints, said, sizeof said - 1);
  dup2(gSavedStderr, STDERR_FILENO);
  const bool memory = n > 0 && (std::strstr(said, "memory") || std::strstr(said, "Memory"));
  if (memory) {
    std::fprintf(stderr, "qb7uart: out of memory while %s\n", gSettingUp);
  } else {
    if (n > 0 && said[n - 1] == '\n') said[n - 1] = 0;
    std::fprintf(stderr, "qb7uart: %s failed%s%s\n", gSettingUp, n > 0 ? ": " : "",
                 n > 0 ? said : "");
  }
}

void Register() {
  if (gInstalled) return;
  gInstalled = true;
  std::atexit(OnExit);
}

}  // namespace

void Install(const termios* original, const std::string& modesOff) {
  if (original) {
    gOriginal = *original;
    gHaveOriginal = true;
  }
  gRestore = modesOff + kScreenBack;
  Register();
}

void TerminalHeld(bool held) { gHeld.store(held); }

void BeginSetUp(const char* what) {
  Register();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  std::fflush(stderr);
  gSavedStderr = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  if (gSavedStderr < 0) {
    close(fds[0]);
    close(fds[1]);
    return;
  }
  dup2(fds[1], STDERR_FILENO);
  close(fds[1]);
  gComplaints = fds[0];
  gSettingUp = what;
}

void EndSetUp() {
  if (gSettingUp == nullptr) return;
  std::fflush(stderr);
  dup2(gSavedStderr, STDERR_FILENO);
  close(gSavedStderr);
  close(gComplaints);
  gSavedStderr = gComplaints = -1;
  gSettingUp = nullptr;
}

void RestoreNow() {
  if (gHeld.load()) PutTerminalBack();
}

}  // namespace qb7::exit_guard
