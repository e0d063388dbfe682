// Keys waiting to be read, oldest first, each marked typed or pasted. At
// most 511 wait; a key pushed at a full queue pushes the oldest out (the
// keys that cross the terminal thread's hand-over wait for room instead,
// and are taken past the bound only to be dropped or searched for an
// answer, never pushed out).
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>

#include "keys/keys.hpp"

namespace qb7 {

class KeyQueue {
 public:
  static constexpr std::size_t kCapacity = 511;

  void Push(KeyCode key, bool pasted = false) {
    if (keys_.size() == kCapacity) keys_.pop_front();
    keys_.push_back({std::move(key), pasted});
  }
  // Past the bound, pushing nothing out: for keys the hand-over already
  // held back, taken in while a message line looks for its answer.
  void PushPastBound(KeyCode key, bool pasted) { keys_.push_back({std::move(key), pasted}); }
  // The oldest key, typed or pasted, or an empty code when none waits.
  KeyCode Pop(bool* pasted = nullptr) {
    if (keys_.empty()) return {};
    KeyCode key = std::move(keys_.front().code);
    if (pasted) *pasted = keys_.front().pasted;
    keys_.pop_front();
    return key;
  }
  // The oldest key typed (not pasted) from the from-th on; the others stay
  // where they are. An empty code when there is none.
  KeyCode TakeTyped(std::size_t from = 0) {
    for (std::size_t i = from; i < keys_.size(); ++i) {
      if (keys_[i].pasted) continue;
      KeyCode key = std::move(keys_[i].code);
      keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(i));
      return key;
    }
    return {};
  }
  // Drops every key waiting: how many were pasted (a byte each) and typed.
  struct Dropped {
    uint64_t pasted = 0;
    uint64_t typed = 0;
  };
  Dropped DropAll() {
    Dropped d;
    for (const Entry& e : keys_) (e.pasted ? d.pasted : d.typed) += 1;
    keys_.clear();
    return d;
  }
  bool Empty() const { return keys_.empty(); }
  std::size_t Size() const { return keys_.size(); }

 private:
  struct Entry {
    KeyCode code;
    bool pasted;
  };
  std::deque<Entry> keys_;
};

}  // namespace qb7
