// Drawing the view's picture with ncurses: the PC palette in curses'
// colour pairs (16 colours where the terminal has them, else 8 and bold),
// the PC glyphs, only the cells that changed; and the bell.
#ifndef _XOPEN_SOURCE_EXTENDED
#define _XOPEN_SOURCE_EXTENDED 1
#endif
#include <ncursesw/curses.h>

#include <algorithm>

#include "terminal/curses_terminal.hpp"
#include "text/cp437.hpp"

namespace qb7 {

namespace {

// PC palette (bit 0 blue, bit 2 red) to curses colour numbers (bit 0 red,
// bit 2 blue): swap bits 0 and 2, keep the bright bit.
short CursesColour(int pc) {
  int low = pc & 7;
  int swapped = (low & 2) | ((low & 1) << 2) | ((low & 4) >> 2);
  return static_cast<short>(swapped | (pc & 8));
}

}  // namespace

void CursesTerminal::SetUpColours() {
  if (!has_colors()) return;
  start_color();
  manyColours_ = COLORS >= 16 && COLOR_PAIRS >= 256;
  assume_default_colors(COLOR_WHITE, COLOR_BLACK);
  const int shades = manyColours_ ? 16 : 8;
  for (int bg = 0; bg < shades; ++bg)
    for (int fg = 0; fg < shades; ++fg) {
      short pair = PairFor(fg, bg);
      if (pair != 0) init_pair(pair, CursesColour(fg), CursesColour(bg));
    }
}

short CursesTerminal::PairFor(int fg, int bg) const {
  // Pair 0 is the terminal's default, light grey on black: it trades places
  // with the pair that would have been number 7.
  const int shades = manyColours_ ? 16 : 8;
  int f = fg % shades, b = bg % shades;
  int n = b * shades + f;
  if (n == 7) return 0;
  if (n == 0) return 7;
  return static_cast<short>(n);
}

void CursesTerminal::Draw(const Picture& picture, bool everything) {
  if (!held_) return;
  if (picture.rows != shownRows_ || picture.cols != shownCols_) {
    shown_.assign(picture.cells.size(), Cell{});
    shownRows_ = picture.rows;
    shownCols_ = picture.cols;
    everything = true;
  }
  if (!drawnOnce_) everything = true;
  const int rows = std::min(picture.rows, LINES), cols = std::min(picture.cols, COLS);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const Cell& cell = picture.At(r, c);
      Cell& shown = shown_[static_cast<std::size_t>(r * picture.cols + c)];
      if (!everything && cell == shown) continue;
      shown = cell;
      wchar_t glyph[2] = {static_cast<wchar_t>(Cp437Glyph(cell.ch)), 0};
      attr_t attrs = A_NORMAL;
      if (!manyColours_ && (cell.fg & 8)) attrs |= A_BOLD;
      cchar_t cc;
      setcchar(&cc, glyph, attrs, PairFor(cell.fg, cell.bg), nullptr);
      mvadd_wch(r, c, &cc);
    }
  }
  drawnOnce_ = true;
  if (picture.cursorRow >= 0) {
    curs_set(1);
    move(picture.cursorRow, picture.cursorCol);
  } else {
    curs_set(0);
  }
  refresh();
}

void CursesTerminal::Bell() {
  if (held_) beep();
}

}  // namespace qb7
