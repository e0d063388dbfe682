#include "process/external_program.hpp"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "os/files.hpp"
#include "os/signal_watch.hpp"

namespace qb7 {

namespace {

// How long a program that was passed SIGTERM or SIGHUP may take to end
// before it is killed.
constexpr uint64_t kGraceUs = 3000000;

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

}  // namespace

ProgramOutcome FindProgram(const std::string& folder, const std::string& command) {
  ProgramOutcome outcome;
  // The first word names the program; the rest are its arguments.
  const std::size_t space = command.find(' ');
  const std::string name = command.substr(0, space);
  const std::string args = space == std::string::npos ? "" : command.substr(space);
  outcome.program = name;
  if (auto found = Files::FindInFolder(folder, name)) {
    const std::string path = folder + "/" + *found;
    outcome.program = path;
    if (access(path.c_str(), X_OK) != 0) {
      outcome.kind = ProgramOutcome::Kind::NotExecutable;
      outcome.error = EACCES;
      return outcome;
    }
    outcome.line = QuoteForShell(path) + args;
  } else if (IsExecutableOnPath(name)) {
    outcome.line = command;
  } else {
    outcome.kind = ProgramOutcome::Kind::NotFound;
  }
  return outcome;
}

bool ProgramJob::Start(const std::string& line, const ChildPolicy& policy, int& error) {
  // While the program runs, Ctrl-C and Ctrl-\ are its own, not the tool's, as
  // system() has it; the child starts with them at their defaults.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGINT, &ignore, &oldInt_);
  sigaction(SIGQUIT, &ignore, &oldQuit_);
  // A job of its own in the foreground, where the terminal is ours to
  // give; otherwise (no terminal, as in tests) it runs in the tool's group.
  ownGroup_ = isatty(STDIN_FILENO) && tcgetpgrp(STDIN_FILENO) == getpgrp();
  std::string shellLine = line;
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), shellLine.data(), nullptr};
  SystemChildCalls calls;
  const pid_t pid = fork();
  if (pid == 0) {
    if (ownGroup_) {
      setpgid(0, 0);
      SetForeground(getpid());
    }
    PrepareChild(policy, calls);
    execv("/bin/sh", argv);
    _exit(127);
  }
  if (pid < 0) {
    error = errno;
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGQUIT, &oldQuit_, nullptr);
    return false;
  }
  pid_ = pid;
  forwarded_ = 0;
  if (ownGroup_) {
    setpgid(pid, pid);  // the child does it too: whoever comes first
    SetForeground(pid);
  }
  return true;
}

bool ProgramJob::Ended(uint64_t nowUs, ProgramOutcome& outcome) {
  if (pid_ <= 0) return true;
  const pid_t target = ownGroup_ ? -pid_ : pid_;
  for (;;) {
    int ws = 0;
    const pid_t r = waitpid(pid_, &ws, WNOHANG | WUNTRACED);
    if (r == pid_ && WIFSTOPPED(ws)) {
      // A stop (Ctrl-Z) is undone at once, so nothing is left hanging.
      kill(target, SIGCONT);
      continue;
    }
    if (r == pid_ || (r < 0 && errno != EINTR)) {
      outcome.status = r < 0 ? -1 : WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
      outcome.passedSignal = forwarded_;
      Finish();
      return true;
    }
    if (r < 0) continue;  // EINTR
    break;
  }
  if (forwarded_ == 0) {
    if (int sig = SignalWatch::PendingTermination()) {
      forwarded_ = sig;
      killAtUs_ = nowUs + kGraceUs;
      kill(target, sig);
      kill(target, SIGCONT);  // a stopped program must see it too
    }
  } else if (nowUs >= killAtUs_) {
    kill(target, SIGKILL);
  }
  return false;
}

void ProgramJob::Finish() {
  if (ownGroup_) SetForeground(getpgrp());
  sigaction(SIGINT, &oldInt_, nullptr);
  sigaction(SIGQUIT, &oldQuit_, nullptr);
  pid_ = -1;
}

ProgramJob::~ProgramJob() {
  if (pid_ <= 0) return;
  // The tool ends while the program runs: it is told to end too, and the
  // terminal's foreground and the keyboard's signals are given back.
  const pid_t target = ownGroup_ ? -pid_ : pid_;
  kill(target, SIGTERM);
  kill(target, SIGCONT);
  Finish();
}

}  // namespace qb7
