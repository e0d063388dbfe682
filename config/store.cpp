#include "config/store.hpp"

namespace qb7 {

void Store::ClearCounts() {
  for (auto& s : slots_) s.count = 0;
  helpCount_ = 0;
}

const std::string& Store::SlotLine(int slot, int line) const {
  if (!ValidSlot(slot) || line < 1 || line > slots_[slot].count) return empty_;
  return slots_[slot].lines[line];
}

bool Store::SetSlotLine(int slot, int line, std::string_view text) {
  if (!ValidSlot(slot) || line < 1 || line > kLinesPerSlot) return false;
  slots_[slot].lines[line] = std::string(text);
  slots_[slot].count = line;
  return true;
}

const std::string& Store::HelpLine(int n) const {
  if (n < 1 || n > helpCount_) return empty_;
  return help_[n];
}

bool Store::AddHelpLine(std::string_view text) {
  if (helpCount_ >= kHelpLines) return false;
  help_[++helpCount_] = std::string(text);
  return true;
}

}  // namespace qb7
