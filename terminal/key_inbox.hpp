// The hand-over of keys from the terminal thread to the program thread, in
// arrival order, with back-pressure: the terminal thread hands keys over
// only while there is room, and the program takes them only while its own
// key queue has room, so a paste longer than the queues waits (in the
// terminal thread, then in the terminal) instead of losing its beginning.
// Besides keys it carries the order to end the program (Ctrl-C, or the
// terminal gone), which never waits behind keys. Pasted keys cross marked
// as such (a message line is answered by typed keys only), and the order to
// drop what is left of a paste (Shift-F2 typed during one) is carried out
// at once, however many pasted keys the program holds.
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

  // Terminal thread.
  bool HasRoom() const override { return keys_.Room() > 0; }
  // False, and nothing handed over, when there is no room: the caller holds
  // the key. Keys are one or two bytes; nothing longer is a key.
  bool PushKey(const KeyCode& key, bool pasted = false) override {
    if (key.empty() || key.size() > sizeof(PackedKey::bytes)) return true;
    PackedKey packed;
    packed.kind = pasted ? Kind::Pasted : Kind::Typed;
    packed.size = static_cast<uint8_t>(key.size());
    key.copy(packed.bytes, key.size());
    return keys_.TryPush(packed);
  }
  // The rest of every paste is dropped: the program drops the pasted keys
  // it holds, and tells how many (PasteDropped). False when there is no
  // room: the caller tries again.
  bool PushDropPaste() override {
    PackedKey packed;
    packed.kind = Kind::DropPaste;
    if (!keys_.TryPush(packed)) return false;
    dropsPending_.fetch_add(1, std::memory_order_release);
    return true;
  }
  // The answer to a message line: a key typed behind a paste, handed over
  // past the pasted keys while the program waits for one.
  bool AnswerWanted() const override { return answerWanted_.load(std::memory_order_acquire); }
  // False when an answer waits already.
  bool PutAnswer(const KeyCode& key) override {
    if (key.empty() || key.size() > 2) return true;
    uint32_t packed = 1u << 24 | static_cast<uint32_t>(key.size()) << 16 |
                      static_cast<uint32_t>(static_cast<uint8_t>(key[0])) << 8 |
                      (key.size() > 1 ? static_cast<uint8_t>(key[1]) : 0u);
    uint32_t empty = 0;
    return answer_.compare_exchange_strong(empty, packed, std::memory_order_acq_rel);
  }

  // How many pasted keys the program dropped since the last call, once it
  // has carried out a drop; -1 while none was carried out.
  int64_t PasteDropped() override {
    return pasteDropped_.exchange(-1, std::memory_order_acq_rel);
  }
  void PushEnd(int status, int signal) {
    bool expected = false;
    if (!claimed_.compare_exchange_strong(expected, true)) return;  // the first end holds
    status_.store(status, std::memory_order_relaxed);
    signal_.store(signal, std::memory_order_relaxed);
    ended_.store(true, std::memory_order_release);
  }

  // Program thread: a message line waits for a key typed, or no longer.
  void WantAnswer(bool wanted) { answerWanted_.store(wanted, std::memory_order_release); }
  KeyCode TakeAnswer() {
    const uint32_t packed = answer_.exchange(0, std::memory_order_acq_rel);
    if (packed == 0) return {};
    const char bytes[2] = {static_cast<char>(packed >> 8 & 0xFF), static_cast<char>(packed & 0xFF)};
    return KeyCode(bytes, packed >> 16 & 0xFF);
  }

  // Program thread: moves the keys that arrived into the queue, oldest
  // first, as far as the queue has room. Returns true, with the end, when
  // the program is to end.
  bool TakeInto(KeyQueue& queue, End& end) {
    PackedKey packed;
    // While a drop waits, the pasted keys before it are taken whatever the
    // room, to be dropped with it.
    while ((queue.Size() < KeyQueue::kCapacity ||
            dropsPending_.load(std::memory_order_acquire) > 0) &&
           keys_.TryPop(packed)) {
      if (packed.kind == Kind::DropPaste) {
        dropsPending_.fetch_sub(1, std::memory_order_acq_rel);
        const auto dropped = static_cast<int64_t>(queue.DropPasted());
        int64_t before = pasteDropped_.load(std::memory_order_acquire);
        while (!pasteDropped_.compare_exchange_weak(before, std::max<int64_t>(before, 0) + dropped)) {
        }
        continue;
      }
      queue.Push(KeyCode(packed.bytes, packed.size), packed.kind == Kind::Pasted);
    }
    if (!ended_.load(std::memory_order_acquire)) return false;
    end = {status_.load(std::memory_order_relaxed), signal_.load(std::memory_order_relaxed)};
    return true;
  }

 private:
  enum class Kind : uint8_t { Typed, Pasted, DropPaste };
  struct PackedKey {
    Kind kind = Kind::Typed;
    uint8_t size = 0;
    char bytes[2] = {0, 0};
  };
  SpscRing<PackedKey> keys_{kCapacity};
  std::atomic<int> dropsPending_{0};
  std::atomic<bool> answerWanted_{false};
  std::atomic<uint32_t> answer_{0};  // 0: none; else 1, size, the bytes
  std::atomic<int64_t> pasteDropped_{-1};
  std::atomic<bool> claimed_{false};
  std::atomic<bool> ended_{false};
  std::atomic<int> status_{0};
  std::atomic<int> signal_{0};
};

}  // namespace qb7
