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
  // (the last session kept, the kept ones within keepBytes; the times and
  // raw files beside it); Append's bytes follow in order, AppendRaw's in
  // the raw file, and Mark's records of when they came, each at the bytes
  // its offsets name in both (counted from the files' start); Close ends
  // the log once they are written.
  virtual void Open(const std::string& name, uint64_t keepBytes) = 0;
  virtual void Append(std::string_view bytes) = 0;
  virtual void AppendRaw(std::string_view bytes) = 0;
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
  void Open(const std::string& name, uint64_t keepBytes) override {
    WriteAll();
    files_.Open(name, keepBytes);
    text_.at = raw_.at = 0;
  }
  void Append(std::string_view bytes) override {
    text_.Write(files_, kWriteText, SIZE_MAX);
    text_.held.assign(bytes);
  }
  void AppendRaw(std::string_view bytes) override {
    raw_.Write(files_, kWriteRaw, SIZE_MAX);
    raw_.held.assign(bytes);
  }
  void Mark(const TimeMark& mark) override {
    text_.Write(files_, kWriteText, mark.offset);
    raw_.Write(files_, kWriteRaw, mark.raw);
    files_.Mark(mark);
  }
  void Close() override {
    WriteAll();
    files_.Close();
  }
  LogNews TakeNews() override {
    WriteAll();
    files_.CheckStillThere();
    return files_.TakeNews();
  }
  uint64_t Finish(int) override {
    WriteAll();
    files_.Close();
    return 0;
  }

 private:
  using WriteTo = void (LogFiles::*)(std::string_view);
  static constexpr WriteTo kWriteText = &LogFiles::Write;
  static constexpr WriteTo kWriteRaw = &LogFiles::WriteRaw;
  // Bytes held for one file, and where the first of them stands there.
  struct Held {
    std::string held;
    uint64_t at = 0;
    // Writes the held bytes that stand before offset until.
    void Write(LogFiles& files, WriteTo write, uint64_t until) {
      const std::size_t n = until > at ? static_cast<std::size_t>(std::min<uint64_t>(until - at, held.size())) : 0;
      if (n == 0) return;
      (files.*write)(std::string_view(held).substr(0, n));
      held.erase(0, n);
      at += n;
    }
  };
  void WriteAll() {
    text_.Write(files_, kWriteText, SIZE_MAX);
    raw_.Write(files_, kWriteRaw, SIZE_MAX);
  }

  LogFiles files_;
  Held text_;
  Held raw_;
};

}  // namespace qb7
