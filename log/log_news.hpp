// What the operator must hear of the session log, gathered by whoever owns
// the log's files, and the message lines that tell it: each text in this
// one place.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb7 {

inline constexpr std::string_view kLogFileName = "Term.txt";

struct LogNews {
  int failure = 0;          // errno of a failure to open or write; 0: none
  bool resumed = false;     // writes succeed again after a failure
  uint64_t missing = 0;     // with resumed: the bytes the log lacks
  bool removed = false;     // deleted or renamed: a new log was started
  uint64_t dropped = 0;     // bytes the writer had no room to keep
  bool Any() const { return failure != 0 || resumed || removed || dropped != 0; }
  // Adds later news to this: a new failure replaces an earlier resumption.
  void Merge(const LogNews& later);
};

// The message lines for the news, in the order they are told.
std::vector<std::string> LogNewsLines(const LogNews& news);

}  // namespace qb7
