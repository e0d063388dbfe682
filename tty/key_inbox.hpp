// The hand-over of keys from the front-end thread to the program thread, in
// arrival order. Besides keys it carries the order to end the program
// (Ctrl-C, or the terminal gone), which is never dropped.
#pragma once
#include <atomic>
#include <deque>
#include <mutex>

#include "keys/key_queue.hpp"

namespace qb7 {

class KeyInbox {
 public:
  struct Event {
    KeyCode key;
    bool end = false;  // end the program with this status (and signal)
    int status = 0;
    int signal = 0;
  };

  // Front-end thread.
  void PushKey(KeyCode key) {
    std::lock_guard<std::mutex> lock(mutex_);
    // As the key queue: when the program is far behind, the oldest key goes.
    if (events_.size() >= KeyQueue::kCapacity && !events_.front().end) events_.pop_front();
    events_.push_back({std::move(key)});
    waiting_.store(true, std::memory_order_release);
  }
  void PushEnd(int status, int signal) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({{}, true, status, signal});
    waiting_.store(true, std::memory_order_release);
  }

  // Program thread: moves the keys that arrived into the queue, oldest
  // first. Returns true, with the end event, when the program is to end;
  // keys behind that event stay unread.
  bool TakeInto(KeyQueue& queue, Event& end) {
    // Nearly always nothing waits: then no lock is taken at all.
    if (!waiting_.load(std::memory_order_acquire)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.store(false, std::memory_order_relaxed);
    while (!events_.empty()) {
      Event e = std::move(events_.front());
      events_.pop_front();
      if (e.end) {
        end = e;
        waiting_.store(!events_.empty(), std::memory_order_relaxed);
        return true;
      }
      queue.Push(std::move(e.key));
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::deque<Event> events_;
  std::atomic<bool> waiting_{false};
};

}  // namespace qb7
