// What the program hands the terminal at each frame: a copy of the screen,
// and beside it the news the view shows around it (the counts of what the
// line brought, the message lines drawn), so that the 80x25 model holds
// only the screen itself.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "screen/screen.hpp"

namespace qb7 {

// What the running session has met on its line, for the view to show to
// the right of the session's status line (and below the screen in a taller
// window), so that the operator need not guess what the line brings.
struct LineCounts {
  bool session = false;    // a session runs: there is something to show
  uint64_t statusRow = 0;  // the number the status line gets when it leaves the screen
  int statusLength = 0;    // the status line's length
  uint64_t received = 0;   // bytes
  uint64_t framing = 0;    // looks that found a framing error
  uint64_t overflow = 0;   // looks that found an overflow
  // The session's number in this run (its rows carry it) and what it is
  // (route, title, speed, start date), for the history's dividers; fixed
  // in size, so a frame is copied without an allocation.
  uint32_t number = 0;
  std::array<char, 160> header{};
  uint8_t headerLength = 0;
  std::string_view Header() const { return {header.data(), headerLength}; }
  // The boot's report, short ("boot: prompt after 2.587 s"), shown at the
  // top right for a while after a capture; empty: none.
  std::array<char, 48> boot{};
  uint8_t bootLength = 0;
  std::string_view Boot() const { return {boot.data(), bootLength}; }
  void SetBoot(std::string_view text) {
    bootLength = static_cast<uint8_t>(std::min(text.size(), boot.size()));
    std::copy_n(text.data(), bootLength, boot.data());
  }
  void SetHeader(std::string_view text) {
    headerLength = static_cast<uint8_t>(std::min(text.size(), header.size()));
    std::copy_n(text.data(), headerLength, header.data());
  }
  bool operator==(const LineCounts&) const = default;
};

struct Frame {
  Screen screen;
  LineCounts counts;
  // Message lines drawn so far: a view scrolled back into the history comes
  // back to show a new one.
  uint64_t alerts = 0;
  // The program's news for the bottom row (a paste it dropped), not modal;
  // fixed in size, so a frame is copied without an allocation.
  std::array<char, 80> notice{};
  uint8_t noticeLength = 0;
  std::string_view Notice() const { return {notice.data(), noticeLength}; }
  // Grows with every change to the screen or the news beside it.
  uint64_t news = 0;
  uint64_t Version() const { return screen.Version() + news; }
};

}  // namespace qb7
