// A boot compared with the previous one of its route line by line as it
// comes, for the history's gutter: each line that ends is matched with
// the next line of the previous boot that has its key (numbers masked, as
// the comparison of two kept boots does), looking a few dozen lines ahead;
// lines skipped there are missing before it, a line found nowhere ahead is
// new. The boot's own lines are kept, to be the next one's previous boot.
// Pure.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "compare/boot_lines.hpp"

namespace qb7 {

struct LineVersus {
  enum class Kind { None, Matched, New };
  Kind kind = Kind::None;
  int64_t us = 0;          // this line's time minus the matched line's
  uint16_t missing = 0;    // lines of the previous boot skipped before it
  bool moved = false;      // its own step changed by the threshold or more
};

class BootFollower {
 public:
  static constexpr std::size_t kLookAhead = 64;
  static constexpr std::size_t kMostLines = 20000;  // a boot kept for the next is cut there
  static constexpr uint64_t kThresholdUs = 100000;

  // A boot begins; previous: the boot before it on the route (none: every
  // line is told as None, and the boot is still kept).
  void Start(const Boot& previous);
  // A line of the boot ended: its text and its time since the reset.
  LineVersus Line(std::string_view text, uint64_t us);
  // The boot followed so far, its lines and times.
  Boot Take();

 private:
  Boot previous_;
  std::size_t next_ = 0;   // the first line of the previous boot not yet passed
  int64_t lastPrev_ = 0;   // the times of the last matched pair
  int64_t lastThis_ = 0;
  Boot current_;
};

}  // namespace qb7
