#include "console/curses_frontend.hpp"

#ifndef _XOPEN_SOURCE_EXTENDED
#define _XOPEN_SOURCE_EXTENDED 1
#endif
#include <langinfo.h>
#include <ncursesw/curses.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <csignal>
#include <cerrno>
#include <unistd.h>

#include <clocale>
#include <cstring>
#include <string>

#include "console/cp437.hpp"
#include "console/program_exit.hpp"
#include "console/signal_watch.hpp"

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

CursesFrontend::CursesFrontend() {
  // Glyphs above 127 need a UTF-8 locale.
  std::setlocale(LC_ALL, "");
  const char* codeset = nl_langinfo(CODESET);
  if (!codeset || std::strcmp(codeset, "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");

  haveOriginal_ = tcgetattr(STDIN_FILENO, &original_) == 0;
  SignalWatch::Install(haveOriginal_ ? &original_ : nullptr);

  initscr();
  active_ = true;
  raw();  // Ctrl-Z and Ctrl-C arrive as bytes, not signals
  noecho();
  nonl();
  intrflush(stdscr, FALSE);
  leaveok(stdscr, FALSE);
  SetUpColours();
  curs_set(1);
}

CursesFrontend::~CursesFrontend() { Shutdown(); }

void CursesFrontend::Shutdown() {
  if (!active_) return;
  active_ = false;
  attrset(A_NORMAL);
  curs_set(1);
  endwin();
  if (haveOriginal_) tcsetattr(STDIN_FILENO, TCSANOW, &original_);
}

void CursesFrontend::SetUpColours() {
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

short CursesFrontend::PairFor(int fg, int bg) const {
  // Pair 0 is the terminal's default, light grey on black: it trades places
  // with the pair that would have been number 7.
  const int shades = manyColours_ ? 16 : 8;
  int f = fg % shades, b = bg % shades;
  int n = b * shades + f;
  if (n == 7) return 0;
  if (n == 0) return 7;
  return static_cast<short>(n);
}

void CursesFrontend::HandleResize() {
  winsize ws{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0)
    resize_term(ws.ws_row, ws.ws_col);
  clear();
  drawnOnce_ = false;
  if (last_) Draw(*last_, true);
}

void CursesFrontend::CollectKeys(KeyQueue& queue, uint64_t nowUs) {
  if (int sig = SignalWatch::PendingTermination()) throw ProgramExit{128 + sig, sig};
  if (SignalWatch::TakeResize()) HandleResize();
  for (;;) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0 || !(p.revents & (POLLIN | POLLHUP))) break;
    unsigned char buf[256];
    ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n <= 0) {
      // The terminal is gone: end as a hang-up would.
      if (n == 0 || errno != EINTR) throw ProgramExit{128 + SIGHUP, SIGHUP};
      break;
    }
    for (ssize_t i = 0; i < n; ++i)
      if (decoder_.Feed(buf[i], nowUs, queue)) throw ProgramExit{130, 0};
  }
  decoder_.Tick(nowUs, queue);
}

void CursesFrontend::Present(const Screen& screen) {
  last_ = &screen;
  Draw(screen, false);
}

void CursesFrontend::DrawTooSmall() {
  erase();
  std::string notice = "qb7uart needs a terminal of at least 80x25; this one is " +
                       std::to_string(COLS) + "x" + std::to_string(LINES) + ".";
  mvaddnstr(0, 0, notice.c_str(), COLS);
  if (LINES > 1) mvaddnstr(1, 0, "Enlarge the window to go on.", COLS);
  refresh();
}

void CursesFrontend::Draw(const Screen& screen, bool everything) {
  if (!active_) return;
  const bool small = LINES < Screen::kRows || COLS < Screen::kCols;
  if (small) {
    tooSmall_ = true;
    drawnOnce_ = false;
    DrawTooSmall();
    return;
  }
  if (tooSmall_) {
    tooSmall_ = false;
    clear();
    everything = true;
  }
  if (!drawnOnce_) everything = true;
  for (int r = 1; r <= Screen::kRows; ++r) {
    for (int c = 1; c <= Screen::kCols; ++c) {
      const Cell& cell = screen.At(r, c);
      Cell& shown = shown_[r - 1][c - 1];
      if (!everything && cell == shown) continue;
      shown = cell;
      wchar_t glyph[2] = {static_cast<wchar_t>(Cp437Glyph(cell.ch)), 0};
      attr_t attrs = A_NORMAL;
      if (!manyColours_ && (cell.fg & 8)) attrs |= A_BOLD;
      cchar_t cc;
      setcchar(&cc, glyph, attrs, PairFor(cell.fg, cell.bg), nullptr);
      mvadd_wch(r - 1, c - 1, &cc);
    }
  }
  drawnOnce_ = true;
  move(screen.CursorRow() - 1, screen.CursorColumn() - 1);
  refresh();
}

void CursesFrontend::Bell() {
  if (active_) beep();
}

void CursesFrontend::Suspend() {
  if (!active_) return;
  def_prog_mode();
  endwin();
  if (haveOriginal_) tcsetattr(STDIN_FILENO, TCSANOW, &original_);
}

void CursesFrontend::Resume() {
  if (!active_) return;
  reset_prog_mode();
  clear();
  drawnOnce_ = false;
  refresh();
}

}  // namespace qb7
