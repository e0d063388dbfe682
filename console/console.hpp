// The console operations the program calls: screen output, key reading,
// the bell, frames for the terminal, the history of rows that leave the
// screen. Nothing here waits: the program thread's loop decides when to
// sleep. Only the Frontend knows there is a terminal.
#pragma once
#include <cstdint>
#include <string_view>

#include "console/frontend.hpp"
#include "keys/key_queue.hpp"
#include "os/clock.hpp"
#include "screen/screen.hpp"
#include "view/frame.hpp"

namespace qb7 {

class Console {
 public:
  Console(Frontend& frontend, Clock& clock);
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Screen output.
  void ClearScreen() { screen().Clear(); }
  void SetPosition(int row, int col) { screen().SetPosition(row, col); }
  ColourPair SetColours(int fg, int bg) { return screen().SetColours(fg, bg); }
  ColourPair Colours() const { return screen().Colours(); }
  int CursorRow() const { return screen().CursorRow(); }
  int CursorColumn() const { return screen().CursorColumn(); }
  // The bytes at the cursor; a text that holds bells rings once.
  void WriteText(std::string_view text, bool newline = false);
  void WriteEmptyLine() { WriteText({}, true); }
  // Carries out a pending line break before a cursor move that would
  // otherwise cancel it.
  void BreakPendingLine() { screen().BreakPendingLine(); }

  // Keys. CollectKeys throws ProgramExit when the program is to end (Ctrl-C,
  // a signal, a terminal gone); ReadKey and KeyWaiting collect first.
  void CollectKeys();
  // The oldest key, and whether it was pasted (pasted text is never the
  // tool's keys: the session sends it as it is, the menu drops it).
  KeyCode ReadKey(bool* pasted = nullptr);
  bool KeyWaiting();
  std::size_t KeysWaiting() const { return keys_.Size(); }
  // For a message line: every key handed over comes in, past the queue's
  // bound, so that its answer is found wherever it stands.
  void CollectAllKeys();
  // The oldest key typed (not pasted) from the skip-th waiting on, or the
  // key the terminal gave as the answer to a message line; empty: none.
  KeyCode TakeTypedKey(std::size_t skip);
  void WantAnswer(AnswerMode mode) { frontend_.WantAnswer(mode); }

  // The terminal's bell, without a wait, and at most once in a bell's
  // length (250 ms): a stream of bells costs the terminal four a second.
  void Bell();

  // Frames: handed over when the screen changed, at most one every 15 ms
  // (PresentIfDue), or now (Present); Redraw hands one over changed or not.
  void PresentIfDue();
  void Present();
  void Redraw();
  // When a changed screen is next due to be handed over; UINT64_MAX while
  // nothing changed.
  uint64_t NextFrameUs() const;

  // Ctrl-C typed goes to the program as a key, not as the order to end.
  void SetCtrlCIsKey(bool on) { frontend_.SetCtrlCIsKey(on); }

  // The news beside the screen.
  void SetLineCounts(const LineCounts& counts);
  void NoteAlert();
  // A line of news for the bottom row of the view, not modal (empty: none).
  void Notice(std::string_view text);

  // How many rows may leave the screen now without one being lost on its
  // way to the history (SIZE_MAX while none is kept).
  std::size_t RowRoom() const {
    return screen().RowSinkSet() ? frontend_.RowRoom() : SIZE_MAX;
  }
  // While on, rows that leave the screen (scrolled off the top, or taken
  // off by a clear) go to the view's history.
  void KeepHistory(bool on) { frame_.screen.SetRowSink(on ? &history_ : nullptr); }

  // The terminal lent to an external program and taken back: asked here,
  // carried out by the front end; LoanSettled tells when.
  void Lend();
  void TakeBack();
  bool LoanSettled() const { return frontend_.LoanSettled(); }

  Clock& clock() { return clock_; }
  Screen& screen() { return frame_.screen; }
  const Screen& screen() const { return frame_.screen; }
  const Frame& frame() const { return frame_; }

 private:
  static constexpr uint64_t kBellUs = 250000;

  // Hands the rows that leave the screen to the front end.
  class HistoryFeed final : public RowSink {
   public:
    explicit HistoryFeed(Frontend& f) : frontend_(f) {}
    void Keep(const Row& row, uint64_t number, const RowTime& time) override {
      frontend_.KeepRow(row, number, time);
    }

   private:
    Frontend& frontend_;
  };

  Frontend& frontend_;
  Clock& clock_;
  Frame frame_;
  HistoryFeed history_{frontend_};
  KeyQueue keys_;
  uint64_t lastBellUs_ = 0;
  bool rung_ = false;
  uint64_t lastFrameUs_ = 0;
  uint64_t lastFrameVersion_ = ~0ull;
};

}  // namespace qb7
