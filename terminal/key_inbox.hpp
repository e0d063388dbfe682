// The hand-over of keys from the terminal thread to the program thread, in
// arrival order, with back-pressure: the terminal thread hands keys over
// only while there is room, and the program takes them only while its own
// key queue has room, so a paste longer than the queues waits (in the
// terminal thread, then in the terminal) instead of losing its beginning.
// Besides keys it carries the order to end the program (Ctrl-C, or the
// terminal gone), which never waits behind keys.
//
// No lock at all: the keys cross a fixed ring, each key in a few bytes of
// its own, so the program thread (real-time where granted) never waits for
// the terminal thread and nothing is allocated in between.
#pragma once
#include <atomic>

#include "keys/key_queue.hpp"
#include "queue/spsc_ring.hpp"

namespace qb7 {

class KeyInbox {
 public:
  static constexpr std::size_t kCapacity = KeyQueue::kCapacity;

  struct End {
    int status = 0;
    int signal = 0;
  };

  // Terminal thread.
  bool HasRoom() const { return keys_.Room() > 0; }
  // False, and nothing handed over, when there is no room: the caller holds
  // the key. Keys are one or two bytes; nothing longer is a key.
  bool PushKey(const KeyCode& key) {
    if (key.empty() || key.size() > sizeof(PackedKey::bytes)) return true;
    PackedKey packed;
    packed.size = static_cast<uint8_t>(key.size());
    key.copy(packed.bytes, key.size());
    return keys_.TryPush(packed);
  }
  void PushEnd(int status, int signal) {
    bool expected = false;
    if (!claimed_.compare_exchange_strong(expected, true)) return;  // the first end holds
    status_.store(status, std::memory_order_relaxed);
    signal_.store(signal, std::memory_order_relaxed);
    ended_.store(true, std::memory_order_release);
  }

  // Program thread: moves the keys that arrived into the queue, oldest
  // first, as far as the queue has room. Returns true, with the end, when
  // the program is to end.
  bool TakeInto(KeyQueue& queue, End& end) {
    PackedKey packed;
    while (queue.Size() < KeyQueue::kCapacity && keys_.TryPop(packed))
      queue.Push(KeyCode(packed.bytes, packed.size));
    if (!ended_.load(std::memory_order_acquire)) return false;
    end = {status_.load(std::memory_order_relaxed), signal_.load(std::memory_order_relaxed)};
    return true;
  }

 private:
  struct PackedKey {
    uint8_t size = 0;
    char bytes[2] = {0, 0};
  };
  SpscRing<PackedKey> keys_{kCapacity};
  std::atomic<bool> claimed_{false};
  std::atomic<bool> ended_{false};
  std::atomic<int> status_{0};
  std::atomic<int> signal_{0};
};

}  // namespace qb7
