// The real terminal: ncursesw draws the 80x25 screen model at the top left
// in its 16 colours with the PC code-page glyphs; keys are read raw from
// the terminal and decoded by KeyDecoder. The terminal is restored on every
// way out (see Shutdown and SignalWatch).
#pragma once
#include <termios.h>

#include <array>

#include "console/frontend.hpp"
#include "console/key_decoder.hpp"

namespace qb7 {

class CursesFrontend final : public Frontend {
 public:
  CursesFrontend();
  ~CursesFrontend() override;

  void CollectKeys(KeyQueue& queue, uint64_t nowUs) override;
  void Present(const Screen& screen) override;
  void Bell() override;
  void Suspend() override;
  void Resume() override;

  // Leaves curses and puts the terminal back as it was. Idempotent.
  void Shutdown();

 private:
  void SetUpColours();
  short PairFor(int fg, int bg) const;
  void Draw(const Screen& screen, bool everything);
  void DrawTooSmall();
  void HandleResize();

  KeyDecoder decoder_;
  termios original_{};
  bool haveOriginal_ = false;
  bool active_ = false;
  bool manyColours_ = false;  // 16 colours and 256 pairs
  const Screen* last_ = nullptr;
  bool tooSmall_ = false;
  bool drawnOnce_ = false;
  std::array<std::array<Cell, Screen::kCols>, Screen::kRows> shown_{};
};

}  // namespace qb7
