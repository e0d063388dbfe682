// What a finished control sequence from a terminal means: the tables of
// the sequences each family of terminal sends (xterm and its kin, rxvt,
// the Linux console), with Shift, Ctrl and Alt, and the mouse reports. The
// decoder walks the bytes (key_decoder.cpp); this says what they were.
#pragma once
#include <cstdint>
#include <string_view>

#include "keys/key_decoder.hpp"

namespace qb7::sequences {

// A sequence's parameter bytes, whether an Esc came before it (Alt), and
// the family of the terminal that sent it.
struct Seen {
  std::string_view params;
  bool alt = false;
  KeyFamily family = KeyFamily::Xterm;
};

// ESC [ params final. True when it starts a bracketed paste (ESC [200~):
// the decoder then reads the paste.
bool Csi(const Seen& s, uint8_t final, DecodedKeys& out);
// ESC O params final.
void Ss3(const Seen& s, uint8_t final, DecodedKeys& out);
// The Linux console's F1..F5: ESC [ [ A .. E.
void LinuxFunction(uint8_t letter, bool alt, DecodedKeys& out);
// An X10 mouse report's button byte: the wheel, or nothing.
void X10Mouse(uint8_t button, DecodedKeys& out);

}  // namespace qb7::sequences
