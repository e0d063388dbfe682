// Where the session hands its log: to a writer that owns the log's files,
// so that the program thread never waits for the disk. A stalled disk (a
// frozen file system, a slow stick, a lost NFS server) holds up only the
// writer; the line is still drained, the screen drawn and keys answered.
#pragma once
#include <algorithm>
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
  // bytes follow in order, and Mark's records of when they came, each at
  // the byte its offset names (counted from the log's start); Close ends
  // the log once they are written.
  virtual void Open(const std::string& name) = 0;
  virtual void Append(std::string_view bytes) = 0;
  virtual void Mark(const TimeMark& mark) = 0;
  // Several records at once (the lines of one stretch of text).
  virtual void Marks(const std::vector<TimeMark>& marks) {
    for (const TimeMark& mark : marks) Mark(mark);
  }
  virtual void Close() = 0;
  // Offers what was gathered to the writer: after a stretch's bytes and
  // records, and at every turn of the program thread's loop, for what
  // found the writer still busy with the batch before.
  virtual void HandOver() {}
  // What the operator should hear of, gathered since the last call.
  virtual LogNews TakeNews() = 0;
  // At the program's end: waits at most waitMs for every byte appended to
  // reach the file, and returns how many did not.
  virtual uint64_t Finish(int waitMs) = 0;
};

// Does the work on the caller's thread: for the tests, which run on a
// virtual clock and want every step in order. Bytes are held until the
// records that fall among them have come (they follow their stretch), so
// each record is carried out at its byte, as the threaded writer does. It
// also looks for a removed log at every TakeNews.
class InlineLogWriter final : public LogWriter {
 public:
  void Open(const std::string& name) override {
    WriteHeld(held_.size());
    files_.Open(name);
    heldAt_ = 0;
  }
  void Append(std::string_view bytes) override {
    WriteHeld(held_.size());
    held_.assign(bytes);
  }
  void Mark(const TimeMark& mark) override {
    WriteHeld(mark.offset > heldAt_ ? static_cast<std::size_t>(mark.offset - heldAt_) : 0);
    files_.Mark(mark);
  }
  void Close() override {
    WriteHeld(held_.size());
    files_.Close();
  }
  LogNews TakeNews() override {
    WriteHeld(held_.size());
    files_.CheckStillThere();
    return files_.TakeNews();
  }
  uint64_t Finish(int) override {
    WriteHeld(held_.size());
    files_.Close();
    return 0;
  }

 private:
  // Writes up to n of the held bytes.
  void WriteHeld(std::size_t n) {
    n = std::min(n, held_.size());
    if (n == 0) return;
    files_.Write(std::string_view(held_).substr(0, n));
    held_.erase(0, n);
    heldAt_ += n;
  }

  LogFiles files_;
  std::string held_;
  uint64_t heldAt_ = 0;  // the offset of held_'s first byte in the log
};

}  // namespace qb7
