// The terminal thread: the real program's front end, with the terminal on a
// thread of its own, so a terminal that stops reading holds up only that
// thread and never the one that drains the receive FIFO.
//
// The program thread calls the Frontend operations; they only hand things
// over: a copy of the screen and the bells into the FrameMailbox (a newer
// frame overwrites one not yet drawn, and no lock is taken), the rows that
// leave the screen into the RowRing, keys out of the KeyInbox, and the
// terminal to an external program and back through the LoanOrders. The
// terminal thread is the only one that touches the terminal: it draws the
// newest frame through the view, rings, decodes the key bytes, follows
// resizes, and lends the terminal and takes it back when asked. All
// terminating signals go to the program thread.
#pragma once
#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "console/frontend.hpp"
#include "keys/key_decoder.hpp"
#include "terminal/frame_mailbox.hpp"
#include "terminal/history_saving.hpp"
#include "terminal/key_inbox.hpp"
#include "terminal/loan_orders.hpp"
#include "terminal/pending_keys.hpp"
#include "terminal/row_ring.hpp"
#include "terminal/terminal_device.hpp"
#include "view/viewer.hpp"

namespace qb7 {

class TerminalThread final : public Frontend {
 public:
  // Takes the terminal, then starts the terminal thread, at normal
  // scheduling whatever the program thread runs at, with every asynchronous
  // signal blocked. Throws (the terminal as it was) when either fails.
  explicit TerminalThread(TerminalDevice& terminal);
  ~TerminalThread() override;
  TerminalThread(const TerminalThread&) = delete;
  TerminalThread& operator=(const TerminalThread&) = delete;

  // Program thread. CollectKeys throws ProgramExit for Ctrl-C, a terminal
  // that went away, or a terminating signal.
  void CollectKeys(KeyQueue& queue, uint64_t nowUs) override;
  void Present(const Frame& frame) override;
  void Bell() override;
  void KeepRow(const Row& row, uint64_t number, const RowTime& time) override;
  std::size_t RowRoom() const override;
  void WantAnswer(bool wanted) override;
  KeyCode TakeAnswer() override;
  // Ask the terminal thread to lend the terminal / take it back; neither
  // waits: LoanSettled tells when it is done.
  void Lend() override;
  void TakeBack() override;
  bool LoanSettled() const override;

  // Gives the terminal back as it was and ends the thread. Idempotent.
  void Shutdown();

 private:
  static void* ThreadMain(void* self);
  void Run();
  void Serve();
  void Ask(LoanOrders::Order order);
  void Wake();
  void WakeIfAsleep();
  void ReadKeys(bool& inputOpen);
  // The news of pastes: dropped with Shift-F2, or too long to hold.
  void TellPastes();
  // A message line waits while a paste is handed over: the first key typed
  // behind the paste answers it.
  void Answer();
  void StopUntilContinued();
  void PassKeys();
  void Show(bool everything);
  void MeasureWindow();
  // Starts writing the history when the view was asked to, and tells the
  // operator when it is written.
  void SaveIfAsked();
  void TellSaved();

  TerminalDevice& terminal_;
  FrameMailbox mailbox_;
  KeyInbox inbox_;
  LoanOrders loan_;
  std::atomic<bool> shutdown_{false};
  std::atomic<bool> outOfMemory_{false};
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  pthread_t thread_{};
  bool running_ = false;
  // Set while the terminal thread sleeps with no time-out: only then does a
  // frame or a bell need a wake-up. While frames keep coming it looks for
  // them every frame interval by itself, so the program thread makes no
  // system call to hand one over.
  std::atomic<bool> asleep_{false};
  RowRing rows_;  // rows that left the screen, to the view's history
  // Terminal thread only: the keys, and the view of the newest frame (which
  // stays valid until the next TakeFrame).
  KeyDecoder decoder_;
  Viewer viewer_;
  HistorySaving saving_;
  // Keys decoded, on their way to the inbox, pastes held apart. While this
  // many typed keys wait, no more is read from the terminal.
  static constexpr std::size_t kHeldKeys = 65536;
  PendingKeys pending_{keys::KeyShiftF2};
  DecodedKeys fresh_;       // what the decoder just gave
  bool dropToSend_ = false;  // the order to drop a paste waits for room
  uint64_t pasteDropped_ = 0;  // dropped here, told with the program's count
};

}  // namespace qb7
