// Where the log's writer puts a session's log: the files (LogFiles), or a
// test's stand-in for a disk that stops answering. Called only from the
// writer's own thread.
#pragma once
#include <string>
#include <string_view>

#include "log/log_news.hpp"
#include "log/times_format.hpp"

namespace qb7 {

class LogStore {
 public:
  virtual ~LogStore() = default;
  virtual void Open(const std::string& log) = 0;
  virtual void Write(std::string_view bytes) = 0;
  virtual void Mark(const TimeMark& mark) = 0;
  virtual void Close() = 0;
  // Starts the files again when they were deleted or renamed.
  virtual void CheckStillThere() = 0;
  virtual LogNews TakeNews() = 0;
};

}  // namespace qb7
