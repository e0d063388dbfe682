// Turns one parameter of a select-graphic-rendition sequence into the
// console's 16-colour palette and applies it at once.
#pragma once
#include <cstdint>

#include "console/console.hpp"

namespace qb7 {

// The current colours: foreground 0..15, background 0..7. Program-wide; left
// as the far end set them when a session ends.
struct CurrentColours {
  int fg = 7;
  int bg = 0;
};

// Updates the current colours for the code, then sets the console's colours
// to them, even when the code changed nothing.
void TermColour(CurrentColours& colours, Console& console, int64_t code);

}  // namespace qb7
