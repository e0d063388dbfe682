// A bounded hand-over between exactly two threads, one that puts and one
// that takes, with no lock: neither ever waits for the other, so the
// program thread, which may run at real-time priority, is never held up by
// a helper thread that is preempted or stuck. Its memory is fixed when it
// is made; nothing is allocated afterwards. What finds it full is refused,
// and the caller decides whether to hold it back or count it as lost.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qb7 {

template <class T>
class SpscRing {
 public:
  explicit SpscRing(std::size_t capacity) : slots_(capacity) {}
  SpscRing(const SpscRing&) = delete;
  SpscRing& operator=(const SpscRing&) = delete;

  std::size_t Capacity() const { return slots_.size(); }

  // The putting thread. False, and nothing stored, when the ring is full.
  bool TryPush(const T& item) {
    const uint64_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) >= slots_.size()) return false;
    slots_[head % slots_.size()] = item;
    head_.store(head + 1, std::memory_order_release);
    return true;
  }
  // How many more items fit now (more may free up meanwhile).
  std::size_t Room() const {
    const uint64_t used = head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire);
    return slots_.size() - static_cast<std::size_t>(used);
  }

  // The taking thread. The oldest item, or false when none waits.
  bool TryPop(T& out) {
    const uint64_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire)) return false;
    out = slots_[tail % slots_.size()];
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }
  // Hands every item waiting to take(item), oldest first; returns how many.
  template <class Take>
  std::size_t Drain(Take take) {
    uint64_t tail = tail_.load(std::memory_order_relaxed);
    const uint64_t head = head_.load(std::memory_order_acquire);
    const std::size_t n = static_cast<std::size_t>(head - tail);
    for (; tail < head; ++tail) take(slots_[tail % slots_.size()]);
    tail_.store(tail, std::memory_order_release);
    return n;
  }
  // Either thread: whether anything waits.
  bool Empty() const {
    return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
  }

 private:
  std::vector<T> slots_;
  std::atomic<uint64_t> head_{0};  // items ever put
  std::atomic<uint64_t> tail_{0};  // items ever taken
};

}  // namespace qb7
