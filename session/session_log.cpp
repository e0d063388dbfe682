#include "session/session_log.hpp"

#include "board/board_registers.hpp"
#include "log/log_names.hpp"

namespace qb7 {

SessionLog::SessionLog(LogWriter& writer, Clock& clock) : writer_(writer), clock_(clock) {
  bytes_.reserve(board::uart::kRxFifoSize * 32);
  raw_.reserve(board::uart::kRxFifoSize * 32);
  marks_.reserve(256);
}

void SessionLog::Open(uint64_t keepBytes) {
  startUs_ = nowUs_ = clock_.NowUs();
  startWallUs_ = clock_.WallUs();
  reset_ = false;
  logged_ = 0;
  rawLogged_ = 0;
  rawLineStart_ = 0;
  lineStart_ = true;
  lineMarked_ = false;
  writer_.Open(std::string(kLogFileName), keepBytes);
  open_ = true;
}

void SessionLog::Close() {
  if (!open_) return;
  Flush();
  writer_.Close();
  open_ = false;
}

void SessionLog::Received(std::string_view bytes, uint64_t fedBefore) {
  if (!open_) return;
  rawOfFed_ = rawLogged_ + raw_.size() - fedBefore;
  raw_.append(bytes);
}

void SessionLog::Put(uint8_t byte, uint64_t fed) {
  if (lineStart_) {
    if (!lineMarked_ || nowUs_ != lineMarkUs_)
      marks_.push_back({logged_ + bytes_.size(), rawLineStart_, TimeAt(nowUs_), "line"});
    lineMarked_ = true;
    lineMarkUs_ = nowUs_;
    lineStart_ = false;
    if (watchLines_) {
      watchedLine_.clear();
      watchedStart_ = TimeAt(nowUs_);
    }
  }
  bytes_.push_back(static_cast<char>(byte));
  if (byte == '\n') {
    lineStart_ = true;
    rawLineStart_ = rawOfFed_ + fed + 1;
    if (watchLines_) watchLines_(watchedLine_, watchedStart_);
  } else if (watchLines_ && byte != '\r' && watchedLine_.size() < kWatchedLineBytes) {
    watchedLine_.push_back(static_cast<char>(byte));
  }
}

void SessionLog::Flush() {
  if (!raw_.empty()) writer_.AppendRaw(raw_);
  if (!bytes_.empty()) writer_.Append(bytes_);
  writer_.Marks(marks_);
  logged_ += bytes_.size();
  rawLogged_ += raw_.size();
  bytes_.clear();
  raw_.clear();
  marks_.clear();
  // The stretch goes to the writer with its records.
  writer_.HandOver();
}

void SessionLog::NoteAt(uint64_t atUs, std::string_view what) {
  if (!open_) return;
  Flush();
  writer_.Mark({logged_, rawLogged_, TimeAt(atUs), std::string(what)});
}

void SessionLog::ResetAt(uint64_t atUs) {
  reset_ = true;
  resetUs_ = atUs;
}

LogTime SessionLog::TimeAt(uint64_t atUs) const {
  LogTime t;
  t.sessionUs = atUs >= startUs_ ? atUs - startUs_ : 0;
  if (reset_ && atUs >= resetUs_) t.sinceResetUs = static_cast<int64_t>(atUs - resetUs_);
  t.wallUs = startWallUs_ + t.sessionUs;
  return t;
}

RowTime SessionLog::RowTimeAt(uint64_t atUs, RowTime::Kind kind) const {
  const LogTime t = TimeAt(atUs);
  RowTime row;
  row.sinceReset = t.sinceResetUs != LogTime::kNoReset;
  row.us = row.sinceReset ? t.sinceResetUs : static_cast<int64_t>(t.sessionUs);
  row.kind = kind;
  row.session = number_;
  return row;
}

}  // namespace qb7
