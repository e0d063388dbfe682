// The hand-over of keys from the front-end thread to the program thread, in
// arrival order, with back-pressure: the front end hands keys over only
// while there is room, and the program takes them only while its own key
// queue has room, so a paste longer than the queues waits (in the front
// end, then in the terminal) instead of losing its beginning. Besides keys
// it carries the order to end the program (Ctrl-C, or the terminal gone),
// which never waits behind keys.
#pragma once
#include <atomic>
#include <deque>
#include <mutex>

#include "keys/key_queue.hpp"

namespace qb7 {

class KeyInbox {
 public:
  static constexpr std::size_t kCapacity = KeyQueue::kCapacity;

  struct End {
    int status = 0;
    int signal = 0;
  };

  // Front-end thread.
  bool HasRoom() const { return size_.load(std::memory_order_acquire) < kCapacity; }
  void PushKey(KeyCode key) {
    std::lock_guard<std::mutex> lock(mutex_);
    keys_.push_back(std::move(key));
    size_.store(keys_.size(), std::memory_order_release);
    waiting_.store(true, std::memory_order_release);
  }
  void PushEnd(int status, int signal) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ended_) end_ = {status, signal};
    ended_ = true;
    waiting_.store(true, std::memory_order_release);
  }

  // Program thread: moves the keys that arrived into the queue, oldest
  // first, as far as the queue has room. Returns true, with the end, when
  // the program is to end.
  bool TakeInto(KeyQueue& queue, End& end) {
    // Nearly always nothing waits: then no lock is taken at all.
    if (!waiting_.load(std::memory_order_acquire)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    while (!keys_.empty() && queue.Size() < KeyQueue::kCapacity) {
      queue.Push(std::move(keys_.front()));
      keys_.pop_front();
    }
    size_.store(keys_.size(), std::memory_order_release);
    waiting_.store(!keys_.empty() || ended_, std::memory_order_release);
    if (!ended_) return false;
    end = end_;
    return true;
  }

 private:
  std::mutex mutex_;
  std::deque<KeyCode> keys_;
  std::atomic<std::size_t> size_{0};
  std::atomic<bool> waiting_{false};
  bool ended_ = false;
  End end_;
};

}  // namespace qb7
