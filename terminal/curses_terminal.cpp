// The terminal taken and given back: ncurses set up once, the terminal's
// modes (keypad, Alt as Esc, the mouse, bracketed paste) switched on and
// off, its size followed; and the refusal of a terminal that cannot show
// the program. Drawing is in curses_drawing.cpp.
#include "terminal/curses_terminal.hpp"

#ifndef _XOPEN_SOURCE_EXTENDED
#define _XOPEN_SOURCE_EXTENDED 1
#endif
#include <langinfo.h>
#include <ncursesw/curses.h>
#include <ncursesw/term.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "os/program_exit.hpp"
#include "os/exit_guard.hpp"

namespace qb7 {

namespace {

bool HasString(const char* capability) {
  const char* s = tigetstr(const_cast<char*>(capability));
  return s != nullptr && s != reinterpret_cast<const char*>(-1);
}

// Whether the process has no descriptor left: terminfo's readers try
// several places and leave the errno of the last, which hides that cause.
bool OutOfDescriptors() {
  const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    close(fd);
    return false;
  }
  return errno == EMFILE || errno == ENFILE;
}

// The cause of a failure to set the terminal up, as the operator should
// hear it.
std::string SetUpFailure(int error) {
  if (OutOfDescriptors()) error = EMFILE;
  if (error == EMFILE || error == ENFILE)
    return "too many open files while setting up the terminal";
  if (error == ENOMEM || error == EAGAIN) return "out of memory while setting up the terminal";
  if (error == 0) return "the terminal could not be set up";
  return std::string("the terminal could not be set up: ") + std::strerror(error);
}

// Whether this much more memory can be had now. ncurses does not survive
// every allocation that fails inside it, so its set-up starts only with
// room to spare.
bool HaveRoomFor(std::size_t bytes) {
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                 -1, 0);
  if (p == MAP_FAILED) return false;
  munmap(p, bytes);
  return true;
}
constexpr std::size_t kSetUpRoom = 8u * 1024 * 1024;

}  // namespace

