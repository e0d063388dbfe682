// Where the session hands its log: to a writer that owns the log's files,
// so that the program thread never waits for the disk. A stalled disk (a
// frozen file system, a slow stick, a lost NFS server) holds up only the
// writer; the line is still drained, the screen drawn and keys answered.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "log/log_files.hpp"
#include "log/log_news.hpp"
#include "log/times_format.hpp"

namespace qb7 {

class LogWriter {
 public:
  virtual ~LogWriter() = default;
  // Program thread; none of these waits for the disk. Open starts a new log
  // (the earlier ones rotated, the file of its times beside it); Append's
  // bytes follow in order, and Mark's records of when they came; Close ends
  // the log once they are written.
  virtual void Open(const std::string& name) = 0;
  virtual void Append(std::string_view bytes) = 0;
  virtual void Mark(const TimeMark& mark) = 0;
  // Several records at once (the lines of one stretch of text).
  virtual void Marks(const std::vector<TimeMark>& marks) {
    for (const TimeMark& mark : marks) Mark(mark);
  }
  virtual void Close() = 0;
  // Offers what was gathered to the writer: each of the above does, and
  // the program thread's loop again at every turn, for what found the
  // writer still busy with the batch before.
  virtual void HandOver() {}
  // What the operator should hear of, gathered since the last call.
  virtual LogNews TakeNews() = 0;
  // At the program's end: waits at most waitMs for every byte appended to
  // reach the file, and returns how many did not.
  virtual uint64_t Finish(int waitMs) = 0;
};

// Does the work at once, on the caller's thread: for the tests, which run
// on a virtual clock and want every step in order. It also looks for a
// removed log at every TakeNews.
class InlineLogWriter final : public LogWriter {
 public:
  void Open(const std::string& name) override { files_.Open(name); }
  void Append(std::string_view bytes) override { files_.Write(bytes); }
  void Mark(const TimeMark& mark) override { files_.Mark(mark); }
  void Close() override { files_.Close(); }
  LogNews TakeNews() override {
    files_.CheckStillThere();
    return files_.TakeNews();
  }
  uint64_t Finish(int) override {
    files_.Close();
    return 0;
  }

 private:
  LogFiles files_;
};

}  // namespace qb7
