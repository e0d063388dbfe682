// The hand-over of keys from the front-end thread to the program thread, in
// arrival order. Besides keys it carries the order to end the program
// (Ctrl-C, or the terminal gone), which is never dropped.
#pragma once
#include <deque>
#include <mutex>

#include "console/key_queue.hpp"

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
  }
  void PushEnd(int status, int signal) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({{}, true, status, signal});
  }

  // Program thread: moves the keys that arrived into the queue, oldest
  // first. Returns true, with the end event, when the program is to end;
  // keys behind that event stay unread.
  bool TakeInto(KeyQueue& queue, Event& end) {
    std::lock_guard<std::mutex> lock(mutex_);
    while (!events_.empty()) {
      Event e = std::move(events_.front());
      events_.pop_front();
      if (e.end) {
        end = e;
        return true;
      }
      queue.Push(std::move(e.key));
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::deque<Event> events_;
};

}  // namespace qb7
