// The view: how the 80x25 screen, and the history of the rows that left
// it, reach a window of whatever size. Pure: the window's size, the cursor
// and where the operator scrolled to go in; the rows and columns to show,
// with markers where some are hidden, come out.
//
// A window of at least 80x25 shows the screen at its top left, as it is. A
// smaller one shows the part of the screen round the cursor, and moves only
// when the cursor leaves it, so the row being written and the message line
// (row 24, where the cursor goes) are always in sight. Scrolling back shows
// the rows above the view, then the history, newest first; a marker tells
// how far back. A window too small to show a message line's start (below
// kMinCols x kMinRows) gets a notice instead, and no key acts meanwhile.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "screen/screen.hpp"

namespace qb7 {

class HistoryStore;

inline constexpr int kMinRows = 6;
inline constexpr int kMinCols = 40;

// Where the view stood: its first screen row and column, and how many rows
// it is scrolled back (0: live).
struct ViewPlace {
  int top = 1;
  int left = 1;
  int back = 0;
  bool operator==(const ViewPlace&) const = default;
};

struct ViewInput {
  int windowRows = Screen::kRows;
  int windowCols = Screen::kCols;
  int cursorRow = 1;  // 1-based, on the screen
  int cursorCol = 1;
  uint64_t historyRows = 0;  // rows that can be scrolled back into
};

struct ViewLayout {
  bool tooSmall = false;
  int rows = Screen::kRows;  // screen rows and columns shown
  int cols = Screen::kCols;
  // In a window taller than the screen and the counts' row below it: the
  // history's rows shown above the screen, as a terminal's own scrollback
  // would be (the screen keeps its place at the bottom).
  int above = 0;
  int Shown() const { return above + rows; }  // the window rows the view fills
  ViewPlace place;
  bool hiddenAbove = false, hiddenBelow = false, hiddenLeft = false, hiddenRight = false;
};

// The layout for this window, moved from the last place only as far as the
// cursor needs, with the scroll kept within what can be shown.
ViewLayout PlaceView(const ViewInput& in, const ViewPlace& last);

// What the window shows, cell by cell.
struct Picture {
  int rows = 0;
  int cols = 0;
  std::vector<Cell> cells;
  int cursorRow = -1;  // 0-based in the window; -1: the cursor is hidden
  int cursorCol = -1;
  Cell& At(int r, int c) { return cells[static_cast<std::size_t>(r * cols + c)]; }
  const Cell& At(int r, int c) const { return cells[static_cast<std::size_t>(r * cols + c)]; }
  std::string RowText(int r) const;
};

// What the top right says while the view is in the history.
std::string HistoryTag(int back);
// What it says over the history's rows above the live screen.
inline constexpr std::string_view kAboveTag = " history above the live screen ";

// Fills the picture for a window of that size: the frame's rows, the
// history's, the markers, or the notice.
void DrawView(const Screen& frame, const HistoryStore& history, const ViewLayout& layout,
              int windowRows, int windowCols, Picture& out);

}  // namespace qb7
