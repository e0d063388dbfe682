// ASCII letters in upper case, the rest unchanged: how the configuration's
// headers, the macro letters and the menu keys are compared.
#pragma once
#include <string>
#include <string_view>

namespace qb7 {

constexpr char UpperCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = UpperCase(c);
  return upper;
}

}  // namespace qb7
