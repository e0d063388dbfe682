// The files of a session's log, as the log's writer keeps them: the log
// (Term.txt, the text as the interpreter logs it), the file of its times
// beside it (Term.times), the bytes exactly as received (Term.raw), and the
// keeping of the earlier sessions under names of their own.
//
// Term.times is kept aligned with the Term.txt on disk whatever befalls
// it: a record's offset is where the byte stands in the file as written
// (a new Term.txt in place of one removed starts again at 0, and a hole a
// full disk left is counted out); a line's record is written only once its
// first byte has reached Term.txt at a line start, so every line record
// stands at a line start; a hole and a new file are records of their own;
// and a record is written whole or not at all.
// Single-threaded: whichever writer owns them calls everything here.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log/log_file.hpp"
#include "log/log_news.hpp"
#include "log/log_store.hpp"
#include "log/times_format.hpp"

namespace qb7 {

class LogFiles final : public LogStore {
 public:
  // Keeps the last session under its own name, then starts the log, its
  // times and raw files. When the keeping fails or the log is not a
  // regular file, this session is not logged (and that is news): nothing
  // already there is touched.
  void Open(const std::string& log, uint64_t keepBytes) override;
  void Write(std::string_view bytes) override;
  void WriteRaw(std::string_view bytes) override;
  void Mark(const TimeMark& mark) override;
  void Close() override;
  void CheckStillThere() override;
  LogNews TakeNews() override;

 private:
  // A record, at where Term.txt stands now, written whole or not at all.
  void Record(TimeMark mark, uint64_t offset, uint64_t raw);
  // Where the byte the session counts as raw stands in the raw file.
  uint64_t RawAt(uint64_t raw) const;
  // What the times file says of the holes and new files met so far.
  void NoteRestarts();

  LogFile log_;
  LogFile times_;
  LogFile raw_;
  LogNews news_;
  std::optional<TimeMark> pendingLine_;  // waits for its line's first byte
  uint64_t pendingRaw_ = 0;              // where it stands in the raw file
  uint64_t rawGiven_ = 0;                // raw bytes given since the log was opened
  std::vector<std::string> openNotes_;   // events of the keeping, told after the first record
  int64_t datedSecond_ = -1;             // the second of the last date written
  uint64_t logRestarts_ = 0;
  uint64_t timesRestarts_ = 0;
  TimeMark lastTime_;  // the times of the last record, for those the files add
};

}  // namespace qb7
