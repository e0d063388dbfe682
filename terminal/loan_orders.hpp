// The orders of the terminal's loan to an external program ("GP.EXE"),
// from the program thread to the terminal thread. The program thread posts
// an order (lend, then take back) and waits until the terminal thread has
// carried it out, so "GP.EXE" never starts while the terminal is still
// being drawn on and the session never goes on before its screen is back.
// Only these two orders wait for the terminal thread; frames and keys never
// do.
#pragma once
#include <condition_variable>
#include <mutex>

namespace qb7 {

class LoanOrders {
 public:
  enum class Order { None, Lend, TakeBack };

  // Program thread: posts the order; the caller then wakes the terminal thread
  // and waits in AwaitDone.
  void Post(Order order) {
    std::lock_guard<std::mutex> lock(mutex_);
    order_ = order;
    done_ = false;
  }
  void AwaitDone() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return done_; });
  }

  // Terminal thread: the order to carry out (None when there is none), and
  // the word that it is done.
  Order Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    const Order order = order_;
    order_ = Order::None;
    return order;
  }
  void Done() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  Order order_ = Order::None;
  bool done_ = true;
};

}  // namespace qb7
