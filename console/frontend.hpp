// What the console needs of a terminal: keys in, frames out, the terminal
// lent to an external program and taken back. The terminal thread hands
// each over to the thread that owns the real terminal; the headless front
// end serves tests, synchronously. None of these waits.
#pragma once
#include <cstddef>
#include <cstdint>

#include "input/key_router.hpp"
#include "keys/key_queue.hpp"
#include "view/frame.hpp"

namespace qb7 {

// A frame is handed over at most this often while the screen changes, and
// the terminal thread looks for one as often.
inline constexpr uint64_t kFrameIntervalUs = 15000;

class Frontend {
 public:
  virtual ~Frontend() = default;
  // Queues every key that has arrived, as far as the queue has room (past
  // it when asked: a message line looks for its answer among them), without
  // waiting. Throws ProgramExit when the operator pressed Ctrl-C or a
  // terminating signal came in.
  virtual void CollectKeys(KeyQueue& queue, uint64_t nowUs, bool pastBound = false) = 0;
  // Shows the frame.
  virtual void Present(const Frame& frame) = 0;
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
  // A message line waits for a key typed (AnswerMode::None: no longer):
  // one typed behind a paste or type-ahead still being handed over answers
  // it at once. TakeAnswer gives it; a key that came too late for its line
  // goes back into the queue, typed, to go in its turn.
  virtual void WantAnswer(AnswerMode mode) = 0;
  virtual KeyCode TakeAnswer(KeyQueue& queue) = 0;
  // The terminal lent to an external program, and taken back: each asks,
  // and LoanSettled tells when the last one asked is carried out.
  virtual void Lend() = 0;
  virtual void TakeBack() = 0;
  virtual bool LoanSettled() const = 0;
  // Ctrl-C typed is a key like any other (the configuration's #CTRLC
  // SEND), not the order to end. A front end whose keys are given to it
  // as keys has nothing to change.
  virtual void SetCtrlCIsKey(bool) {}
};

}  // namespace qb7
