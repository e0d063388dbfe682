// Reading Term.times back: its records, in either layout (offset, raw,
// session ms, reset ms, date, what; or, from earlier versions, without
// raw). Header lines, records cut short and anything that is not a record
// are passed over. Pure.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qb7 {

struct TimesRecord {
  static constexpr int64_t kNone = -1;
  uint64_t offset = 0;       // in Term.txt
  int64_t sessionUs = kNone;  // since the session started
  int64_t resetUs = kNone;    // since the last reset (or power-on); kNone before one
  std::string what;          // "line", or the event
};

std::vector<TimesRecord> ParseTimesRecords(const std::string& text);

}  // namespace qb7
