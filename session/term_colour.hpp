// Turns one parameter of a select-graphic-rendition sequence into the
// console's 16-colour palette and applies it at once.
#pragma once
#include <cstdint>

#include "console/console.hpp"
#include "screen/screen.hpp"

namespace qb7 {

// Updates the current colours for the code, then sets the console's colours
// to them, even when the code changed nothing.
void TermColour(ColourPair& colours, Console& console, int64_t code);

}  // namespace qb7
