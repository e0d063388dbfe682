// The keys the terminal thread has decoded and the program has not yet
// taken, in the order they came: typed keys, and pastes (bracketed by the
// terminal) held as their bytes in bounded memory, so that the terminal is
// read on through a paste of any length and Ctrl-C is seen at once. The
// leave key typed while a paste waits drops what is left of it. Pure: the
// terminal thread owns it.
#pragma once
#include <cstdint>
#include <deque>
#include <string_view>

#include "keys/key_decoder.hpp"
#include "queue/byte_queue.hpp"

namespace qb7 {

class PendingKeys {
 public:
  // The bytes of pastes held at most.
  static constexpr std::size_t kPasteBytes = 16u * 1024 * 1024;

  explicit PendingKeys(std::string_view leaveKey) : leaveKey_(leaveKey) {}

  // What the decoder gave, in order; fresh is emptied.
  void Add(DecodedKeys& fresh);
  // The oldest key waiting, and whether it was pasted; false when none
  // can go yet (a paste still coming has nothing more so far).
  bool Front(KeyCode& key, bool& pasted);
  void Pop();
  // The first typed key that waits behind a paste, taken out of turn
  // (the answer to a message line); false when none does.
  bool TakeTypedBehindPaste(KeyCode& key);
  // A key, typed or pasted, waits to go.
  bool Waiting() const {
    for (const Item& i : items_)
      if (!i.paste || i.left > 0) return true;
    return false;
  }
  // Typed keys waiting: while many do, the terminal is not read.
  std::size_t Typed() const { return typed_; }

  // True once after the leave key dropped pasted bytes: the program must
  // drop the pasted keys it holds.
  bool TakeDropAsked();
  // Pasted bytes dropped here (the leave key), and those that found no
  // room, since the last call.
  uint64_t TakeDropped();
  uint64_t TakeTooLong();

 private:
  struct Item {
    KeyCode key;        // a typed key
    bool paste = false;  // or a paste, with this many bytes still held
    std::size_t left = 0;
  };
  bool PasteWaiting() const;
  void DropPastes();

  std::string_view leaveKey_;
  std::deque<Item> items_;
  ByteQueue pasted_{kPasteBytes};
  bool pasting_ = false;
  std::size_t typed_ = 0;
  bool dropAsked_ = false;
  uint64_t dropped_ = 0;
  uint64_t tooLong_ = 0;
};

}  // namespace qb7
