// Whether Term.times stands aligned with Term.txt: every "line" record at a
// line start of the log as written, and every record whole (six fields,
// the first two numbers: the offsets in Term.txt and Term.raw). Shared by the whole-program tests and the timescheck
// helper the real-terminal cases run.
#pragma once
#include <cstdint>
#include <sstream>
#include <string>

namespace qb7::test {

struct Alignment {
  uint64_t records = 0;      // every record below the header
  uint64_t broken = 0;       // records not whole
  uint64_t lines = 0;        // "line" records
  uint64_t atLineStart = 0;  // of those, at a line start of the log
  uint64_t holes = 0;        // records of a hole
  uint64_t restarts = 0;     // records of a log started again
  bool Aligned() const { return broken == 0 && atLineStart == lines; }
};

inline Alignment CheckAlignment(const std::string& log, const std::string& times) {
  Alignment a;
  std::istringstream in(times);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    ++a.records;
    std::string fields[6];
    std::istringstream cells(line);
    int n = 0;
    std::string field;
    while (std::getline(cells, field, '\t')) {
      if (n < 6) fields[n] = field;
      ++n;
    }
    // Whole: six fields, the first two offsets; a record cut and glued to
    // the next has more.
    const auto number = [](const std::string& f) {
      return !f.empty() && f.find_first_not_of("0123456789") == std::string::npos;
    };
    if (n != 6 || !number(fields[0]) || !number(fields[1])) {
      ++a.broken;
      continue;
    }
    const uint64_t offset = std::stoull(fields[0]);
    if (fields[5] == "line") {
      ++a.lines;
      if (offset < log.size() && (offset == 0 || log[offset - 1] == '\n')) ++a.atLineStart;
    }
    if (fields[5].rfind("hole:", 0) == 0) ++a.holes;
    if (fields[5].rfind("log started again", 0) == 0) ++a.restarts;
  }
  return a;
}

}  // namespace qb7::test
