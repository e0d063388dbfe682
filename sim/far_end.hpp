// What sits at the other end of a console line of the simulated board.
// A far end receives the bytes the UART sends and queues what it answers in
// its outbox; the board moves outbox bytes onto the line at the far end's
// own speed.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace qb7::sim {

// Bytes waiting to go on the line, each run with the time it is ready.
// A pattern run makes its bytes on demand, so a long burst costs no memory.
class Outbox {
 public:
  void Send(std::string_view bytes, uint64_t readyUs);
  void SendPattern(uint64_t count, uint64_t readyUs);
  // The next byte and when it is ready; false when nothing waits.
  bool Peek(uint8_t& byte, uint64_t& readyUs) const;
  void Pop();
  void Clear() {
    runs_.clear();
    waiting_ = 0;
  }
  bool Empty() const { return runs_.empty(); }
  // Bytes waiting, counting what a pattern has still to make.
  uint64_t Waiting() const { return waiting_; }

 private:
  struct Run {
    uint64_t readyUs;
    std::string bytes;
    std::size_t pos = 0;
    uint64_t patternLeft = 0;
    uint64_t patternNext = 0;
  };
  std::deque<Run> runs_;
  uint64_t waiting_ = 0;
};

class FarEnd {
 public:
  explicit FarEnd(int baud) : baud_(baud) {}
  virtual ~FarEnd() = default;

  // A byte from the UART reached this end of the line.
  virtual void OnByte(uint8_t byte, uint64_t atUs) = 0;
  // The VSC7420 reset was released.
  virtual void OnReset(uint64_t atUs) { (void)atUs; }
  // Held in reset: silent.
  virtual void OnResetAsserted() { outbox_.Clear(); }
  // A chance to pick up bytes from outside (a program on a pty).
  virtual void Poll(uint64_t nowUs) { (void)nowUs; }

  Outbox& outbox() { return outbox_; }
  int baud() const { return baud_; }
  // When the line from this end is free for the next byte (nanoseconds).
  uint64_t lineFreeNs = 0;

 protected:
  Outbox outbox_;
  int baud_;
};

// Nothing attached: a silent line.
class NoFarEnd final : public FarEnd {
 public:
  using FarEnd::FarEnd;
  void OnByte(uint8_t, uint64_t) override {}
};

}  // namespace qb7::sim
