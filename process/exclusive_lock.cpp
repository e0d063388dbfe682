#include "process/exclusive_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace qb7 {

namespace {

// The name of a process and the terminal of its standard input.
std::string Describe(pid_t pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  std::string name;
  std::getline(std::ifstream(proc + "/comm"), name);
  char target[PATH_MAX] = {0};
  const ssize_t n = readlink((proc + "/fd/0").c_str(), target, sizeof target - 1);
  std::string terminal = n > 0 ? std::string(target, static_cast<std::size_t>(n)) : "";
  if (terminal.rfind("/dev/pts/", 0) != 0 && terminal.rfind("/dev/tty", 0) != 0)
    terminal = "no terminal";
  return "process " + std::to_string(pid) + " (" + (name.empty() ? "?" : name) + " on " +
         terminal + ")";
}

}  // namespace

ExclusiveLock::~ExclusiveLock() { close(fd_); }

std::unique_ptr<ExclusiveLock> ExclusiveLock::Take(const std::string& path, std::string& holder,
                                                   int& error) {
  holder.clear();
  error = 0;
  // An existing file is opened as it is (in a sticky folder such as
  // /run/lock another user's file may not be opened for creation); a
  // missing one is made readable by all, so every user's copy can lock it.
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    fd = open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) fchmod(fd, 0644);
  }
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = errno;
    close(fd);
    if (error == EWOULDBLOCK) {
      error = 0;
      holder = LockHolder(path);
    }
    return nullptr;
  }
  return std::unique_ptr<ExclusiveLock>(new ExclusiveLock(fd));
}

std::string LockHolder(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return "another process";
  // Lines such as "1: FLOCK  ADVISORY  WRITE 1234 08:01:123456 0 EOF".
  char device[64];
  std::snprintf(device, sizeof device, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                static_cast<unsigned long>(st.st_ino));
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, advisory, mode, pid, where;
    fields >> number >> kind >> advisory >> mode >> pid >> where;
    if (kind == "FLOCK" && where == device && pid != "-1") return Describe(std::stoi(pid));
  }
  return "another process";
}

}  // namespace qb7
