// The one-slot hand-over of frames from the program thread to the
// terminal thread. A newer frame overwrites one not yet taken, so a
// terminal that stopped reading gets the newest screen when it reads again,
// never a backlog.
//
// Frames and bells pass without a lock (three frame buffers whose roles
// are swapped atomically), so the program thread, which may run at
// real-time priority, never waits for the terminal thread, whatever that
// is doing. (The terminal lent to an external program and taken back
// passes elsewhere: LoanOrders.)
#pragma once
#include <array>
#include <atomic>

#include "view/frame.hpp"

namespace qb7 {

class FrameMailbox {
 public:
  // Program thread.
  void PutFrame(const Frame& frame) {
    buffers_[back_] = frame;
    back_ = middle_.exchange(back_ | kFresh, std::memory_order_acq_rel) & kIndex;
  }
  void PutBell() { bells_.fetch_add(1, std::memory_order_relaxed); }

  // Terminal thread. The newest frame not yet taken, or null; it stays
  // valid until the next call.
  const Frame* TakeFrame() {
    if (!(middle_.load(std::memory_order_acquire) & kFresh)) return nullptr;
    front_ = middle_.exchange(front_, std::memory_order_acq_rel) & kIndex;
    return &buffers_[front_];
  }
  int TakeBells() { return bells_.exchange(0, std::memory_order_relaxed); }
  // True when a frame or a bell waits.
  bool Waiting() const {
    return (middle_.load(std::memory_order_acquire) & kFresh) != 0 ||
           bells_.load(std::memory_order_relaxed) != 0;
  }

 private:
  static constexpr unsigned kIndex = 3;
  static constexpr unsigned kFresh = 4;

  // Each buffer is, at any time, the writer's (back), the reader's (front)
  // or the one in between (middle), marked fresh when it holds a frame the
  // reader has not taken.
  std::array<Frame, 3> buffers_;
  unsigned back_ = 0;   // program thread only
  unsigned front_ = 1;  // terminal thread only
  std::atomic<unsigned> middle_{2};
  std::atomic<int> bells_{0};
};

}  // namespace qb7
