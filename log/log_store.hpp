// Where the log's writer puts a session's log: the files (LogFiles), or a
// test's stand-in for a disk that stops answering. Called only from the
// writer's own thread.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "log/log_news.hpp"
#include "log/times_format.hpp"

namespace qb7 {

class LogStore {
 public:
  virtual ~LogStore() = default;
  // Opens the log (the last session kept first, the kept ones held
  // within keepBytes).
  virtual void Open(const std::string& log, uint64_t keepBytes) = 0;
  virtual void Write(std::string_view bytes) = 0;
  // The bytes as received, to the raw file.
  virtual void WriteRaw(std::string_view bytes) = 0;
  virtual void Mark(const TimeMark& mark) = 0;
  virtual void Close() = 0;
  // Starts the files again when they were deleted or renamed.
  virtual void CheckStillThere() = 0;
  virtual LogNews TakeNews() = 0;
};

}  // namespace qb7
