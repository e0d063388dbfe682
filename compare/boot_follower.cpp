#include "compare/boot_follower.hpp"

#include <cstdlib>

#include "compare/boot_compare.hpp"

namespace qb7 {

void BootFollower::Start(const Boot& previous) {
  previous_ = previous;
  next_ = 0;
  lastPrev_ = lastThis_ = 0;
  current_ = Boot{};
  current_.found = true;
}

LineVersus BootFollower::Line(std::string_view text, uint64_t us) {
  if (current_.lines.size() < kMostLines) current_.lines.push_back({std::string(text), us, 0});
  LineVersus v;
  if (!previous_.found || previous_.lines.empty()) return v;
  const std::string key = MatchKey(std::string(text));
  for (std::size_t j = next_; j < previous_.lines.size() && j < next_ + kLookAhead; ++j) {
    if (MatchKey(previous_.lines[j].text) != key) continue;
    const int64_t prevUs = static_cast<int64_t>(previous_.lines[j].us);
    const int64_t thisUs = static_cast<int64_t>(us);
    v.kind = LineVersus::Kind::Matched;
    v.us = thisUs - prevUs;
    v.missing = static_cast<uint16_t>(std::min<std::size_t>(j - next_, UINT16_MAX));
    v.moved = static_cast<uint64_t>(std::llabs((thisUs - lastThis_) - (prevUs - lastPrev_))) >= kThresholdUs;
    lastPrev_ = prevUs;
    lastThis_ = thisUs;
    next_ = j + 1;
    return v;
  }
  v.kind = LineVersus::Kind::New;
  return v;
}

Boot BootFollower::Take() {
  Boot boot = std::move(current_);
  current_ = Boot{};
  previous_ = Boot{};
  return boot;
}

}  // namespace qb7
