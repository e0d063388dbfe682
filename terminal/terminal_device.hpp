// The terminal as the terminal thread drives it: taken for the full screen
// and raw keys, given back, drawn (the view's picture), rung. Only the
// terminal thread calls it. CursesTerminal is the real one; tests put a
// stand-in here.
#pragma once
#include "keys/key_decoder.hpp"
#include "screen/screen.hpp"
#include "view/view.hpp"

namespace qb7 {

class TerminalDevice {
 public:
  virtual ~TerminalDevice() = default;
  // Takes the terminal: full screen, raw keys. Again after Release.
  virtual void Take() = 0;
  // Puts the terminal back as it was found.
  virtual void Release() = 0;
  // Shows what the view made of a frame: only what changed, or everything.
  virtual void Draw(const Picture& picture, bool everything) = 0;
  virtual void Bell() = 0;
  // The terminal changed size; a Draw of everything follows. Its size in
  // rows and columns.
  virtual void Resized() = 0;
  virtual int Rows() const = 0;
  virtual int Cols() const = 0;
  // Where the bytes of key presses come from, and which family of
  // terminals sends them.
  virtual int InputFd() const = 0;
  virtual KeyFamily Keys() const { return KeyFamily::Xterm; }
};

}  // namespace qb7
