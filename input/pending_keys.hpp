// The keys the terminal thread has decoded and the program has not yet
// taken, in the order they came: typed keys (compact, a million at most),
// and pastes (bracketed by the terminal) held as their bytes (16 MB at
// most), so that the terminal is read on through a paste or type-ahead of
// any length and Ctrl-C is seen at once. What finds no room is counted, to
// be told. The leave key typed while keys wait drops them. Pure: the
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
  static constexpr std::size_t kPasteBytes = 16u * 1024 * 1024;
  static constexpr std::size_t kTypedKeys = 1u << 20;

  explicit PendingKeys(std::string_view leaveKey) : leaveKey_(leaveKey) {}

  // What the decoder gave, in order; fresh is emptied. backlog: keys wait
  // on the program's side of the hand-over already (it has no room): the
  // leave key then drops those too.
  void Add(DecodedKeys& fresh, bool backlog = false);
  // The oldest key waiting, and whether it was pasted; false when none
  // can go yet (a paste still coming has nothing more so far).
  bool Front(KeyCode& key, bool& pasted);
  void Pop();
  // The skip-th typed key waiting (0: the first, wherever it stands among
  // pastes), taken out of turn: the answer to a message line.
  bool TakeTyped(std::size_t skip, KeyCode& key);
  // Typed keys waiting.
  std::size_t Typed() const { return typed_; }
  // A key, typed or pasted, waits to go.
  bool Waiting() const;

  // True once after the leave key dropped what waited: the program must
  // drop what it holds too.
  bool TakeDropAsked();
  struct Dropped {
    uint64_t pasted = 0;  // bytes
    uint64_t typed = 0;   // keys
  };
  // What the leave key dropped here since the last call.
  Dropped TakeDropped();
  // The bytes of the paste now coming (or the last) that found no room,
  // once after each change: the figure grows while the paste comes.
  bool TakeTooLong(uint64_t& bytes);
  // Typed keys that found no room since the last call.
  uint64_t TakeTooMany();

 private:
  // A key in a few bytes of its own: key codes are one or two bytes, the
  // view's codes three.
  struct CompactKey {
    uint8_t size = 0;
    char bytes[3] = {0, 0, 0};
  };
  struct Item {
    CompactKey key;      // a typed key
    bool paste = false;  // or a paste, with this many bytes still held
    uint32_t left = 0;
  };
  static CompactKey Pack(const KeyCode& key);
  static KeyCode Unpack(const CompactKey& key) { return KeyCode(key.bytes, key.size); }
  void DropAll();

  std::string_view leaveKey_;
  std::deque<Item> items_;
  ByteQueue pasted_{kPasteBytes};
  bool pasting_ = false;
  std::size_t typed_ = 0;
  bool dropAsked_ = false;
  Dropped dropped_;
  uint64_t tooLong_ = 0;  // of the paste now coming, or the last
  bool tooLongNews_ = false;
  uint64_t tooMany_ = 0;
};

}  // namespace qb7
