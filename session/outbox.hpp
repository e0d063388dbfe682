// What the program sends, as steps with the times they are due: the bytes
// of keys and macros (each byte its own transmit wait, then 10 ms before
// the next step), a macro's pauses and its reports, register writes (the
// VSC7420's reset pulse: 1, 10 ms, 0), the start of "GP.EXE". The program
// thread's loop carries out the front step when it is due; a step that
// needs someone else (a report for the operator, an external program, the
// reset released) comes back to the loop as an event. Nothing here waits:
// a pause is a due time, so the looks at the receive FIFO go on through it
// and never run inside a send.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "machine/machine.hpp"

namespace qb7 {

class Outbox {
 public:
  // The pause after each byte sent.
  static constexpr int64_t kPaceMs = 10;

  struct Event {
    enum class Kind { None, Tell, StartExternal, ResetReleased };
    Kind kind = Kind::None;
    std::string text;   // Tell: what the operator is to read
    uint64_t atUs = 0;  // ResetReleased: when
  };

  explicit Outbox(Machine& m) : m_(m) {}

  // Every byte: one transmit wait and the byte, then 10 ms.
  void UartSendSlow(std::string_view bytes);
  // At the UART's own pace: the transmit FIFO filled (one wait for it to
  // be empty, then up to its size), then the time those bytes take on the
  // line (byteNs each) before the next fill. For a program at the other
  // end of the console link, which writes faster than any person types.
  void UartSendPaced(std::string_view bytes, uint64_t byteNs);
  // Below 100 ms a plain pause; from 100 ms up in 50 ms steps that end
  // early once a key waits (the key stays for the session).
  void Pause(int64_t ms);
  // Until a key waits (looked for every 10 ms).
  void PauseUntilKey();
  // A message line for the operator; the steps after it wait for its key.
  void Tell(std::string text);
  // The same, its text the head (shared by many) and then the tail.
  void Tell(std::shared_ptr<const std::string> head, std::string tail);
  void WriteRegister(int reg, int value);
  // The VSC7420's reset pulse, and the event of its release.
  void PulseReset();
  void StartExternal();

  bool Busy() const { return !steps_.empty(); }
  // When the front step is due (UINT64_MAX when there is none).
  uint64_t NextStepUs() const;
  // Carries out the steps that are due, up to the first that has an event
  // or must wait.
  Event Step();
  // What was not sent is dropped (the session it belongs to has ended).
  void Clear();
  // Bytes whose turn came while the board did not answer (not written),
  // since the last call.
  uint64_t TakeNotSent() { return std::exchange(notSent_, 0); }

 private:
  struct Item {
    enum class Kind { Byte, Chunk, Pause, PauseUntilKey, Tell, Register, ResetReleased, StartExternal };
    explicit Item(Kind k) : kind(k) {}
    Kind kind;
    uint8_t byte = 0;
    int reg = 0;
    int value = 0;
    int64_t ms = 0;
    uint64_t us = 0;  // Chunk: the time its bytes take on the line
    std::shared_ptr<const std::string> head;  // Tell: before the text
    std::string text;
  };
  static Item ByteItem(uint8_t byte);
  static Item PauseItem(int64_t ms);
  static Item TellItem(std::string text);
  // A pause as it runs: the end of its current stretch, and what is left
  // after it in 50 ms steps.
  bool Paused(const Item& step, uint64_t now);
  void Pop();

  Machine& m_;
  std::deque<Item> steps_;
  uint64_t notSent_ = 0;
  bool pauseStarted_ = false;
  uint64_t stretchEndUs_ = 0;
  int64_t remainingMs_ = 0;
};

}  // namespace qb7
