// One copy of the program at a time, and a folder it may write: the lock
// on the board's ports (the hardware binary), the lock on the logs of its
// folder (both), the folder's group policy, and the one line on stderr that
// refuses a second copy or a folder the program cannot write.
#include "app/program_locks.hpp"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "os/files.hpp"

namespace qb7 {

namespace {

// Where the copy that holds the board says so: a lock file for the ports,
// as serial tools lock their device (in /tmp on a system without /run/lock).
constexpr char kBoardLockFolder[] = "/run/lock";
constexpr char kBoardLockFallback[] = "/tmp";
constexpr char kBoardLockName[] = "/qb7uart-0x352.lock";
constexpr char kLogsLock[] = "Term.lock";

std::unique_ptr<ExclusiveLock> LockOrRefuse(const std::string& program, const std::string& path,
                                            const std::string& what, const char* verb) {
  std::string holder;
  int error = 0;
  auto lock = ExclusiveLock::Take(path, holder, error);
  if (lock) return lock;
  if (!holder.empty())
    std::fprintf(stderr, "%s: %s %s in use by %s\n", program.c_str(), what.c_str(), verb,
                 holder.c_str());
  else
    std::fprintf(stderr, "%s: cannot lock %s: %s: %s\n", program.c_str(), what.c_str(),
                 path.c_str(), std::strerror(error));
  return nullptr;
}

}  // namespace

std::unique_ptr<ExclusiveLock> LockBoard(const std::string& program) {
  const bool runLock = access(kBoardLockFolder, F_OK) == 0;
  const std::string path =
      std::string(runLock ? kBoardLockFolder : kBoardLockFallback) + kBoardLockName;
  return LockOrRefuse(program, path, "the QB7 board at 0x352", "is");
}

// A folder its group shares (setgid and writable by the group, as the
// package installs /opt/qb7uart): the files made in it are left readable
// and writable by the group whatever the user's umask, so that the next
// member's session can read the logs, append to an empty Term.txt, rotate
// the logs and take the lock.
void ShareFilesWithGroup(const std::string& folder) {
  struct stat st {};
  if (stat(folder.c_str(), &st) != 0) return;
  if ((st.st_mode & S_ISGID) && (st.st_mode & S_IWGRP)) {
    const mode_t mask = umask(0);
    umask(mask & ~static_cast<mode_t>(S_IRGRP | S_IWGRP));
  }
}

// Whether the program may write its logs in the folder; if not, one line
// on stderr naming the folder, the reason and, for a folder a group shares,
// the group whose members may.
bool RefuseUnwritableFolder(const std::string& program, const std::string& folder) {
  if (access(folder.c_str(), W_OK) == 0) return false;
  const int error = errno;
  std::string who;
  struct stat st {};
  if (stat(folder.c_str(), &st) == 0 && (st.st_mode & S_ISGID) && (st.st_mode & S_IWGRP))
    if (const struct group* g = getgrgid(st.st_gid))
      who = std::string("; members of the group ") + g->gr_name + " may";
  std::fprintf(stderr, "%s: cannot write the logs in %s: %s%s\n", program.c_str(),
               folder.c_str(), std::strerror(error), who.c_str());
  return true;
}

std::unique_ptr<ExclusiveLock> LockLogs(const std::string& program) {
  const std::string folder = Files::ExecutableFolder();
  ShareFilesWithGroup(folder);
  if (RefuseUnwritableFolder(program, folder)) return nullptr;
  return LockOrRefuse(program, folder + "/" + kLogsLock, "the logs in " + folder, "are");
}

}  // namespace qb7
