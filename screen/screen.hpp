// The 80x25 text screen model: cells, cursor, pending line break, colours,
// and the time each row's first byte came (it scrolls with the row). Pure:
// no terminal here. A front end draws it; the rest of the program writes to
// it through Console.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qb7 {

struct Cell {
  uint8_t ch = ' ';
  uint8_t fg = 7;
  uint8_t bg = 0;
  bool operator==(const Cell&) const = default;
};

// Where the cursor stands, with its pending line break: what a message line
// saves and puts back.
struct CursorState {
  int row = 1;
  int col = 1;
  bool breakPending = false;
};

class Screen;

// One row of the screen, as it is kept once it has left the screen.
using Row = std::array<Cell, 80>;

// When the first byte written on a row came: microseconds since the reset
// of the VSC7420 (sinceReset) or since the session started; no time for a
// row written outside a session (the menu, the help).
// Beside a boot's line: the same line of the previous boot of its route
// came `us` sooner (this line's time minus that one's; negative: later),
// or the line is new; how many lines of that boot are missing before this
// one; and whether this line's own step (since the line matched before it)
// took longer or shorter by the threshold or more.
struct RowVersus {
  enum class Kind : uint8_t { None, Matched, New };
  Kind kind = Kind::None;
  bool moved = false;
  uint16_t missing = 0;
  int64_t us = 0;
  bool operator==(const RowVersus&) const = default;
};

struct RowTime {
  static constexpr int64_t kNone = -1;
  // What wrote the row: text received, the tool's own drawing (a status
  // line, a help list), or a mark the operator made.
  enum class Kind : uint8_t { Drawn, Received, Mark };
  int64_t us = kNone;
  bool sinceReset = false;
  Kind kind = Kind::Drawn;
  uint32_t session = 0;  // the session's number in this run of the program; 0: none
  // Where the row's first byte stands among the session's bytes received
  // (its offset in Term.raw), and whether a receive error came with the
  // bytes written on it.
  static constexpr uint64_t kNoRaw = UINT64_MAX;
  uint64_t raw = kNoRaw;
  bool error = false;
  RowVersus versus{};
  bool Known() const { return us != kNone; }
  bool operator==(const RowTime&) const = default;
};

// Where rows go that leave the screen: scrolled off the top, or taken off
// by a clear. Each carries its number in the order rows left (0, 1, ...)
// and its time.
class RowSink {
 public:
  virtual ~RowSink() = default;
  virtual void Keep(const Row& row, uint64_t number, const RowTime& time) = 0;
};

struct ColourPair {
  int fg = 7;
  int bg = 0;
  bool operator==(const ColourPair&) const = default;
};

class Screen {
 public:
  static constexpr int kRows = 25;
  static constexpr int kCols = 80;
  static_assert(std::tuple_size<Row>::value == kCols);

  Screen();

  // Every cell becomes a space in the current colours; cursor to 1,1.
  void Clear();
  // Row 1..25 or 0 (keep), column 1..80 or 0 (keep); anything else is ignored.
  void SetPosition(int row, int col);
  // Sets the colours (each taken modulo 16) and returns the previous pair.
  ColourPair SetColours(int fg, int bg);
  ColourPair Colours() const { return colours_; }

  int CursorRow() const { return row_; }
  int CursorColumn() const { return col_; }
  bool LineBreakPending() const { return pending_; }
  CursorState Cursor() const { return {row_, col_, pending_}; }
  // Puts the cursor back where Cursor() found it, pending break included.
  void RestoreCursor(const CursorState& cursor);
  // Carries out a pending line break now (scrolling), as the next write would.
  void BreakPendingLine();

  // Writes the bytes at the cursor, one by one; returns how many bells (byte 7)
  // the text held, for the caller to sound.
  int Write(std::string_view bytes);

  const Cell& At(int row, int col) const { return cells_[row - 1][col - 1]; }
  const Row& Cells(int row) const { return cells_[row - 1]; }
  // The time given to rows from now on, as their first byte is written
  // (none: they get no time).
  void SetRowTime(const RowTime& time) { now_ = time; }
  const RowTime& RowTimeNow() const { return now_; }
  // The offset among the bytes received of the byte being written: a row
  // begun now starts there.
  void SetRowRaw(uint64_t raw) { now_.raw = raw; }
  // A receive error came with the bytes being written: the row at the
  // cursor is marked, and so is each row they begin.
  void MarkRowError() {
    now_.error = true;
    if (times_[row_ - 1].Known()) times_[row_ - 1].error = true;
  }
  const RowTime& TimeOf(int row) const { return times_[row - 1]; }
  // A boot's line on this row, compared with the boot before: told once
  // the line has ended (a row with no time keeps none).
  void SetRowVersus(int row, const RowVersus& versus) {
    if (row < 1 || row > kRows || !times_[row - 1].Known()) return;
    times_[row - 1].versus = versus;
    ++version_;
  }
  // The characters of one row as a byte string of 80.
  std::string RowText(int row) const;
  // Grows on every change, so a front end can skip frames that show nothing new.
  uint64_t Version() const { return version_; }

  // Rows that leave the screen go to the sink while one is set (null: they
  // are gone). RowsGone counts them, so a frame tells which rows left the
  // screen before it was taken.
  void SetRowSink(RowSink* sink) { sink_ = sink; }
  bool RowSinkSet() const { return sink_ != nullptr; }
  uint64_t RowsGone() const { return rowsGone_; }
  // A row that never stood on the screen goes to the sink as though it had
  // left it now (the history of an earlier run, rebuilt).
  void KeepAside(const Row& row, const RowTime& time) {
    if (!sink_) return;
    sink_->Keep(row, rowsGone_++, time);
    ++version_;
  }
  // Counts the clears, so a view can start again from the top after one.
  uint64_t Clears() const { return clears_; }

 private:
  void Put(uint8_t ch);
  void RowLeaves(int row);
  void LineFeed();
  void ScrollUp();

  std::array<Row, kRows> cells_;
  std::array<RowTime, kRows> times_{};
  RowTime now_;
  ColourPair colours_;
  int row_ = 1;
  int col_ = 1;
  bool pending_ = false;
  bool below_ = false;  // during a write: the cursor has gone below row 25
  uint64_t version_ = 0;
  RowSink* sink_ = nullptr;
  uint64_t rowsGone_ = 0;
  uint64_t clears_ = 0;
};

}  // namespace qb7
