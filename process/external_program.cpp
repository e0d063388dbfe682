#include "process/external_program.hpp"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "os/files.hpp"
#include "os/signal_watch.hpp"

namespace qb7 {

namespace {

// How long a program that was passed SIGTERM or SIGHUP may take to end
// before it is killed.
constexpr int kGraceMs = 3000;
constexpr int kWaitStepMs = 10;

std::string QuoteForShell(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool IsExecutableOnPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  dirs += ':';
  std::string dir;
  for (char c : dirs) {
    if (c != ':') {
      dir += c;
      continue;
    }
    if (IsExecutableFile((dir.empty() ? std::string(".") : dir) + "/" + name)) return true;
    dir.clear();
  }
  return false;
}

// While the program runs, Ctrl-C and Ctrl-\ are its own, not the tool's, as
// system() has it; the child starts with them at their defaults.
class KeyboardSignalsIgnored {
 public:
  KeyboardSignalsIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGINT, &ignore, &oldInt_);
    sigaction(SIGQUIT, &ignore, &oldQuit_);
  }
  ~KeyboardSignalsIgnored() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGQUIT, &oldQuit_, nullptr);
  }

 private:
  struct sigaction oldInt_ {}, oldQuit_ {};
};

// Makes a process group the terminal's foreground, as a shell does for a
// job. SIGTTOU is blocked meanwhile: a process not in the foreground may
// otherwise not do it. Only async-signal-safe calls (the child uses it).
void SetForeground(pid_t group) {
  sigset_t ttou, old;
  sigemptyset(&ttou);
  sigaddset(&ttou, SIGTTOU);
  sigprocmask(SIG_BLOCK, &ttou, &old);
  tcsetpgrp(STDIN_FILENO, group);
  sigprocmask(SIG_SETMASK, &old, nullptr);
}

// Waits for the child to end; returns its status. A stop (Ctrl-Z) is undone
// at once, so nothing is left hanging. A terminating signal to the tool is
// passed to the child (and after the grace time SIGKILL); it is returned in
// forwarded. Polls in short steps, so no signal can slip by unseen; the
// terminal's lender goes on with its own work in each.
int WaitFor(pid_t pid, bool ownGroup, int& forwarded, TerminalLoan& terminal) {
  const pid_t target = ownGroup ? -pid : pid;
  int graceLeftMs = kGraceMs;
  forwarded = 0;
  for (;;) {
    int ws = 0;
    const pid_t r = waitpid(pid, &ws, WNOHANG | WUNTRACED);
    if (r == pid) {
      if (WIFSTOPPED(ws)) {
        kill(target, SIGCONT);
        continue;
      }
      return WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    }
    if (r < 0 && errno != EINTR) return -1;
    if (forwarded == 0) {
      if (int sig = SignalWatch::PendingTermination()) {
        forwarded = sig;
        kill(target, sig);
        kill(target, SIGCONT);  // a stopped program must see it too
      }
    } else if (graceLeftMs <= 0) {
      kill(target, SIGKILL);
    } else {
      graceLeftMs -= kWaitStepMs;
    }
    terminal.WhileLent(kWaitStepMs);
  }
}

}  // namespace

ProgramOutcome RunProgram(const std::string& folder, const ChildPolicy& policy,
                          const std::string& command, TerminalLoan& terminal) {
  ProgramOutcome outcome;
  if (command.empty()) return outcome;
  // The first word names the program; the rest are its arguments.
  std::size_t space = command.find(' ');
  std::string name = command.substr(0, space);
  std::string args = space == std::string::npos ? "" : command.substr(space);
  outcome.program = name;

  std::string line;
  if (auto found = Files::FindInFolder(folder, name)) {
    std::string path = folder + "/" + *found;
    outcome.program = path;
    if (access(path.c_str(), X_OK) != 0) {
      outcome.kind = ProgramOutcome::Kind::NotExecutable;
      outcome.error = EACCES;
      return outcome;
    }
    line = QuoteForShell(path) + args;
  } else if (IsExecutableOnPath(name)) {
    line = command;
  } else {
    outcome.kind = ProgramOutcome::Kind::NotFound;
    return outcome;
  }

  terminal.Lend();
  {
    KeyboardSignalsIgnored keyboard;
    // A job of its own in the foreground, where the terminal is ours to
    // give; otherwise (no terminal, as in tests) it runs in the tool's group.
    const bool ownGroup = isatty(STDIN_FILENO) && tcgetpgrp(STDIN_FILENO) == getpgrp();
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), line.data(), nullptr};
    SystemChildCalls calls;
    const pid_t pid = fork();
    if (pid == 0) {
      if (ownGroup) {
        setpgid(0, 0);
        SetForeground(getpid());
      }
      PrepareChild(policy, calls);
      execv("/bin/sh", argv);
      _exit(127);
    }
    if (pid < 0) {
      outcome.kind = ProgramOutcome::Kind::CouldNotStart;
      outcome.error = errno;
    } else {
      if (ownGroup) {
        setpgid(pid, pid);  // the child does it too: whoever comes first
        SetForeground(pid);
      }
      outcome.status = WaitFor(pid, ownGroup, outcome.passedSignal, terminal);
      if (ownGroup) SetForeground(getpgrp());
    }
  }
  terminal.TakeBack();
  return outcome;
}

}  // namespace qb7
