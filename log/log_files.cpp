#include "log/log_files.hpp"

#include "log/log_names.hpp"
#include "log/session_keeping.hpp"

namespace qb7 {

void LogFiles::Open(const std::string& log, uint64_t keepBytes) {
  Close();
  const Keeping k = KeepLastSession(log, keepBytes);
  if (k.notRegular) {
    news_.log.notRegular = true;
    return;
  }
  if (k.error != 0) {
    news_.rotationFailure = k.error;
    news_.rotationFile = std::string(BaseName(k.file));
    return;
  }
  const uint64_t keepMB = keepBytes / (1024 * 1024);
  openNotes_.clear();
  if (!k.keptAs.empty()) openNotes_.push_back("the session before kept as " + k.keptAs);
  for (const std::string& gone : k.removed)
    openNotes_.push_back("kept session removed, over #KEEP " + std::to_string(keepMB) + " MB: " + gone);
  if (!k.removed.empty()) {
    news_.keptRemoved.insert(news_.keptRemoved.end(), k.removed.begin(), k.removed.end());
    news_.keepMB = keepMB;
  }
  log_.Open(log);
  times_.Open(TimesFileName(log));
  raw_.Open(RawFileName(log));
  rawGiven_ = 0;
  times_.WriteWhole(TimesHeader());
  logRestarts_ = log_.Restarts();
  timesRestarts_ = times_.Restarts();
  datedSecond_ = -1;
}

void LogFiles::Record(TimeMark mark, uint64_t offset, uint64_t raw) {
  mark.offset = offset;
  mark.raw = raw;
  lastTime_ = mark;
  // The date on every event, and on a line once a second.
  const int64_t second = static_cast<int64_t>(mark.time.wallUs / 1000000);
  const bool dated = mark.what != "line" || second != datedSecond_;
  if (times_.WriteWhole(FormatMark(mark, dated)) && dated) datedSecond_ = second;
  if (!openNotes_.empty()) {
    // What the keeping did, at the session's first record and time.
    std::vector<std::string> notes;
    notes.swap(openNotes_);
    for (std::string& note : notes) {
      mark.what = std::move(note);
      times_.WriteWhole(FormatMark(mark));
    }
  }
}

void LogFiles::WriteRaw(std::string_view bytes) {
  if (!raw_.IsOpen()) return;
  raw_.Write(bytes);
  rawGiven_ += bytes.size();
}

uint64_t LogFiles::RawAt(uint64_t raw) const {
  // A line's record can name a byte already written (its line began in an
  // earlier stretch): counted back from where the file stands.
  const uint64_t after = rawGiven_ > raw ? rawGiven_ - raw : 0;
  return raw_.Size() > after ? raw_.Size() - after : 0;
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
    Record(hole, at, raw_.Size());
  }
  if (pendingLine_) {
    // The line's first byte reached the file at a line start: its record
    // stands there. Otherwise the line begins in a hole, and has none.
    if (written > 0 && lineStart) Record(*pendingLine_, at, pendingRaw_);
    pendingLine_.reset();
  }
}

void LogFiles::Mark(const TimeMark& mark) {
  if (!log_.IsOpen()) return;
  NoteRestarts();
  if (mark.what == "line") {
    pendingLine_ = mark;
    pendingRaw_ = RawAt(mark.raw);
    return;
  }
  Record(mark, log_.Size(), RawAt(mark.raw));
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
    Record(restart, 0, raw_.Size());
  }
}

void LogFiles::Close() {
  if (log_.IsOpen() && log_.Failing()) {
    TimeMark hole = lastTime_;
    hole.what = "hole: " + std::to_string(log_.Lacking()) +
                " bytes not written here (the log was not written again)";
    Record(hole, log_.Size(), raw_.Size());
  }
  pendingLine_.reset();
  log_.Close();
  times_.Close();
  raw_.Close();
}

void LogFiles::CheckStillThere() {
  log_.CheckStillThere();
  times_.CheckStillThere();
  raw_.CheckStillThere();
  if (log_.IsOpen()) NoteRestarts();
}

LogNews LogFiles::TakeNews() {
  LogNews news = news_;
  news_ = {};
  news.log.Merge(log_.TakeNews());
  news.times.Merge(times_.TakeNews());
  news.raw.Merge(raw_.TakeNews());
  return news;
}

}  // namespace qb7
