// The orders of the terminal's loan to an external program ("GP.EXE"),
// from the program thread to the terminal thread: lend it, take it back.
// The program thread posts an order and then looks, at each turn of its
// loop, whether the terminal thread has carried it out, so "GP.EXE" never
// starts while the terminal is still being drawn on and the session never
// goes on before its screen is back, and the program thread never waits:
// a terminal thread stuck writing to a terminal that stopped reading holds
// up the loan, not the looks at the receive FIFO.
//
// No lock: the order and the word that it is done are two atomics. The
// number of the order carried out is published with release, after the
// terminal's work, and read with acquire.
#pragma once
#include <atomic>
#include <cstdint>

namespace qb7 {

class LoanOrders {
 public:
  enum class Order : uint32_t { None, Lend, TakeBack };

  // Program thread: posts an order (the caller wakes the terminal thread).
  void Post(Order order) {
    const uint32_t number = ++posted_;
    pending_.store(number << 2 | static_cast<uint32_t>(order), std::memory_order_release);
  }
  // Program thread: the last order posted has been carried out.
  bool Settled() const { return done_.load(std::memory_order_acquire) == posted_; }

  // Terminal thread: the order to carry out (None when there is none new),
  // and the word that it is done.
  Order Take() {
    const uint32_t word = pending_.load(std::memory_order_acquire);
    if ((word >> 2) == taken_) return Order::None;
    taken_ = word >> 2;
    return static_cast<Order>(word & 3);
  }
  void Done() { done_.store(taken_, std::memory_order_release); }

 private:
  uint32_t posted_ = 0;  // program thread only
  uint32_t taken_ = 0;   // terminal thread only
  std::atomic<uint32_t> pending_{0};
  std::atomic<uint32_t> done_{0};
};

}  // namespace qb7
