// Two boots side by side: their lines matched as a diff matches them, with
// every number masked and spaces run together, so that "[    2.758220]"
// and "[   12.758220]" stamps and changing addresses still match. For each
// matched line, its time in both, the difference, and the change of its
// step (the time since the matched line before it): a line that alone took
// longer has a large step change, the lines after it none, though all of
// them come later. Lines in one boot only are new or missing. Pure.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "compare/boot_lines.hpp"

namespace qb7 {

struct ComparedLine {
  enum class Kind { Both, New, Missing };
  Kind kind = Kind::Both;
  std::string text;      // B's text (A's for a missing line)
  int64_t aUs = -1;      // -1: not in A
  int64_t bUs = -1;      // -1: not in B
  int64_t stepChangeUs = 0;  // B's step minus A's, for lines in both
  bool flagged = false;  // its step changed by the threshold or more
};

struct BootComparison {
  std::vector<ComparedLine> lines;
  int flagged = 0, added = 0, missing = 0;
};

// The text a line is matched by: digits masked as '#', runs of spaces as
// one, none at the end.
std::string MatchKey(const std::string& text);

BootComparison CompareBoots(const Boot& a, const Boot& b, uint64_t thresholdUs);

// The comparison for a person: the two boots named, one row per line (A's
// time, B's, the difference, the step change, '!' flagged, '+' new, '-'
// missing, the text), then the lines that moved most.
std::string ComparisonText(const BootComparison& c, const std::string& aName, const Boot& a,
                           const std::string& bName, const Boot& b, uint64_t thresholdUs);

}  // namespace qb7
