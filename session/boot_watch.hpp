// The boot as a measurement: from the moment a boot starts (the VSC7420's
// reset released, or the board answering again after it was gone, which is
// a power-on), the bytes that come are watched for the first byte and for
// the prompt: the route's own (#PROMPT in Qb7_Uart.cfg), else the first
// line that stops without a line end and is followed by quiet. The result
// is told once: the first byte's and the prompt's times since the start,
// or that no prompt came within the time-out. Pure: the session gives it
// the bytes with their looks' times, and asks at its steps.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qb7 {

struct BootResult {
  bool prompt = false;        // the prompt came
  bool anything = false;      // a byte came
  uint64_t firstByteUs = 0;   // since the start
  uint64_t promptUs = 0;      // since the start
  uint64_t atUs = 0;          // when it was decided: the prompt's look, or the time-out
  uint64_t timeOutUs = 0;     // the time-out it was watched with
  // "boot: first byte 1.0 ms, prompt after 2587.3 ms", as Term.times records it.
  std::string Text() const;
  // For the screen: "boot: prompt after 2.587 s".
  std::string ShortText() const;
};

// A boot measured by a session that was opened for it alone (boots in a
// batch): its result, and what else the session met meanwhile.
struct BootOutcome {
  BootResult result;
  bool boardMissing = false;  // the board did not answer at some time during the boot
  bool overflow = false;      // bytes were lost at the receive FIFO
  uint64_t startWallUs = 0;   // the session's start, wall clock
};

class BootWatch {
 public:
  // Quiet after a line that stops without its end: that line is the prompt.
  static constexpr uint64_t kQuietUs = 300000;
  // No prompt within this: the boot is told as failed.
  static constexpr uint64_t kTimeOutUs = 60000000;

  // The route's prompt (empty: the quiet line decides).
  void SetPrompt(std::string prompt) { prompt_ = std::move(prompt); }
  void SetTimeOut(uint64_t us) { timeOutUs_ = us; }
  void Start(uint64_t atUs);
  bool Watching() const { return watching_; }
  // Bytes received, found by the look at atUs.
  void Bytes(std::string_view bytes, uint64_t atUs);
  // The result, once, when the boot is decided by then.
  std::optional<BootResult> Check(uint64_t nowUs);
  // The look that last brought bytes, before the boot was decided or after
  // (0: none since the start).
  uint64_t LastBytesUs() const { return lastAnyUs_; }

 private:
  std::optional<BootResult> Decide(bool prompt, uint64_t atUs);

  std::string prompt_;
  uint64_t timeOutUs_ = kTimeOutUs;
  bool watching_ = false;
  uint64_t startUs_ = 0;
  bool any_ = false;
  uint64_t firstUs_ = 0;
  uint64_t lastUs_ = 0;       // the look that brought the last bytes
  uint64_t lastAnyUs_ = 0;    // the same, also once decided
  bool lineOpen_ = false;     // the last bytes did not end a line
  std::string tail_;          // the last bytes, for a prompt split between looks
  std::optional<BootResult> found_;  // the prompt, found in Bytes
};

}  // namespace qb7
