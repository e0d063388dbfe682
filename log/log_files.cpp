#include "log/log_files.hpp"

#include "log/log_names.hpp"
#include "log/log_rotation.hpp"

namespace qb7 {

void LogFiles::Open(const std::string& log) {
  Close();
  const std::string times = TimesFileName(log);
  const Rotation r = RotateLogs(log, times, kKeptLogs);
  if (r.notRegular) {
    news_.log.notRegular = true;
    return;
  }
  if (r.error != 0) {
    news_.rotationFailure = r.error;
    news_.rotationFile = std::string(BaseName(r.file));
    return;
  }
  log_.Open(log);
  times_.Open(times);
  times_.WriteWhole(TimesHeader());
  logRestarts_ = log_.Restarts();
  timesRestarts_ = times_.Restarts();
}

void LogFiles::Record(TimeMark mark, uint64_t offset) {
  mark.offset = offset;
  lastTime_ = mark;
  times_.WriteWhole(FormatMark(mark));
}

void LogFiles::Write(std::string_view bytes) {
  if (!log_.IsOpen()) return;
  const uint64_t at = log_.Size();
  const bool lineStart = log_.AtLineStart();
  const bool wasFailing = log_.Failing();
  const uint64_t lacking = log_.Lacking();
  const std::size_t written = log_.Write(bytes);
  if (wasFailing && written > 0) {
    // Written again: the hole is where these bytes begin.
    TimeMark hole = lastTime_;
    hole.what = "hole: " + std::to_string(lacking) + " bytes not written here";
    Record(hole, at);
  }
  if (pendingLine_) {
    // The line's first byte reached the file at a line start: its record
    // stands there. Otherwise the line begins in a hole, and has none.
    if (written > 0 && lineStart) Record(*pendingLine_, at);
    pendingLine_.reset();
  }
}

void LogFiles::Mark(const TimeMark& mark) {
  if (!log_.IsOpen()) return;
  NoteRestarts();
  if (mark.what == "line") {
    pendingLine_ = mark;
    return;
  }
  Record(mark, log_.Size());
}

void LogFiles::NoteRestarts() {
  if (times_.Restarts() != timesRestarts_) {
    // A new times file: its header first.
    timesRestarts_ = times_.Restarts();
    times_.WriteWhole(TimesHeader());
  }
  if (log_.Restarts() != logRestarts_) {
    logRestarts_ = log_.Restarts();
    pendingLine_.reset();
    TimeMark restart = lastTime_;
    restart.what = "log started again: the Term.txt before was removed or renamed";
    Record(restart, 0);
  }
}

void LogFiles::Close() {
  if (log_.IsOpen() && log_.Failing()) {
    TimeMark hole = lastTime_;
    hole.what = "hole: " + std::to_string(log_.Lacking()) +
                " bytes not written here (the log was not written again)";
    Record(hole, log_.Size());
  }
  pendingLine_.reset();
  log_.Close();
  times_.Close();
}

void LogFiles::CheckStillThere() {
  log_.CheckStillThere();
  times_.CheckStillThere();
  if (log_.IsOpen()) NoteRestarts();
}

LogNews LogFiles::TakeNews() {
  LogNews news = news_;
  news_ = {};
  news.log.Merge(log_.TakeNews());
  news.times.Merge(times_.TakeNews());
  return news;
}

}  // namespace qb7
