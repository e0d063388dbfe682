#include "log/log_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qb7 {

bool LogFile::Reopen() {
  fd_ = open(name_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) return false;
  struct stat st {};
  if (fstat(fd_, &st) == 0) {
    device_ = st.st_dev;
    inode_ = st.st_ino;
  }
  return true;
}

void LogFile::Open(const std::string& name) {
  Close();
  name_ = name;
  failing_ = false;
  lacking_ = 0;
  openFailed_ = !Reopen();
  // A log that cannot be had at all is told once; its bytes then go
  // nowhere, as a closed file's do.
  if (openFailed_) news_.failure = errno != 0 ? errno : EIO;
}

void LogFile::Fail(int error, uint64_t bytes) {
  lacking_ += bytes;
  if (!failing_) {
    failing_ = true;
    news_.failure = error != 0 ? error : EIO;
    news_.resumed = false;
  }
}

void LogFile::Write(std::string_view bytes) {
  if (fd_ < 0 || bytes.empty()) return;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail(n < 0 ? errno : EIO, bytes.size() - done);
      return;
    }
    done += static_cast<std::size_t>(n);
  }
  if (failing_) {
    // Written again after a failure: the operator hears what the log lacks.
    failing_ = false;
    news_.resumed = true;
    news_.missing = lacking_;
    lacking_ = 0;
  }
}

void LogFile::Close() {
  if (fd_ < 0) return;
  // close() reports a failed write-back on some file systems.
  if (close(fd_) != 0 && errno != EINTR) Fail(errno, 0);
  fd_ = -1;
}

void LogFile::CheckStillThere() {
  if (fd_ < 0) return;
  struct stat open {}, named {};
  const bool unlinked = fstat(fd_, &open) == 0 && open.st_nlink == 0;
  const bool elsewhere = stat(name_.c_str(), &named) != 0 || named.st_dev != device_ ||
                         named.st_ino != inode_;
  if (!unlinked && !elsewhere) return;
  close(fd_);
  fd_ = -1;
  news_.removed = true;
  if (!Reopen()) Fail(errno, 0);
}

LogNews LogFile::TakeNews() {
  LogNews n = news_;
  news_ = {};
  return n;
}

}  // namespace qb7
