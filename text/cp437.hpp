// PC code page 437: the glyph a text-mode screen shows for each byte, and
// the way back for characters typed on a Unicode terminal.
#pragma once
#include <cstdint>

namespace qb7 {

char32_t Cp437Glyph(uint8_t byte);
// The byte whose glyph is this character (128..255 or printable ASCII), or -1.
int Cp437FromUnicode(char32_t codePoint);
// The byte as a search that ignores case sees it: the capital of a letter
// the code page has in both cases (a..z, é and É, ü and Ü, σ and Σ ...),
// else the byte itself.
uint8_t Cp437FoldCase(uint8_t byte);

}  // namespace qb7
