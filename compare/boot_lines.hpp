// A boot as the comparison sees it: the lines a kept session logged from
// its last reset (or power-on) up to the prompt, each with its time since
// that reset, read from its Term.txt and Term.times. A line's time is that
// of the last line record at or before its start (lines that came in one
// look share a record). Pure.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "log/times_reading.hpp"

namespace qb7 {

struct BootLine {
  std::string text;    // without its line end and carriage returns
  uint64_t us = 0;     // since the reset
  uint64_t offset = 0;  // where it starts in Term.txt
};

struct Boot {
  std::vector<BootLine> lines;
  bool found = false;      // the session holds a reset or a power-on
  std::string report;      // its "boot: ..." record, if one was made
};

// text: the whole of Term.txt; records: Term.times, parsed.
Boot BootOfSession(const std::string& text, const std::vector<TimesRecord>& records);

}  // namespace qb7
