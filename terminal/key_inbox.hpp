// The hand-over of keys from the terminal thread to the program thread, in
// arrival order, with back-pressure: the terminal thread hands keys over
// only while there is room, and the program takes them only while its own
// key queue has room, so a paste longer than the queues waits (in the
// terminal thread) instead of losing its beginning. Besides keys it
// carries the order to drop what waits (Shift-F2 typed while keys wait),
// carried out at once however many keys the program holds, and its count
// back; the order to end (Ctrl-C, the terminal gone), which never waits
// behind keys; and a message line's want of an answer one way, the answer
// the other.
//
// No lock at all: the keys cross a fixed ring, each key in a few bytes of
// its own, so the program thread (real-time where granted) never waits for
// the terminal thread and nothing is allocated in between.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>

#include "input/key_router.hpp"
#include "keys/key_queue.hpp"
#include "queue/spsc_ring.hpp"

namespace qb7 {

class KeyInbox final : public KeyOutlet {
 public:
  static constexpr std::size_t kCapacity = KeyQueue::kCapacity;

  struct End {
    int status = 0;
    int signal = 0;
  };

  // ---- Terminal thread ----
  bool HasRoom() const override { return keys_.Room() > 0; }
  bool Backlog() const override { return !keys_.Empty(); }
  // False, and nothing handed over, when there is no room: the caller holds
  // the key. Keys are one or two bytes; nothing longer is a key.
  bool PushKey(const KeyCode& key, bool pasted) override {
    if (key.empty() || key.size() > sizeof(PackedKey::bytes)) return true;
    PackedKey packed;
    packed.kind = pasted ? Kind::Pasted : Kind::Typed;
    packed.size = static_cast<uint8_t>(key.size());
    key.copy(packed.bytes, key.size());
    return keys_.TryPush(packed);
  }
  bool PushDropWaiting() override {
    PackedKey packed;
    packed.kind = Kind::DropWaiting;
    if (!keys_.TryPush(packed)) return false;
    dropsPending_.fetch_add(1, std::memory_order_release);
    return true;
  }
  AnswerWant Wanted() const override {
    const uint32_t word = want_.load(std::memory_order_acquire);
    return {static_cast<AnswerMode>(word & 3), word >> 2};
  }
  void PutAnswer(const KeyCode& key, uint32_t number) override {
    if (key.empty() || key.size() > 2) return;
    const uint64_t packed = uint64_t{1} << 63 | uint64_t{number & 0x3FFFFFFF} << 24 |
                            uint64_t{key.size()} << 16 |
                            uint64_t{static_cast<uint8_t>(key[0])} << 8 |
                            (key.size() > 1 ? static_cast<uint8_t>(key[1]) : 0u);
    answer_.store(packed, std::memory_order_release);
  }
  bool TakeDropped(uint64_t& pasted, uint64_t& typed) override {
    const uint64_t done = dropsDone_.load(std::memory_order_acquire);
    if (done == dropsTold_) return false;
    dropsTold_ = done;
    pasted = droppedPasted_.exchange(0, std::memory_order_acq_rel);
    typed = droppedTyped_.exchange(0, std::memory_order_acq_rel);
    return true;
  }
  void PushEnd(int status, int signal) {
    bool expected = false;
    if (!claimed_.compare_exchange_strong(expected, true)) return;  // the first end holds
    status_.store(status, std::memory_order_relaxed);
    signal_.store(signal, std::memory_order_relaxed);
    ended_.store(true, std::memory_order_release);
  }

  // ---- Program thread ----
  // A message line asks for its answer (a new number each time), or no
  // longer does.
  void WantAnswer(AnswerMode mode) {
    if (mode != AnswerMode::None) ++wantNumber_;
    want_.store(wantNumber_ << 2 | static_cast<uint32_t>(mode), std::memory_order_release);
  }
  // The answer to the line asking now. A key that answered a line already
  // gone (it came too late) is handed back as typed, to go in its turn.
  KeyCode TakeAnswer(KeyQueue& queue) {
    const uint64_t packed = answer_.exchange(0, std::memory_order_acq_rel);
    if (!(packed >> 63)) return {};
    const char bytes[2] = {static_cast<char>(packed >> 8 & 0xFF), static_cast<char>(packed & 0xFF)};
    KeyCode key(bytes, packed >> 16 & 0xFF);
    if ((packed >> 24 & 0x3FFFFFFF) == (wantNumber_ & 0x3FFFFFFF)) return key;
    queue.PushPastBound(std::move(key), false);
    return {};
  }
  // Moves the keys that arrived into the queue, oldest first, as far as the
  // queue has room (past it when asked: a message line looks for its
  // answer among them). Returns true, with the end, when the program is to
  // end.
  bool TakeInto(KeyQueue& queue, End& end, bool pastBound = false) {
    PackedKey packed;
    // While a drop waits, the keys before it are taken whatever the room,
    // to be dropped with it.
    while ((pastBound || queue.Size() < KeyQueue::kCapacity ||
            dropsPending_.load(std::memory_order_acquire) > 0) &&
           keys_.TryPop(packed)) {
      if (packed.kind == Kind::DropWaiting) {
        dropsPending_.fetch_sub(1, std::memory_order_acq_rel);
        const KeyQueue::Dropped d = queue.DropAll();
        droppedPasted_.fetch_add(d.pasted, std::memory_order_acq_rel);
        droppedTyped_.fetch_add(d.typed, std::memory_order_acq_rel);
        dropsDone_.fetch_add(1, std::memory_order_acq_rel);
        continue;
      }
      queue.PushPastBound(KeyCode(packed.bytes, packed.size), packed.kind == Kind::Pasted);
    }
    if (!ended_.load(std::memory_order_acquire)) return false;
    end = {status_.load(std::memory_order_relaxed), signal_.load(std::memory_order_relaxed)};
    return true;
  }

 private:
  enum class Kind : uint8_t { Typed, Pasted, DropWaiting };
  struct PackedKey {
    Kind kind = Kind::Typed;
    uint8_t size = 0;
    char bytes[2] = {0, 0};
  };
  SpscRing<PackedKey> keys_{kCapacity};
  std::atomic<int> dropsPending_{0};
  std::atomic<uint64_t> dropsDone_{0};
  uint64_t dropsTold_ = 0;  // terminal thread only
  std::atomic<uint64_t> droppedPasted_{0};
  std::atomic<uint64_t> droppedTyped_{0};
  uint32_t wantNumber_ = 0;  // program thread only
  std::atomic<uint32_t> want_{0};  // the number << 2 | the mode
  std::atomic<uint64_t> answer_{0};  // 0: none; else 1, the number, size, the bytes
  std::atomic<bool> claimed_{false};
  std::atomic<bool> ended_{false};
  std::atomic<int> status_{0};
  std::atomic<int> signal_{0};
};

}  // namespace qb7
