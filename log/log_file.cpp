#include "log/log_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qb7 {

bool LogFile::OpenRegular() {
  // Not through a link; and without waiting, so that a named pipe with no
  // reader (or a device) cannot hold the writer in the open.
  constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  fd_ = open(name_.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
  if (fd_ < 0 && errno == EEXIST) fd_ = open(name_.c_str(), kFlags | O_APPEND);
  if (fd_ < 0) {
    // ELOOP: a link; ENXIO: a pipe with no reader.
    if (errno == ELOOP || errno == ENXIO)
      news_.notRegular = true;
    else
      Fail(errno, 0);
    return false;
  }
  struct stat st {};
  if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd_);
    fd_ = -1;
    news_.notRegular = true;
    return false;
  }
  device_ = st.st_dev;
  inode_ = st.st_ino;
  // A file already there is written on after what it holds; whether that
  // ends a line cannot be read back (the file is open for writing only).
  size_ = static_cast<uint64_t>(st.st_size);
  atLineStart_ = size_ == 0;
  fcntl(fd_, F_SETFL, O_APPEND);  // writes wait for the disk again
  return true;
}

void LogFile::Open(const std::string& name) {
  Close();
  name_ = name;
  failing_ = false;
  lacking_ = 0;
  // A file that cannot be had at all is told once; its bytes then go
  // nowhere, as a closed file's do.
  OpenRegular();
}

void LogFile::Fail(int error, uint64_t bytes) {
  lacking_ += bytes;
  if (!failing_) {
    failing_ = true;
    news_.failure = error != 0 ? error : EIO;
    news_.resumed = false;
  }
}

std::size_t LogFile::Write(std::string_view bytes) {
  if (fd_ < 0 || bytes.empty()) return 0;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail(n < 0 ? errno : EIO, bytes.size() - done);
      break;
    }
    done += static_cast<std::size_t>(n);
    size_ += static_cast<uint64_t>(n);
    atLineStart_ = bytes[done - 1] == '\n';
  }
  if (done < bytes.size()) return done;
  if (failing_) {
    // Written again after a failure: the operator hears what the file lacks.
    failing_ = false;
    news_.resumed = true;
    news_.missing = lacking_;
    lacking_ = 0;
  }
  return done;
}

bool LogFile::WriteWhole(std::string_view bytes) {
  if (fd_ < 0) return false;
  const uint64_t before = size_;
  const bool lineStart = atLineStart_;
  if (Write(bytes) == bytes.size()) return true;
  // Cut back to where the file stood: what reached it of these bytes goes,
  // and the whole of them counts as lost.
  if (size_ != before && ftruncate(fd_, static_cast<off_t>(before)) == 0) {
    lacking_ += size_ - before;
    size_ = before;
    atLineStart_ = lineStart;
  }
  return false;
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
  const bool elsewhere = lstat(name_.c_str(), &named) != 0 || named.st_dev != device_ ||
                         named.st_ino != inode_;
  if (!unlinked && !elsewhere) return;
  close(fd_);
  fd_ = -1;
  news_.removed = true;
  ++restarts_;
  failing_ = false;
  lacking_ = 0;
  OpenRegular();
}

FileNews LogFile::TakeNews() {
  FileNews n = news_;
  news_ = {};
  return n;
}

}  // namespace qb7
