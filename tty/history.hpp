// The rows that left the screen, on their way to the operator's view.
//
// RowRing is the hand-over: the program thread pushes each row as it leaves
// the screen, the front-end thread takes them when it next looks, without a
// lock, whatever frames it skipped meanwhile. A front end that stopped (its
// terminal stopped reading) for longer than the ring lasts loses the rows
// that found it full; they are counted, and the view shows them as not kept.
//
// HistoryStore is the front end's own: the last kRows rows, each under its
// number, in fixed memory, with constant work per row.
#pragma once
#include <atomic>
#include <cstdint>
#include <limits>
#include <vector>

#include "screen/screen.hpp"

namespace qb7 {

class RowRing {
 public:
  static constexpr std::size_t kRows = 8192;

  RowRing() : slots_(kRows) {}

  // Program thread: never waits.
  void Push(const Row& row, uint64_t number) {
    const uint64_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) >= kRows) {
      lost_.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    slots_[head % kRows] = {row, number};
    head_.store(head + 1, std::memory_order_release);
  }

  // Front-end thread: hands every row waiting to keep(row, number).
  template <class Keep>
  void Drain(Keep keep) {
    uint64_t tail = tail_.load(std::memory_order_relaxed);
    const uint64_t head = head_.load(std::memory_order_acquire);
    for (; tail < head; ++tail) keep(slots_[tail % kRows].row, slots_[tail % kRows].number);
    tail_.store(tail, std::memory_order_release);
  }
  uint64_t Lost() const { return lost_.load(std::memory_order_relaxed); }

 private:
  struct Slot {
    Row row;
    uint64_t number;
  };
  std::vector<Slot> slots_;
  std::atomic<uint64_t> head_{0};
  std::atomic<uint64_t> tail_{0};
  std::atomic<uint64_t> lost_{0};
};

class HistoryStore {
 public:
  static constexpr std::size_t kRows = 10000;

  HistoryStore() : slots_(kRows) {}

  void Keep(const Row& row, uint64_t number) {
    Slot& s = slots_[number % kRows];
    s.row = row;
    s.number = number;
  }
  // The row of that number, or null when it is not kept: older than the
  // last kRows, or lost on the way.
  const Row* Find(uint64_t number) const {
    const Slot& s = slots_[number % kRows];
    return s.number == number ? &s.row : nullptr;
  }
  // The memory it holds, whatever it holds: fixed.
  static constexpr std::size_t Bytes() { return kRows * sizeof(Slot); }

 private:
  struct Slot {
    Row row{};
    uint64_t number = std::numeric_limits<uint64_t>::max();
  };
  std::vector<Slot> slots_;
};

}  // namespace qb7
