// The session log as a file: opened (created or emptied), written, closed,
// and watched. Whatever goes wrong is kept as news for the operator rather
// than reported here: a failure (the first since the log last worked), the
// return of writes after one (with the bytes the log now lacks), a log that
// was deleted or renamed under it (a new one is started in its place).
// Single-threaded: the log writer owns it.
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
  void Write(std::string_view bytes);
  void Close();
  // Starts a new log when the open one was deleted or renamed.
  void CheckStillThere();
  // The news gathered since the last call.
  LogNews TakeNews();
  bool IsOpen() const { return fd_ >= 0; }

 private:
  void Fail(int error, uint64_t bytes);
  bool Reopen();

  int fd_ = -1;
  std::string name_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  bool failing_ = false;   // the last write failed
  uint64_t lacking_ = 0;   // bytes lost since the log last worked
  bool openFailed_ = false;
  LogNews news_;
};

}  // namespace qb7
