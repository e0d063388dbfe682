// One session's log, as the session keeps it: Term.txt (the text the
// interpreter logs), Term.raw (every byte received, exactly, in order),
// and beside them in Term.times when each line came and the session's
// events, at their offsets in both files, all on the session's own clock
// (since it started, since its last reset pulse) and the date. A line
// that came at the same time as the line before it (in the same look at
// the FIFO) has no record of its own: it shares that line's. The bytes and the
// records of one stretch of text are gathered while the interpreter runs
// and handed to the log's writer together; the writer does the rest, off
// the program thread.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "os/clock.hpp"
#include "log/log_writer.hpp"
#include "screen/screen.hpp"
#include "session/interpreter.hpp"

namespace qb7 {

class SessionLog final : public ByteSink {
 public:
  SessionLog(LogWriter& writer, Clock& clock);
  // Closed however the session ends: Shift-F2, or the program ending in the
  // middle of it (Ctrl-C, Home at a message line, a signal).
  ~SessionLog() override { Close(); }
  SessionLog(const SessionLog&) = delete;
  SessionLog& operator=(const SessionLog&) = delete;

  // Starts the log (the last session kept, the kept ones held within
  // keepBytes) and the session's clock.
  void Open(uint64_t keepBytes);
  void Close();

  // The time of the bytes about to be interpreted: the look that found them.
  void SetNow(uint64_t atUs) { nowUs_ = atUs; }
  // Bytes as received, about to be fed to the interpreter, which had been
  // fed fedBefore bytes until then.
  void Received(std::string_view bytes, uint64_t fedBefore);
  // A byte the interpreter logs; a line's first byte is marked with the time.
  void Put(uint8_t byte, uint64_t fed) override;
  // Hands what was gathered to the writer.
  void Flush();

  // An event, now or at a look's time, where the log stands.
  void Note(std::string_view what) { NoteAt(clock_.NowUs(), what); }
  void NoteAt(uint64_t atUs, std::string_view what);
  // A reset pulse of the VSC7420 released at that time: from then on times
  // are given since it too.
  void ResetAt(uint64_t atUs);

  // The times of something that came at atUs; a row's, of text received
  // unless told otherwise.
  LogTime TimeAt(uint64_t atUs) const;
  RowTime RowTimeAt(uint64_t atUs, RowTime::Kind kind = RowTime::Kind::Received) const;
  // The session's number in this run, which its rows carry.
  void SetNumber(uint32_t number) { number_ = number; }
  // When the session started: its date.
  uint64_t StartWallUs() const { return startWallUs_; }
  // Told of each line logged as its line feed comes: its text (up to
  // kWatchedLineBytes, carriage returns left out) and when its first byte
  // came. Null: nobody, and nothing is gathered.
  static constexpr std::size_t kWatchedLineBytes = 256;
  void WatchLines(std::function<void(std::string_view text, const LogTime& start)> watch) {
    watchLines_ = std::move(watch);
    watchedLine_.clear();
  }

 private:
  LogWriter& writer_;
  Clock& clock_;
  bool open_ = false;
  uint32_t number_ = 0;
  uint64_t startUs_ = 0;
  uint64_t startWallUs_ = 0;
  bool reset_ = false;
  uint64_t resetUs_ = 0;
  uint64_t nowUs_ = 0;
  uint64_t logged_ = 0;  // bytes handed to the writer since Open
  uint64_t rawLogged_ = 0;  // raw bytes handed to the writer since Open
  uint64_t rawOfFed_ = 0;   // the raw offset of the interpreter's fed count 0
  bool lineStart_ = true;
  uint64_t rawLineStart_ = 0;  // where the line being logged began among the bytes received
  bool lineMarked_ = false;  // a line has had a record in this session
  uint64_t lineMarkUs_ = 0;  // the time of the last line's record
  std::string bytes_;
  std::string raw_;
  std::vector<TimeMark> marks_;
  std::function<void(std::string_view, const LogTime&)> watchLines_;
  std::string watchedLine_;
  LogTime watchedStart_;
};

}  // namespace qb7
