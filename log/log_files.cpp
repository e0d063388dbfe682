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
  times_.Write(TimesHeader());
}

void LogFiles::Mark(const TimeMark& mark) {
  if (log_.IsOpen()) times_.Write(FormatMark(mark));
}

void LogFiles::Close() {
  log_.Close();
  times_.Close();
}

void LogFiles::CheckStillThere() {
  log_.CheckStillThere();
  times_.CheckStillThere();
}

LogNews LogFiles::TakeNews() {
  LogNews news = news_;
  news_ = {};
  news.log.Merge(log_.TakeNews());
  news.times.Merge(times_.TakeNews());
  return news;
}

}  // namespace qb7
