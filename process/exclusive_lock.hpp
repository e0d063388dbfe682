// One program at a time on a shared resource (the board's ports, the logs
// of a folder): an exclusive lock on a file of its own, taken before the
// resource is touched and held for the life of the process; the kernel
// releases it on any exit, SIGKILL included. The descriptor is
// close-on-exec: a program started from here does not hold it on.
#pragma once
#include <sys/types.h>

#include <memory>
#include <string>

namespace qb7 {

class ExclusiveLock {
 public:
  ~ExclusiveLock();
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

  // Takes the lock on the file, created when missing. When another process
  // holds it, returns null with holder set to "process N (NAME on TERMINAL)";
  // when it cannot be had at all, null with error set to errno.
  static std::unique_ptr<ExclusiveLock> Take(const std::string& path, std::string& holder,
                                             int& error);

 private:
  explicit ExclusiveLock(int fd) : fd_(fd) {}
  int fd_;
};

// Who holds the lock on the file, from the kernel's table of locks:
// "process N (NAME on TERMINAL)", or "another process" when the table does
// not say.
std::string LockHolder(const std::string& path);

}  // namespace qb7
