// The rows that left the screen, as the operator's view keeps them: the
// last kKeptRows, each under its number in the order rows left (0, 1, ...),
// in fixed memory, with constant work per row. Single-threaded: the view
// owns it.
#pragma once
#include <cstdint>
#include <limits>
#include <vector>

#include "screen/screen.hpp"

namespace qb7 {

// A row as the history keeps it: its cells and when it came.
struct KeptRow {
  Row cells{};
  RowTime time;
};

class HistoryStore {
 public:
  static constexpr std::size_t kKeptRows = 10000;

  HistoryStore() : slots_(kKeptRows) {}

  void Keep(const Row& row, uint64_t number, const RowTime& time) {
    Slot& s = slots_[number % kKeptRows];
    s.kept.cells = row;
    s.kept.time = time;
    s.number = number;
  }
  // The row of that number, or null when it is not kept: older than the
  // last kKeptRows, or lost on the way.
  const KeptRow* Find(uint64_t number) const {
    const Slot& s = slots_[number % kKeptRows];
    return s.number == number ? &s.kept : nullptr;
  }
  // The memory it holds, whatever it holds: fixed.
  static constexpr std::size_t Bytes() { return kKeptRows * sizeof(Slot); }

 private:
  struct Slot {
    KeptRow kept;
    uint64_t number = std::numeric_limits<uint64_t>::max();
  };
  std::vector<Slot> slots_;
};

}  // namespace qb7