CursesTerminal::CursesTerminal() {
  // Glyphs above 127 need a UTF-8 locale.
  std::setlocale(LC_ALL, "");
  const char* codeset = nl_langinfo(CODESET);
  if (!codeset || std::strcmp(codeset, "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
  haveOriginal_ = tcgetattr(STDIN_FILENO, &original_) == 0;
  exit_guard::Install(haveOriginal_ ? &original_ : nullptr);
}

CursesTerminal::~CursesTerminal() {
  Release();
  if (screen_) delscreen(screen_);
}

std::optional<std::string> CursesTerminal::Unusable(const std::string& program) {
  const std::string start = program + ": ";
  if (!isatty(STDIN_FILENO))
    return start + "standard input is not a terminal; start " + program +
           " from a terminal, without redirecting its input";
  if (!isatty(STDOUT_FILENO))
    return start + "standard output is not a terminal; start " + program +
           " in a terminal of at least 80x25, without redirecting its output";
  const char* term = std::getenv("TERM");
  if (!term || !*term)
    return start + "TERM is not set; set it to the terminal's type, e.g. TERM=xterm-256color";
  if (!HaveRoomFor(kSetUpRoom)) return start + SetUpFailure(ENOMEM);
  int error = 0;
  exit_guard::BeginSetUp("reading the terminal's description");
  errno = 0;
  const bool known = setupterm(nullptr, STDOUT_FILENO, &error) == OK;
  const int cause = errno;
  exit_guard::EndSetUp();
  if (!known) {
    // Out of descriptors or memory, terminfo cannot be read: that is what
    // the operator must hear, not that the terminal is unknown.
    if (cause == ENOMEM || OutOfDescriptors()) return start + SetUpFailure(cause);
    if (error == 0)
      return start + "the terminal type '" + term +
             "' is not known to terminfo; set TERM to the terminal's type, e.g. "
             "TERM=xterm-256color";
    return start + "no terminfo database was found for TERM=" + term +
           "; install ncurses-base or set TERM to a known type";
  }
  const bool canAddress = HasString("cup") && HasString("clear");
  del_curterm(cur_term);
  if (!canAddress)
    return start + "the terminal type '" + term +
           "' cannot position the cursor; run " + program +
           " in a full-screen terminal (e.g. TERM=xterm-256color)";
  return std::nullopt;
}

void CursesTerminal::Take() {
  if (held_) return;
  if (!screen_) {
    // ncurses ends the process when it runs out of memory anywhere in its
    // set-up: the exit guard then puts the terminal back and names the cause.
    if (!HaveRoomFor(kSetUpRoom)) throw ProgramFailure{SetUpFailure(ENOMEM)};
    exit_guard::BeginSetUp("setting up the terminal");
    errno = 0;
    screen_ = newterm(nullptr, stdout, stdin);
    if (!screen_) {
      const int error = errno;
      exit_guard::EndSetUp();
      if (haveOriginal_) tcsetattr(STDIN_FILENO, TCSANOW, &original_);
      throw ProgramFailure{SetUpFailure(error)};
    }
    held_ = true;
    exit_guard::TerminalHeld(true);
    set_term(screen_);
    raw();  // Ctrl-Z and Ctrl-C arrive as bytes, not signals
    noecho();
    nonl();
    intrflush(stdscr, FALSE);
    leaveok(stdscr, FALSE);
    SetUpColours();
    curs_set(1);
    LearnModes();
    refresh();
    SendModes(modesOn_);
    exit_guard::EndSetUp();
  } else {
    // Back from an external program: the modes of the session, the size the
    // terminal has now, and everything drawn again.
    held_ = true;
    exit_guard::TerminalHeld(true);
    reset_prog_mode();
    SendModes(modesOn_);
    Resized();
  }
}

void CursesTerminal::LearnModes() {
  // Keypad-transmit mode, as every curses program sets it: the keys then
  // send what terminfo lists (st's Delete and Insert among them).
  const char* smkx = tigetstr(const_cast<char*>("smkx"));
  const char* rmkx = tigetstr(const_cast<char*>("rmkx"));
  const bool keypad = HasString("smkx") && HasString("rmkx");
  const char* term = std::getenv("TERM");
  // xterm sends Alt as the letter with bit 7 set unless asked for an ESC
  // before it (mode 1036, saved and restored with the terminal's own
  // save/restore of private modes).
  const bool xterm = term && std::strncmp(term, "xterm", 5) == 0;
  // mlterm honours the mode too, but keeps no saved state for it: it is
  // switched on, and back off after.
  const bool mlterm = term && std::strncmp(term, "mlterm", 6) == 0;
  // Mouse reports (and SGR coordinates), so that the wheel scrolls the
  // view and never becomes keys sent to the board; Shift+drag still selects.
  static const char kMouseOn[] = "\033[?1000h\033[?1006h";
  static const char kMouseOff[] = "\033[?1006l\033[?1000l";
  // Bracketed paste, so that a paste is known as one: its bytes are never
  // taken for keys at a message line, and it never holds up Shift-F2.
  static const char kPasteOn[] = "\033[?2004h";
  static const char kPasteOff[] = "\033[?2004l";
  const char* altOn = xterm ? "\033[?1036s\033[?1036h" : mlterm ? "\033[?1036h" : "";
  const char* altOff = xterm ? "\033[?1036r" : mlterm ? "\033[?1036l" : "";
  modesOn_ = std::string(keypad ? smkx : "") + altOn + kMouseOn + kPasteOn;
  modesOff_ = std::string(kPasteOff) + kMouseOff + altOff + (keypad ? rmkx : "");
  // However the program ends, these go too.
  exit_guard::Install(haveOriginal_ ? &original_ : nullptr, modesOff_);
}

void CursesTerminal::SendModes(const std::string& modes) {
  // Straight to the terminal, after what curses has sent (its own output
  // is flushed by every refresh), so the order is kept.
  (void)!write(STDOUT_FILENO, modes.data(), modes.size());
}

KeyFamily CursesTerminal::Keys() const {
  const char* term = std::getenv("TERM");
  return KeyFamilyFor(term ? term : "");
}

void CursesTerminal::Release() {
  if (!held_) return;
  held_ = false;
  def_prog_mode();
  attrset(A_NORMAL);
  curs_set(1);
  refresh();
  SendModes(modesOff_);
  endwin();
  if (haveOriginal_) tcsetattr(STDIN_FILENO, TCSANOW, &original_);
  exit_guard::TerminalHeld(false);
}

void CursesTerminal::Resized() {
  if (!held_) return;
  winsize ws{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0)
    resize_term(ws.ws_row, ws.ws_col);
  clear();
  drawnOnce_ = false;
}

int CursesTerminal::InputFd() const { return STDIN_FILENO; }

int CursesTerminal::Rows() const { return LINES; }
int CursesTerminal::Cols() const { return COLS; }

}  // namespace qb7
