#include "log/times_format.hpp"

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace qb7 {

namespace {
// Milliseconds with three decimals: 12.004.
std::string Milliseconds(uint64_t us) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%03llu", static_cast<unsigned long long>(us / 1000),
                static_cast<unsigned long long>(us % 1000));
  return text;
}
}  // namespace

std::string TimesHeader() {
  return "# qb7uart: when each line of Term.txt came, and the session's events\n"
         "# offset\traw\tsession ms\treset ms\tdate and time\twhat\n";
}

std::string FormatDate(uint64_t wallUs) {
  // The local time of a second is worked out once: a busy line has
  // thousands of records in each.
  thread_local time_t cachedSecond = -1;
  thread_local char date[40];
  thread_local char zone[24];
  const time_t seconds = static_cast<time_t>(wallUs / 1000000);
  if (seconds != cachedSecond) {
    tm local{};
    localtime_r(&seconds, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff / 60;  // minutes east of UTC
    std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', std::labs(offset) / 60,
                  std::labs(offset) % 60);
    cachedSecond = seconds;
  }
  char text[96];
  std::snprintf(text, sizeof text, "%s.%03u%s", date, static_cast<unsigned>(wallUs / 1000 % 1000),
                zone);
  return text;
}

std::string FormatMark(const TimeMark& mark, bool withDate) {
  std::string line = std::to_string(mark.offset);
  line += '\t';
  line += std::to_string(mark.raw);
  line += '\t';
  line += Milliseconds(mark.time.sessionUs);
  line += '\t';
  line += mark.time.sinceResetUs == LogTime::kNoReset
              ? std::string("-")
              : Milliseconds(static_cast<uint64_t>(mark.time.sinceResetUs));
  line += '\t';
  if (withDate) line += FormatDate(mark.time.wallUs);
  line += '\t';
  // One record a line, tab-separated: a tab or a line end in an event's
  // text (a message quoting a macro) would break it.
  for (char c : mark.what) line += (static_cast<unsigned char>(c) < 32 || c == 127) ? ' ' : c;
  line += '\n';
  return line;
}

}  // namespace qb7
