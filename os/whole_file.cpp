#include "os/whole_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

namespace qb7 {

namespace {

int WriteAll(int fd, std::string_view content) {
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

// NAME, NAME-2, NAME-3 ...: the extension kept last.
std::string Numbered(const std::string& name, int n) {
  if (n == 1) return name;
  const std::size_t dot = name.rfind('.');
  const std::size_t at = dot == std::string::npos ? name.size() : dot;
  return name.substr(0, at) + "-" + std::to_string(n) + name.substr(at);
}

}  // namespace

namespace {

// A file of our own to write into, beside the name: NAME.part, made anew;
// a leftover one (a save cut short) is taken away first. Anything else
// under that name (a pipe, a folder, a link) is left alone, never opened
// through or waited on, and the next name (NAME-2.part ..) is taken.
int OpenPart(const std::string& name, std::string& part, std::string& inTheWay) {
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  for (int n = 1; n < 100; ++n) {
    part = Numbered(name, n) + ".part";
    int fd = open(part.c_str(), kFlags, 0666);
    if (fd < 0 && errno == EEXIST) {
      struct stat st {};
      if (lstat(part.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(part.c_str()) == 0)
        fd = open(part.c_str(), kFlags, 0666);
    }
    if (fd >= 0) {
      fcntl(fd, F_SETFL, 0);  // writes wait for the disk again
      return fd;
    }
    if (errno != EEXIST) return -1;
    if (inTheWay.empty()) inTheWay = part;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

WholeFile WriteWholeFile(const std::string& name, std::string_view content) {
  WholeFile result;
  std::string part;
  const int fd = OpenPart(name, part, result.inTheWay);
  if (fd < 0) {
    result.error = errno;
    return result;
  }
  int error = WriteAll(fd, content);
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  for (int n = 1; error == 0; ++n) {
    const std::string target = Numbered(name, n);
    // A new name for the file, never over one already there.
    if (renameat2(AT_FDCWD, part.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
      char where[PATH_MAX];
      result.path = realpath(target.c_str(), where) ? std::string(where) : target;
      return result;
    }
    if (errno != EEXIST || n >= 99) error = errno;
  }
  unlink(part.c_str());
  result.error = error;
  return result;
}

std::string DatedName(std::string_view prefix, uint64_t wallUs, std::string_view extension) {
  const time_t seconds = static_cast<time_t>(wallUs / 1000000);
  tm local{};
  localtime_r(&seconds, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y%m%d-%H%M%S", &local);
  return std::string(prefix) + "-" + date + "." + std::string(extension);
}

int ReadFileRange(const std::string& name, uint64_t offset, std::size_t length, std::string& out) {
  out.clear();
  const int fd = open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return EINVAL;
  }
  out.resize(length);
  std::size_t have = 0;
  int error = 0;
  while (have < length) {
    const ssize_t n = pread(fd, out.data() + have, length - have, static_cast<off_t>(offset + have));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    have += static_cast<std::size_t>(n);
  }
  close(fd);
  out.resize(have);
  return error;
}

}  // namespace qb7
