// The received-text interpreter: a state machine fed one byte at a time.
// It draws text, handles tab, backspace and bell, shows other control bytes
// in a visible form, applies colour sequences and the erase, and logs the
// plain text (bytes 10, 13, 32..255). State and parameters survive between
// chunks. Nothing is allocated per byte.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "console/console.hpp"
#include "session/term_colour.hpp"

namespace qb7 {

// Where the plain text goes ("Term.txt" in a session). With each byte:
// how many bytes the interpreter had been fed before it, so the sink knows
// where the byte stands among those received.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Put(uint8_t byte, uint64_t fed) = 0;
};

// The visible form of a byte: its value in upper-case hexadecimal without
// leading zeros, between the given brackets ("<1F>"). Returns the length
// written into out (at most 8 bytes with the brackets below).
std::size_t VisibleForm(uint8_t byte, std::string_view open, char* out);

class Interpreter {
 public:
  enum class State {
    Plain = 0,
    Escape = 1,    // ESC seen
    Sequence = 2,  // ESC [ seen: parameters are being collected
    // The rest of a control sequence outside the subset, after its visible
    // form: shown, not logged, up to its final byte.
    SequenceTail = 3,
    // An operating-system command (ESC ] ... BEL), a window title say:
    // shown, not logged.
    OsCommand = 4,
  };

  // Parameters kept per sequence. Real sequences carry a handful; the ones
  // past this many are dropped, so a run of any length costs nothing.
  static constexpr std::size_t kMaxParameters = 32;

  Interpreter(Console& console, ColourPair& colours, ByteSink& log)
      : console_(console), colours_(colours), log_(log) {}

  void Reset() {
    state_ = State::Plain;
    StartSequence();
  }
  void Feed(uint8_t byte);
  // Every byte fed so far.
  uint64_t Fed() const { return fed_; }
  void Feed(std::string_view bytes) {
    for (unsigned char b : bytes) Feed(b);
  }

 private:
  void Plain(uint8_t byte);
  void Show(uint8_t byte);
  void ShowAndLog(uint8_t byte);
  void ShowVisible(uint8_t byte, std::string_view open);
  void StartSequence() {
    count_ = 0;
    ClearParameter();
  }
  void ClearParameter() {
    parameter_ = 0;
    parameterTooLarge_ = false;
  }
  void EndParameter();
  void ApplyColours();

  Console& console_;
  ColourPair& colours_;
  ByteSink& log_;
  State state_ = State::Plain;
  uint64_t fed_ = 0;
  // The digits of the parameter being read, as their value; a value past
  // the 32-bit range matches no colour code.
  int64_t parameter_ = 0;
  bool parameterTooLarge_ = false;
  // The parameters ended so far by ";", applied only when "m" ends the
  // sequence.
  std::array<int64_t, kMaxParameters> parameters_{};
  std::size_t count_ = 0;
};

}  // namespace qb7
