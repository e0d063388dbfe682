#include "screen/screen.hpp"

namespace qb7 {

namespace {
uint8_t Mod16(int v) { return static_cast<uint8_t>(((v % 16) + 16) % 16); }
}  // namespace

Screen::Screen() { Clear(); }

void Screen::RowLeaves(int row) {
  if (!sink_) return;
  sink_->Keep(cells_[row - 1], rowsGone_++, times_[row - 1]);
}

void Screen::Clear() {
  if (sink_) {
    // What the clear takes off, down to the last row that shows anything.
    int last = 0;
    for (int r = 1; r <= kRows; ++r)
      for (const Cell& c : cells_[r - 1])
        if (c.ch != ' ' || c.bg != 0) {
          last = r;
          break;
        }
    for (int r = 1; r <= last; ++r) RowLeaves(r);
  }
  Cell blank{' ', static_cast<uint8_t>(colours_.fg), static_cast<uint8_t>(colours_.bg)};
  for (auto& row : cells_) row.fill(blank);
  times_.fill(RowTime{});
  row_ = 1;
  col_ = 1;
  pending_ = false;
  ++version_;
  ++clears_;
}

void Screen::SetPosition(int row, int col) {
  if (row < 0 || row > kRows || col < 0 || col > kCols) return;
  if (row != 0) row_ = row;
  if (col != 0) col_ = col;
  pending_ = false;
  ++version_;
}

void Screen::RestoreCursor(const CursorState& cursor) {
  SetPosition(cursor.row, cursor.col);
  // A break can only be pending with the cursor at the end of the last row.
  pending_ = cursor.breakPending && row_ == kRows && col_ == kCols;
}

void Screen::BreakPendingLine() {
  if (!pending_) return;
  pending_ = false;
  ScrollUp();
  row_ = kRows;
  col_ = 1;
  ++version_;
}

ColourPair Screen::SetColours(int fg, int bg) {
  ColourPair old = colours_;
  colours_ = {Mod16(fg), Mod16(bg)};
  return old;
}

std::string Screen::RowText(int row) const {
  std::string text(kCols, ' ');
  for (int c = 0; c < kCols; ++c) text[c] = static_cast<char>(cells_[row - 1][c].ch);
  return text;
}

void Screen::ScrollUp() {
  RowLeaves(1);
  for (int r = 1; r < kRows; ++r) {
    cells_[r - 1] = cells_[r];
    times_[r - 1] = times_[r];
  }
  Cell blank{' ', static_cast<uint8_t>(colours_.fg), static_cast<uint8_t>(colours_.bg)};
  cells_[kRows - 1].fill(blank);
  times_[kRows - 1] = RowTime{};
}

void Screen::LineFeed() {
  if (row_ < kRows) {
    ++row_;
  } else {
    below_ = true;
  }
}

void Screen::Put(uint8_t ch) {
  cells_[row_ - 1][col_ - 1] = {ch, static_cast<uint8_t>(colours_.fg),
                                static_cast<uint8_t>(colours_.bg)};
  if (!times_[row_ - 1].Known()) times_[row_ - 1] = now_;
  if (++col_ > kCols) {
    col_ = 1;
    LineFeed();
  }
}

int Screen::Write(std::string_view bytes) {
  if (bytes.empty()) return 0;
  ++version_;
  int bells = 0;
  // The break left pending by the last write happens now.
  BreakPendingLine();
  for (unsigned char b : bytes) {
    if (below_) {
      // More bytes remain, so the screen scrolls to make room.
      below_ = false;
      ScrollUp();
      row_ = kRows;
      col_ = 1;
    }
    switch (b) {
      case 7:
        ++bells;
        break;
      case 8:
        if (col_ > 1) --col_;
        break;
      case 9:
        do {
          Put(' ');
        } while (!below_ && col_ != 1 && (col_ - 1) % 8 != 0);
        break;
      case 10:
        col_ = 1;
        LineFeed();
        break;
      case 13:
        col_ = 1;
        break;
      default:
        Put(b);
        break;
    }
  }
  if (below_) {
    // The write ended just below the last row: no scroll yet, the break waits.
    below_ = false;
    row_ = kRows;
    col_ = kCols;
    pending_ = true;
  }
  return bells;
}

}  // namespace qb7
