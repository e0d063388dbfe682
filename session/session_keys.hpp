// The session's key table, as data: which keys send fixed bytes, which
// show the help or leave, which play a macro slot (computed from the key's
// range, not looked up), and that every other key is sent as it was read.
#pragma once
#include <string_view>

#include "keys/keys.hpp"

namespace qb7 {

struct KeyAction {
  enum class Kind { Send, Help, Leave, Macro };
  Kind kind = Kind::Send;
  std::string_view bytes;  // Send: what goes to the line
  int slot = 0;            // Macro: 1..24
};

// What a key does in a session: the first row of the table that matches.
KeyAction SessionKeyAction(std::string_view key);

// The macro slot a key plays (1..24), or 0 for a key that plays none.
int MacroSlotForKey(std::string_view key);

}  // namespace qb7
