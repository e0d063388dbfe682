// Keys waiting to be read, oldest first, each marked typed or pasted. At
// most 511 wait; a key that arrives at a full queue pushes the oldest out.
#pragma once
#include <cstddef>
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
  // The oldest key, typed or pasted, or an empty code when none waits.
  KeyCode Pop() {
    if (keys_.empty()) return {};
    KeyCode key = std::move(keys_.front().code);
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
  // Drops every pasted key; returns how many.
  std::size_t DropPasted() {
    const std::size_t before = keys_.size();
    std::erase_if(keys_, [](const Entry& e) { return e.pasted; });
    return before - keys_.size();
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
