// PC code page 437: the glyph a text-mode screen shows for each byte, and
// the way back for characters typed on a Unicode terminal.
#pragma once
#include <cstdint>

namespace qb7 {

char32_t Cp437Glyph(uint8_t byte);
// The byte whose glyph is this character (128..255 or printable ASCII), or -1.
int Cp437FromUnicode(char32_t codePoint);

}  // namespace qb7
