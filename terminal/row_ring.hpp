// The hand-over of the rows that leave the screen, from the program thread
// to the terminal thread's view: the program thread puts each row as it
// leaves, the terminal thread takes them when it next looks, whatever frames
// it skipped meanwhile, with no lock. A terminal thread held up (its
// terminal stopped reading) for longer than the ring lasts loses the rows
// that found it full; they are counted, and the view shows them as not kept.
#pragma once
#include <atomic>
#include <cstdint>

#include "queue/spsc_ring.hpp"
#include "screen/screen.hpp"

namespace qb7 {

class RowRing {
 public:
  static constexpr std::size_t kRingRows = 8192;

  // Program thread: never waits.
  void Push(const Row& row, uint64_t number, const RowTime& time) {
    if (!ring_.TryPush({row, number, time})) lost_.fetch_add(1, std::memory_order_relaxed);
  }

  // Terminal thread: hands every row waiting to keep(row, number, time).
  template <class Keep>
  void Drain(Keep keep, uint64_t nowUs) {
    ring_.Drain([&keep](const NumberedRow& r) { keep(r.row, r.number, r.time); });
    takenUs_.store(nowUs, std::memory_order_release);
  }
  // Program thread: how many rows fit now, and when the terminal thread
  // last took rows (monotonic microseconds).
  std::size_t Room() const { return ring_.Room(); }
  uint64_t TakenUs() const { return takenUs_.load(std::memory_order_acquire); }
  uint64_t Lost() const { return lost_.load(std::memory_order_relaxed); }

 private:
  struct NumberedRow {
    Row row;
    uint64_t number;
    RowTime time;
  };
  SpscRing<NumberedRow> ring_{kRingRows};
  std::atomic<uint64_t> lost_{0};
  std::atomic<uint64_t> takenUs_{0};
};

}  // namespace qb7
