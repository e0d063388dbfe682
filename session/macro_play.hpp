// Plays a macro slot: the steps of its line go to the outbox (bytes paced
// at 10 ms, pauses, reports on the message line); a slot of several lines
// starts "GP.EXE" instead; an empty slot does nothing.
#pragma once
#include <string_view>

#include "config/store.hpp"
#include "session/outbox.hpp"

namespace qb7 {

inline constexpr std::string_view kExternalProgram = "GP.EXE";

void MacroPlay(const Store& store, int slot, Outbox& outbox);

}  // namespace qb7
