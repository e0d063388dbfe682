// What the console needs of a terminal: keys in, the screen out.
// TerminalThread hands both over to the thread that owns the real
// terminal; HeadlessFrontend serves tests, synchronously.
#pragma once
#include <cstdint>
#include <cstddef>

#include "keys/key_queue.hpp"
#include "screen/screen.hpp"

namespace qb7 {

// A frame is handed over at most this often while the screen changes, and
// the terminal thread looks for one as often.
inline constexpr uint64_t kFrameIntervalUs = 15000;

class Frontend {
 public:
  virtual ~Frontend() = default;
  // Queues every key that has arrived, without waiting. Throws ProgramExit
  // when the operator pressed Ctrl-C or a terminating signal came in.
  virtual void CollectKeys(KeyQueue& queue, uint64_t nowUs) = 0;
  // Shows the screen model.
  virtual void Present(const Screen& screen) = 0;
  // The terminal's own bell; returns at once.
  virtual void Bell() = 0;
  // A row that left the screen, for the history the operator can scroll
  // back through; returns at once, never waits for the terminal.
  virtual void KeepRow(const Row& row, uint64_t number, const RowTime& time) {
    (void)row;
    (void)number;
    (void)time;
  }
  // How many more rows the history can take now without losing one: the
  // session works a backlog off no faster. SIZE_MAX: no bound.
  virtual std::size_t RowRoom() const { return SIZE_MAX; }
  // A message line waits for a key typed: one typed behind a paste still
  // being handed over (its keys wait their turn) answers it at once.
  virtual void WantAnswer(bool wanted) { (void)wanted; }
  virtual KeyCode TakeAnswer() { return {}; }
  // The terminal lent to an external program, and taken back: each
  // returns once it is done.
  virtual void Lend() = 0;
  virtual void TakeBack() = 0;
};

}  // namespace qb7
