// The real terminal: ncursesw draws the 80x25 screen model at the top left
// in its 16 colours with the PC code-page glyphs; key bytes are read raw
// from standard input. The only code that calls ncurses, and only the
// terminal thread calls it (the constructor and Unusable excepted, which
// run before that thread starts).
#pragma once
#include <termios.h>

#include <array>
#include <vector>
#include <optional>
#include <string>

#include "terminal/terminal_device.hpp"

struct screen;  // ncurses' SCREEN

namespace qb7 {

class CursesTerminal final : public TerminalDevice {
 public:
  // Chooses a locale that can show the glyphs, remembers the terminal
  // settings to give back, and sees that they are given back however the
  // process ends.
  CursesTerminal();
  ~CursesTerminal() override;

  // Why this process cannot draw a full screen (standard input or output
  // is not a terminal, or terminfo does not know how to address the cursor
  // on it), as one line for the operator; nothing when it can.
  static std::optional<std::string> Unusable(const std::string& program);

  // The first Take sets the terminal up; what fails there (memory,
  // descriptors) throws ProgramFailure naming the cause, with the terminal
  // as it was found.
  void Take() override;
  void Release() override;
  void Draw(const Picture& picture, bool everything) override;
  void Bell() override;
  void Resized() override;
  int InputFd() const override;
  int Rows() const override;
  int Cols() const override;
  KeyFamily Keys() const override;

 private:
  void SetUpColours();
  short PairFor(int fg, int bg) const;
  void LearnModes();
  static void SendModes(const std::string& modes);

  termios original_{};
  bool haveOriginal_ = false;
  ::screen* screen_ = nullptr;  // curses set up once
  bool held_ = false;
  bool manyColours_ = false;  // 16 colours and 256 pairs
  bool drawnOnce_ = false;
  // What the program switches on while it holds the terminal, and off again.
  std::string modesOn_;
  std::string modesOff_;
  // What the terminal shows now, so that a frame sends only what changed.
  std::vector<Cell> shown_;
  int shownRows_ = 0;
  int shownCols_ = 0;
};

}  // namespace qb7
