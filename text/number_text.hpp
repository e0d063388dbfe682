// Reading a number from the start of a text, as the configuration file and
// the macros write them: leading spaces, a sign, digits, a decimal point,
// an exponent with E or D; or a radix prefix &H, &O (or & alone) or &B.
// Text with no number at its start reads as 0. Never throws.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qb7 {

double ReadNumber(std::string_view text);
// The same, telling how many characters the number took (0: none there).
double ReadNumber(std::string_view text, std::size_t& read);

// Rounds to the nearest integer, halves to the even neighbour, and clamps to
// the 64-bit range (so a value of any size stays defined).
int64_t RoundHalfEven(double value);

// Clamps a 64-bit value into the 32-bit signed range.
int32_t ClampToInt32(int64_t value);

}  // namespace qb7
