// The received-text interpreter: a state machine fed one byte at a time.
// It draws text, handles tab, backspace and bell, shows other control bytes
// in a visible form, applies colour sequences and the erase, and logs the
// plain text (bytes 10, 13, 32..255). State and parameter survive between
// chunks. Nothing is allocated per byte.
#pragma once
#include <cstdint>
#include <string_view>

#include "console/console.hpp"
#include "terminal/term_colour.hpp"

namespace qb7 {

// Where the plain text goes ("Term.txt" in a session).
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Put(uint8_t byte) = 0;
};

// The visible form of a byte: its value in upper-case hexadecimal without
// leading zeros, between the given brackets ("<1F>"). Returns the length
// written into out (at most 8 bytes with the brackets below).
std::size_t VisibleForm(uint8_t byte, std::string_view open, char* out);

class Interpreter {
 public:
  enum class State { Plain = 0, Escape = 1, Sequence = 2 };

  Interpreter(Console& console, CurrentColours& colours, ByteSink& log)
      : console_(console), colours_(colours), log_(log) {}

  void Reset() {
    state_ = State::Plain;
    ClearParameter();
  }
  void Feed(uint8_t byte);
  void Feed(std::string_view bytes) {
    for (unsigned char b : bytes) Feed(b);
  }
  State state() const { return state_; }

 private:
  void Show(uint8_t byte);
  void ShowAndLog(uint8_t byte);
  void ApplyParameter();
  void ClearParameter() {
    parameter_ = 0;
    parameterTooLarge_ = false;
  }

  Console& console_;
  CurrentColours& colours_;
  ByteSink& log_;
  State state_ = State::Plain;
  // The digits collected so far, as their value; a value past the 32-bit
  // range matches no colour code.
  int64_t parameter_ = 0;
  bool parameterTooLarge_ = false;
};

}  // namespace qb7
