// Plays a macro slot: quoted text, $codes, W waits and the words CR and LF
// become bytes sent (each paced at 10 ms) and pauses. A slot of several
// lines starts "GP.EXE" instead.
#pragma once
#include <string_view>

namespace qb7 {

struct Machine;

inline constexpr std::string_view kExternalProgram = "GP.EXE";

void MacroPlay(Machine& machine, int slot);

}  // namespace qb7
