// A session's receive path, in two steps the program thread's loop takes:
// a look at the receive FIFO only moves what waits there, in order and
// with the look's time, into the received-bytes queue, and notes the
// receive errors and whether the board answers; interpreting takes from
// the queue a slice at a time (drawn on the screen, logged to Term.txt)
// whenever nobody holds the operator. Neither shows a message: what went
// wrong is kept for the session to tell.
#pragma once
#include <cstdint>
#include <string>

#include "machine/machine.hpp"
#include "session/board_presence.hpp"
#include "session/boot_watch.hpp"
#include "session/interpreter.hpp"
#include "session/received_queue.hpp"
#include "session/session_log.hpp"
#include "view/frame.hpp"

namespace qb7 {

// How long the session sleeps between looks at the receive FIFO at a baud,
// so that the FIFO is never more than about half full at a look: half the
// time the FIFO takes to fill when the line is quiet, a quarter of it while
// bytes flow (115200: 5.5 and 2.8 ms; 921600: 0.69 and 0.34 ms); never more
// than 30 ms, never less than 100 us. It always sleeps: a loop that spins
// costs a core and, under real-time priority, is throttled by the kernel.
struct PollTiming {
  uint64_t idleUs;
  uint64_t busyUs;
};
PollTiming PollTimingFor(int baud);

class ReceivePath {
 public:
  // The most one slice interprets: well under a tenth of a millisecond's
  // work (the interpreter takes 50 MB a second and more), against the 1.4 ms
  // the FIFO lasts at 921600; a backlog still goes a hundred times faster
  // than any line brings more.
  static constexpr std::size_t kSliceBytes = 4096;

  ReceivePath(Machine& m, SessionLog& log, BoardPresence& board, int baud);

  // When the next look is due.
  uint64_t NextLookUs() const { return nextLookUs_; }
  void LookAtFifo();
  // Draws and logs what the queue holds, oldest first, each stretch with
  // the time it came: a slice (no more than the history can take), or all.
  void InterpretSlice();
  void InterpretAll();

  // What the looks met since the last time: receive errors, and bytes that
  // found the queue full.
  RxErrors TakeErrors();
  uint64_t TakeLost();
  // What the line brought, for the counts beside the status line.
  const LineCounts& counts() const { return counts_; }
  void StatusLineShown(uint64_t row, int length);
  // The session's number and what it is, for the history's dividers.
  void SessionIs(uint32_t number, std::string_view header);
  // The looks' pace for another line speed.
  void SetBaud(int baud) { timing_ = PollTimingFor(baud); }
  // The boot's report beside the counts (empty: none).
  void ShowBoot(std::string_view text) {
    counts_.SetBoot(text);
    m_.console.SetLineCounts(counts_);
  }
  // Who watches the bytes for a boot's first byte and prompt (null: none).
  void Watch(BootWatch* watch) { watch_ = watch; }

 private:
  void Interpret(std::size_t most);
  // The receive errors found with a stretch, where its text begins.
  void NoteErrors(const ReceivedQueue::Piece& piece);

  Machine& m_;
  SessionLog& log_;
  BoardPresence& board_;
  PollTiming timing_;
  Interpreter interpreter_;
  ReceivedQueue queue_;
  std::string received_;
  RxErrors errors_;
  uint64_t lost_ = 0;
  LineCounts counts_;
  uint64_t nextLookUs_ = 0;
  BootWatch* watch_ = nullptr;
};

}  // namespace qb7
