// The received-bytes queue: every byte the looks at the receive FIFO found
// and the interpreter has not yet taken, oldest first, in bounded memory;
// each stretch with the time of the look that found it and the receive
// errors found with it, so that text drawn and logged later (a message
// line held it back) still carries the time it came.
#pragma once
#include <cstdint>
#include <deque>
#include <string_view>

#include "board/uart.hpp"
#include "queue/byte_queue.hpp"

namespace qb7 {

class ReceivedQueue {
 public:
  // Minutes of the fastest line (921600 baud brings 92 KB a second).
  static constexpr std::size_t kMostBytes = 64u * 1024 * 1024;

  // The oldest bytes that lie together and came with one look.
  struct Piece {
    std::string_view bytes;
    uint64_t atUs = 0;
    RxErrors errors;  // found with these bytes: set only on a stretch's first piece
  };

  // Queues what one look found; returns how many bytes found no room.
  std::size_t Put(std::string_view bytes, uint64_t atUs, const RxErrors& errors);
  // False when nothing is held. A stretch whose bytes all found no room
  // still gives its errors, with no bytes.
  bool Front(Piece& piece);
  // Drops the n oldest bytes (at most what Front gave).
  void Pop(std::size_t n);
  bool Empty() const { return stretches_.empty(); }
  std::size_t Bytes() const { return bytes_.Size(); }

 private:
  struct Stretch {
    std::size_t bytes;
    uint64_t atUs;
    RxErrors errors;
  };
  ByteQueue bytes_{kMostBytes};
  std::deque<Stretch> stretches_;
};

}  // namespace qb7
