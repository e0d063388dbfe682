// Keys waiting to be read, oldest first. At most 511 wait; a key that
// arrives at a full queue pushes the oldest out.
#pragma once
#include <cstddef>
#include <deque>

#include "keys/keys.hpp"

namespace qb7 {

class KeyQueue {
 public:
  static constexpr std::size_t kCapacity = 511;

  void Push(KeyCode key) {
    if (keys_.size() == kCapacity) keys_.pop_front();
    keys_.push_back(std::move(key));
  }
  // The oldest key, or an empty code when none waits.
  KeyCode Pop() {
    if (keys_.empty()) return {};
    KeyCode key = std::move(keys_.front());
    keys_.pop_front();
    return key;
  }
  bool Empty() const { return keys_.empty(); }
  std::size_t Size() const { return keys_.size(); }

 private:
  std::deque<KeyCode> keys_;
};

}  // namespace qb7
