#include "session/term_colour.hpp"

namespace qb7 {

namespace {
// ANSI colour order (black, red, green, yellow, blue, magenta, cyan, white)
// to palette numbers.
constexpr int kAnsiToPalette[8] = {0, 4, 2, 6, 1, 5, 3, 7};
}  // namespace

void TermColour(ColourPair& colours, Console& console, int64_t code) {
  if (code == 0 || code == 2 || code == 4 || code == 5 || code == 8) {
    colours.fg = 7;
    colours.bg = 0;
  } else if (code == 1) {
    colours.fg |= 8;
  } else if (code >= 30 && code <= 37) {
    colours.fg = (colours.fg & 8) | kAnsiToPalette[code - 30];
  } else if (code >= 40 && code <= 47) {
    colours.bg = kAnsiToPalette[code - 40];
  }
  console.SetColours(colours.fg, colours.bg);
}

}  // namespace qb7
