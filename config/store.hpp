// The configuration store: the baud, 24 macro slots of up to 99 lines and
// up to 24 help lines. Written once at start-up, only read afterwards.
// Writes beyond the limits are refused, so nothing can reach another slot.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qb7 {

class Store {
 public:
  static constexpr int kSlots = 24;
  static constexpr int kLinesPerSlot = 99;
  static constexpr int kHelpLines = 24;

  int baud = 0;
  // #CTRLC SEND: Ctrl-C is a key sent to the board, not the order to end.
  bool ctrlCSent = false;
  // #KEEP N: the megabytes the kept sessions may hold; beyond, the oldest go.
  static constexpr uint64_t kDefaultKeepMB = 500;
  uint64_t keepMB = kDefaultKeepMB;
  // #PROMPT N "text": the prompt a route's console shows when it has booted
  // (routes 0..5; empty: the boot report finds it by the quiet after it).
  static constexpr int kRoutes = 6;
  std::array<std::string, kRoutes> prompts{};

  // Every slot and the help text empty.
  void ClearCounts();

  int SlotCount(int slot) const { return ValidSlot(slot) ? slots_[slot].count : 0; }
  // Line 1..count of a slot; an empty string outside that range.
  const std::string& SlotLine(int slot, int line) const;
  // Stores line n (1..99) of a slot and makes n its count. False (nothing
  // stored) outside the limits.
  bool SetSlotLine(int slot, int line, std::string_view text);

  int HelpCount() const { return helpCount_; }
  const std::string& HelpLine(int n) const;
  // Adds a help line; false (nothing stored) when all 24 are in use.
  bool AddHelpLine(std::string_view text);

  static bool ValidSlot(int slot) { return slot >= 1 && slot <= kSlots; }

 private:
  struct Slot {
    int count = 0;
    std::array<std::string, kLinesPerSlot + 1> lines;  // entry 0 is never used
  };
  std::array<Slot, kSlots + 1> slots_;  // slot 0 is never used
  int helpCount_ = 0;
  std::array<std::string, kHelpLines + 1> help_;
  std::string empty_;
};

}  // namespace qb7
