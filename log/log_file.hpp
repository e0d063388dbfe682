// One file the session log writes (Term.txt, or Term.times beside it):
// opened, written, closed, and watched. It is opened only as a regular
// file of its own: never through a symbolic link (in a folder others may
// write, a link would let them have the program empty or fill any file its
// user may write), never a pipe or a device, which could also block the
// open. It is created, or, when a file of that name is already there,
// written on after what it holds: nothing is ever emptied.
//
// Whatever goes wrong is kept as news for the operator rather than reported
// here: a failure (the first since the file last worked), the return of
// writes after one (with the bytes the file now lacks), a file that was
// deleted or renamed under it (a new one is started in its place).
// Single-threaded: the log's writer owns it.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "log/log_news.hpp"

namespace qb7 {

class LogFile {
 public:
  LogFile() = default;
  ~LogFile() { Close(); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  void Open(const std::string& name);
  // Appends; returns how many bytes reached the file.
  std::size_t Write(std::string_view bytes);
  // Appends all the bytes or none: a write that fails part-way is taken
  // back (the file cut to where it stood), so no record is left cut.
  bool WriteWhole(std::string_view bytes);
  void Close();
  // Starts a new file when the open one was deleted or renamed.
  void CheckStillThere();
  // The news gathered since the last call.
  FileNews TakeNews();
  bool IsOpen() const { return fd_ >= 0; }
  // The bytes in the file now: where the next byte lands.
  uint64_t Size() const { return size_; }
  // The file is empty or its last byte is a line feed.
  bool AtLineStart() const { return atLineStart_; }
  // Writes are failing: bytes since the last that reached it are lost.
  bool Failing() const { return failing_; }
  uint64_t Lacking() const { return lacking_; }
  // Grows each time a new file is started in place of one removed.
  uint64_t Restarts() const { return restarts_; }

 private:
  void Fail(int error, uint64_t bytes);
  bool OpenRegular();

  int fd_ = -1;
  std::string name_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  bool failing_ = false;   // the last write failed
  uint64_t lacking_ = 0;   // bytes lost since the file last worked
  uint64_t size_ = 0;
  bool atLineStart_ = true;
  uint64_t restarts_ = 0;
  FileNews news_;
};

}  // namespace qb7
