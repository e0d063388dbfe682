// Turns the bytes a terminal sends for key presses into the program's key
// codes, whatever the terminal type: xterm, tmux, screen and the Linux
// console sequences, with Shift, Ctrl and Alt. Pure: the caller passes the
// time, so a lone Esc is told from the start of a sequence by the delay.
#pragma once
#include <cstdint>
#include <string>

#include "keys/key_queue.hpp"

namespace qb7 {

class KeyDecoder {
 public:
  // After this long with nothing more, an Esc (or an unfinished sequence)
  // stands alone.
  static constexpr uint64_t kEscapeDelayUs = 50000;

  // Feeds one byte received at nowUs; decoded keys go to the queue. Returns
  // true when the byte was Ctrl-C, which is no key but the order to end.
  bool Feed(uint8_t byte, uint64_t nowUs, KeyQueue& out);
  // Completes what waited longer than the escape delay.
  void Tick(uint64_t nowUs, KeyQueue& out);
  // True while bytes of an unfinished sequence wait.
  bool Pending() const { return state_ != State::Ground; }

 private:
  enum class State { Ground, Escape, Csi, Ss3, LinuxFunction, Utf8 };

  void Ground(uint8_t byte, KeyQueue& out);
  void FinishCsi(uint8_t final, KeyQueue& out);
  void FinishSs3(uint8_t final, KeyQueue& out);
  void Abandon(KeyQueue& out);

  State state_ = State::Ground;
  uint64_t startedUs_ = 0;
  std::string params_;
  char32_t codePoint_ = 0;
  int utf8Left_ = 0;
};

}  // namespace qb7
