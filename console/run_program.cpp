#include "console/run_program.hpp"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

extern char** environ;

namespace qb7 {

namespace {

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

bool IsExecutableOnPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  const std::string dirs(path ? path : "/usr/bin:/bin");
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string full = dir + "/" + name;
    struct stat st {};
    if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0)
      return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

int RunProgram(Console& console, const Files& files, const std::string& command) {
  if (command.empty()) return 0;
  // The first word names the program; the rest are its arguments.
  std::size_t space = command.find(' ');
  std::string name = command.substr(0, space);
  std::string args = space == std::string::npos ? "" : command.substr(space);

  std::string line;
  if (auto found = Files::FindInFolder(files.ProgramFolder(), name)) {
    std::string path = files.ProgramFolder() + "/" + *found;
    if (access(path.c_str(), X_OK) != 0) {
      console.ErrorMessage("Cannot run " + path + ": " + std::strerror(EACCES));
      return -1;
    }
    line = QuoteForShell(path) + args;
  } else if (IsExecutableOnPath(name)) {
    line = command;
  } else {
    console.ErrorMessage("Cannot run " + name + ": not found in " + files.ProgramFolder() +
                         " nor on the PATH");
    return -1;
  }

  console.Present();
  console.frontend().Suspend();
  // As system() does: while the program runs, Ctrl-C and Ctrl-\ are its
  // own, not ours; the program itself starts with every signal at default.
  struct sigaction ignore {}, oldInt {}, oldQuit {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGINT, &ignore, &oldInt);
  sigaction(SIGQUIT, &ignore, &oldQuit);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int sig : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) sigaddset(&defaults, sig);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  std::vector<char*> argv = {const_cast<char*>("sh"), const_cast<char*>("-c"), line.data(),
                             nullptr};
  int rc = posix_spawn(&pid, "/bin/sh", nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  int status = -1;
  if (rc == 0) {
    int ws = 0;
    while (waitpid(pid, &ws, 0) < 0 && errno == EINTR) {
    }
    status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
  }
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGQUIT, &oldQuit, nullptr);
  console.frontend().Resume();
  console.Redraw();
  if (rc != 0) {
    console.ErrorMessage("Cannot run " + name + ": " + std::strerror(rc));
    return -1;
  }
  return status;
}

}  // namespace qb7
