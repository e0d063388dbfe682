// The console operations the program calls: screen output, key reading,
// pauses, the beep, key waits and the message line. Everything goes through
// here; only the Frontend knows there is a terminal.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "console/clock.hpp"
#include "console/frontend.hpp"
#include "keys/key_queue.hpp"
#include "process/terminal_loan.hpp"
#include "screen/screen.hpp"

namespace qb7 {

// Thrown by a message line dismissed with the leave key that a terminal
// session has armed (Shift-F2): the session ends there, as the key promises.
struct LeaveRequested {};

// Lends the terminal to an external program, with the screen drawn first
// and drawn whole again afterwards.
class Console final : public TerminalLoan {
 public:
  Console(Frontend& frontend, Clock& clock);

  // Screen output.
  void ClearScreen() { screen_.Clear(); }
  void SetPosition(int row, int col) { screen_.SetPosition(row, col); }
  ColourPair SetColours(int fg, int bg) { return screen_.SetColours(fg, bg); }
  ColourPair Colours() const { return screen_.Colours(); }
  int CursorRow() const { return screen_.CursorRow(); }
  int CursorColumn() const { return screen_.CursorColumn(); }
  void WriteText(std::string_view text, bool newline = false);
  void WriteEmptyLine() { WriteText({}, true); }
  // Carries out a pending line break before a cursor move that would
  // otherwise cancel it.
  void BreakPendingLine() { screen_.BreakPendingLine(); }

  // Keys.
  KeyCode ReadKey();
  bool KeyWaiting();
  KeyCode WaitKey();
  // The oldest key typed (not pasted) from the skip-th waiting on.
  KeyCode WaitTypedKey(std::size_t skip = 0);

  // Pauses: below 100 ms plain; from 100 ms up in 50 ms steps that end early
  // when a key waits. During a pause the background task (if any) runs.
  void Pause(int64_t ms);
  // The terminal's bell, without a wait, and at most once in a bell's
  // length (250 ms): a stream of bells costs the terminal four a second.
  void Bell();

  // Message line: draws the text, waits for a key typed (not pasted), then
  // removes itself. Home ends the program with status 0; the armed leave
  // key, once the line is removed, throws LeaveRequested. A line that must
  // be read (bytes lost) is answered only by a key typed after it is shown.
  enum class Answer { AnyKey, NewKey };
  void ShowMessage(int row, int bg, int fg, std::string_view text, Answer answer = Answer::AnyKey);
  void ErrorMessage(std::string_view text) { ShowMessage(24, 12, 15, text); }
  void LossMessage(std::string_view text) { ShowMessage(24, 12, 15, text, Answer::NewKey); }
  void SetExitBackground(int bg) { exitBackground_ = bg; }
  // The key that, pressed at a message line, also leaves what armed it;
  // empty: none.
  void ArmLeaveKey(std::string_view key) { leaveKey_ = key; }
  // True while a message line waits for the operator's key: nothing
  // received may be drawn or logged then.
  // So is a terminal lent to an external program: what arrives meanwhile
  // is held and drawn once the terminal is back.
  bool OperatorWaiting() const { return operatorWaits_ > 0 || lent_; }

  // Work that must go on whatever the program waits for (a terminal session
  // looking at the receive FIFO). The task returns how long to wait before
  // it runs again; it is due at once when set. It runs when due while the
  // program pauses, waits for a key (a message line's too) or awaits it, but
  // never inside itself. Its times are kept across pauses, so a look at the
  // FIFO is never put off by the pause that happens to come next.
  void SetBackgroundTask(std::function<uint64_t()> task);
  void ClearBackgroundTask();
  // Sleeps (keys and frames seen to) until the background task is due, then
  // runs it once.
  void AwaitBackgroundTask();

  // How many rows may leave the screen now without one being lost on its
  // way to the history (SIZE_MAX while none is kept).
  std::size_t RowRoom() const { return screen_.RowSinkSet() ? frontend_.RowRoom() : SIZE_MAX; }
  // While on, rows that leave the screen (scrolled off the top, or taken
  // off by a clear) go to the view's history.
  void KeepHistory(bool on) { screen_.SetRowSink(on ? &history_ : nullptr); }

  // Gathers keys and draws the screen if it is due (at most one frame every
  // 15 ms while things change). Cheap; call it from busy loops.
  void Service();
  // Draws the screen now if it changed since the last frame.
  void Present();
  // Draws the whole screen again, changed or not (after an external program).
  void Redraw();

  void Lend() override;
  void TakeBack() override;
  void WhileLent(int ms) override;

  // Who is told of every message line as it is shown (null: nobody).
  void WatchMessages(std::function<void(std::string_view)> watch) { watch_ = std::move(watch); }

  Clock& clock() { return clock_; }
  Screen& screen() { return screen_; }
  const Screen& screen() const { return screen_; }

 private:
  // Sleeps, the background task running when due; with keys, the keys
  // and the frames are seen to as well.
  void Sleep(uint64_t us, bool keys = true);
  void RunTaskIfDue();

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
  Screen screen_;
  HistoryFeed history_{frontend_};
  KeyQueue keys_;
  int exitBackground_ = 0;
  std::string leaveKey_;
  int operatorWaits_ = 0;
  bool lent_ = false;
  uint64_t lastBellUs_ = 0;
  bool rung_ = false;
  struct SavedLine {
    ColourPair colours;
    CursorState cursor;
  };
  std::array<SavedLine, Screen::kRows + 1> saved_{};
  std::function<void(std::string_view)> watch_;
  std::function<uint64_t()> task_;
  uint64_t nextTaskUs_ = 0;
  bool inTask_ = false;
  uint64_t lastFrameUs_ = 0;
  uint64_t lastFrameVersion_ = ~0ull;
};

}  // namespace qb7
