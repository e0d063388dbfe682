#include "keys/keys.hpp"

namespace qb7 {

uint8_t AltLetterScan(char letter) {
  // Scan codes of the letter keys, in alphabetical order.
  static constexpr uint8_t kLetters[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                           49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};
  if (letter >= 'a' && letter <= 'z') return kLetters[letter - 'a'];
  if (letter >= 'A' && letter <= 'Z') return kLetters[letter - 'A'];
  return 0;
}

uint8_t AltDigitScan(char digit) {
  if (digit >= '1' && digit <= '9') return static_cast<uint8_t>(scan::kAlt1 + (digit - '1'));
  if (digit == '0') return static_cast<uint8_t>(scan::kAlt1 + 9);
  return 0;
}

}  // namespace qb7
