// The file of the log's times (Term.times), beside Term.txt and Term.raw:
// one record a line, tab-separated, so that a reader can align it with
// Term.txt and with Term.raw by offset:
//
//   offset  raw  session ms  reset ms  date and time                  what
//   0       0    0.000       -         2026-12-09T11:34:00.123+01:00  start route 0 "VSC7420 ..." 115200 baud
//   0       0    12.004      -         2026-12-09T11:34:00.135+01:00  reset
//   0       0    12.310      0.306     2026-12-09T11:34:00.135+01:00  line
//   48      61   75.310      63.306                                   line
//
// offset: the byte of Term.txt where the record stands (a line's first
// byte, or where the log stood when the event came); raw: the byte of
// Term.raw, the bytes as received, where the same stands; session ms: since
// the session started; reset ms: since the last reset pulse of the
// session, "-" before one; the date and time in ISO 8601 with milliseconds
// and the local offset from UTC, on every event and on a line's record
// only when its second differs from the last date written (empty
// otherwise: a stream of short lines would make the file many times the
// log); what: "line" or the event. Pure.
#pragma once
#include <cstdint>
#include <string>

namespace qb7 {

// When something came: since the session started, since the last reset
// pulse (none before one), and the date.
struct LogTime {
  static constexpr int64_t kNoReset = -1;
  uint64_t sessionUs = 0;
  int64_t sinceResetUs = kNoReset;
  uint64_t wallUs = 0;  // microseconds since 1970-01-01 UTC
};

// One record.
struct TimeMark {
  uint64_t offset = 0;
  uint64_t raw = 0;  // the byte of Term.raw
  LogTime time;
  std::string what = "line";
};

// The first lines of the file: what it is and its columns.
std::string TimesHeader();
// One record, with its line end. The date in the local time zone, or an
// empty field without it.
std::string FormatMark(const TimeMark& mark, bool withDate = true);
// The date alone: 2026-12-09T11:34:00.123+01:00.
std::string FormatDate(uint64_t wallUs);

}  // namespace qb7
