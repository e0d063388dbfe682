#include "text/number_text.hpp"

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace qb7 {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

double ReadRadix(std::string_view text, std::size_t i, int radix, std::size_t& end) {
  double value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      break;
    if (d >= radix) break;
    value = value * radix + d;
  }
  end = i;
  return value;
}

}  // namespace

double ReadNumber(std::string_view text) {
  std::size_t read = 0;
  return ReadNumber(text, read);
}

double ReadNumber(std::string_view text, std::size_t& read) {
  read = 0;
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;

  if (i + 1 < text.size() && text[i] == '&') {
    char p = static_cast<char>(text[i + 1] & ~0x20);
    if (p == 'H') return ReadRadix(text, i + 2, 16, read);
    if (p == 'O') return ReadRadix(text, i + 2, 8, read);
    if (p == 'B') return ReadRadix(text, i + 2, 2, read);
    if (IsDigit(text[i + 1])) return ReadRadix(text, i + 1, 8, read);
    return 0;
  }

  // Collect the longest prefix of the number form, then let strtod read it.
  std::string number;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
  bool digits = false;
  while (i < text.size() && IsDigit(text[i])) {
    number += text[i++];
    digits = true;
  }
  if (i < text.size() && text[i] == '.') {
    number += text[i++];
    while (i < text.size() && IsDigit(text[i])) {
      number += text[i++];
      digits = true;
    }
  }
  if (!digits) return 0;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
    bool expDigits = false;
    while (j < text.size() && IsDigit(text[j])) {
      exponent += text[j++];
      expDigits = true;
    }
    if (expDigits) {
      number += exponent;
      i = j;
    }
  }
  read = i;
  double value = std::strtod(number.c_str(), nullptr);
  if (std::isnan(value)) return 0;
  return value;
}

int64_t RoundHalfEven(double value) {
  if (std::isnan(value)) return 0;
  // The default rounding mode rounds to nearest, ties to even.
  double r = std::nearbyint(value);
  constexpr double kMax = 9223372036854775807.0;  // rounds up to 2^63
  if (r >= kMax) return std::numeric_limits<int64_t>::max();
  if (r <= -kMax) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(r);
}

int32_t ClampToInt32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

}  // namespace qb7
