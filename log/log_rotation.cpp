#include "log/log_rotation.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "log/log_names.hpp"

namespace qb7 {

namespace {

enum class Found { Missing, Empty, Holds, NotRegular, Unknown };

// What stands under the name, without following a link.
Found Look(const std::string& name, int& error) {
  struct stat st {};
  if (lstat(name.c_str(), &st) != 0) {
    error = errno;
    return errno == ENOENT ? Found::Missing : Found::Unknown;
  }
  if (!S_ISREG(st.st_mode)) return Found::NotRegular;
  return st.st_size == 0 ? Found::Empty : Found::Holds;
}

// Moves from to to (replacing it); a missing from is no failure.
bool Move(const std::string& from, const std::string& to, Rotation& r) {
  if (rename(from.c_str(), to.c_str()) == 0 || errno == ENOENT) return true;
  r.error = errno;
  r.file = from;
  return false;
}

}  // namespace

Rotation RotateLogs(const std::string& log, const std::string& times, int keep) {
  Rotation r;
  int error = 0;
  const Found logFound = Look(log, error);
  if (logFound == Found::NotRegular) {
    r.notRegular = true;
    r.file = log;
    return r;
  }
  if (logFound == Found::Unknown) {
    r.error = error;
    r.file = log;
    return r;
  }
  const Found timesFound = Look(times, error);
  if (logFound != Found::Holds && timesFound != Found::Holds) return r;
  // The oldest goes, then each moves one place down, the newest last.
  for (const std::string& file : {log, times}) {
    const std::string oldest = RotatedName(file, keep);
    if (unlink(oldest.c_str()) != 0 && errno != ENOENT) {
      r.error = errno;
      r.file = oldest;
      return r;
    }
  }
  for (int n = keep - 1; n >= 1; --n)
    for (const std::string& file : {log, times})
      if (!Move(RotatedName(file, n), RotatedName(file, n + 1), r)) return r;
  if (!Move(log, RotatedName(log, 1), r)) return r;
  if (!Move(times, RotatedName(times, 1), r)) return r;
  r.rotated = true;
  return r;
}

}  // namespace qb7
