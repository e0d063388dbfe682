// The known test pattern a simulated console sends for throughput tests:
// lines of 64 bytes, an 8-digit line number, a space, 53 letters that shift
// by one every line, CR LF. Byte i of the pattern is a pure function of i,
// so a checker can verify any stretch of the log.
#pragma once
#include <cstdint>
#include <string>

namespace qb7::sim {

inline constexpr uint64_t kPatternLine = 64;

inline uint8_t PatternByte(uint64_t i) {
  const uint64_t line = i / kPatternLine;
  const uint64_t k = i % kPatternLine;
  if (k < 8) {
    uint64_t v = line;
    for (uint64_t d = 7; d > k; --d) v /= 10;
    return static_cast<uint8_t>('0' + v % 10);
  }
  if (k == 8) return ' ';
  if (k == 62) return '\r';
  if (k == 63) return '\n';
  return static_cast<uint8_t>('A' + (k - 9 + line) % 26);
}

inline std::string Pattern(uint64_t n) {
  std::string s(n, '\0');
  for (uint64_t i = 0; i < n; ++i) s[i] = static_cast<char>(PatternByte(i));
  return s;
}

}  // namespace qb7::sim
