#include "session/session_keys.hpp"

#include <cstdint>

namespace qb7 {

namespace {

// Keys that send fixed bytes, and those the session keeps for itself,
// tested in this order.
struct KeyRow {
  std::string_view key;
  KeyAction::Kind kind;
  std::string_view bytes;
};
constexpr KeyRow kKeyTable[] = {
    {"\x1a", KeyAction::Kind::Send, "\x03"},  // Ctrl-Z sends Ctrl-C
    {keys::KeyLeft, KeyAction::Kind::Send, "\x1b[D"},
    {keys::KeyRight, KeyAction::Kind::Send, "\x1b[C"},
    {keys::KeyUp, KeyAction::Kind::Send, "\x1b[A"},
    {keys::KeyDown, KeyAction::Kind::Send, "\x1b[B"},
    {keys::KeyDel, KeyAction::Kind::Send, "\x7f"},
    {keys::KeyShiftF1, KeyAction::Kind::Help, {}},
    {keys::KeyShiftF2, KeyAction::Kind::Leave, {}},
};

// F1..F10, F11..F12, Shift-F1..Shift-F10, Shift-F11..Shift-F12: a key in
// a range plays the range's first slot plus its distance from the first key.
struct SlotRange {
  std::string_view first;
  std::string_view last;
  int firstSlot;
};
constexpr SlotRange kSlotRanges[] = {
    {keys::KeyF1, keys::KeyF10, 1},
    {keys::KeyF11, keys::KeyF12, 11},
    {keys::KeyShiftF1, keys::KeyShiftF10, 13},
    {keys::KeyShiftF11, keys::KeyShiftF12, 23},
};

}  // namespace

int MacroSlotForKey(std::string_view key) {
  for (const SlotRange& r : kSlotRanges) {
    // Byte strings compare as unsigned bytes, a prefix first.
    if (key >= r.first && key <= r.last)
      return static_cast<uint8_t>(key[1]) - static_cast<uint8_t>(r.first[1]) + r.firstSlot;
  }
  return 0;
}

KeyAction SessionKeyAction(std::string_view key) {
  for (const KeyRow& row : kKeyTable)
    if (key == row.key) return {row.kind, row.bytes, 0};
  if (const int slot = MacroSlotForKey(key); slot != 0) return {KeyAction::Kind::Macro, {}, slot};
  // Any other key goes as it was read.
  return {KeyAction::Kind::Send, key, 0};
}

}  // namespace qb7
