// The simulated QB7 board behind the port pair: the index/data protocol,
// the reset and route registers, and the UART with its FIFOs and line
// timing. Every port access costs 1 microsecond of clock time, as a bus
// cycle does, and brings the lines up to the clock.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "board/port_io.hpp"
#include "os/clock.hpp"
#include "sim/boot_plan.hpp"
#include "sim/far_end.hpp"

namespace qb7::sim {

class ConsoleFarEnd;

// What the board saw of the looks at its receive FIFO, as a logic analyser
// on the bus would: each overflow is put down to whoever let it happen. A
// look is a read of the count register; the look that took what it found
// (read the data after it, or found nothing to take) is the one that
// counts as the look before. The look that found the overflow came more
// than the FIFO's fill time after that one, or the overflow began while a
// look was under way (between its count and its data, where the program
// only reads): the machine held the program off the processor. Else: the
// program left bytes behind, or looked too seldom, its own fault.
struct LineReport {
  uint64_t machineOverflows = 0;
  uint64_t programOverflows = 0;
  uint64_t longestGapUs = 0;  // between two looks (reads of the count register)
};

class SimulatedBoard final : public PortIo {
 public:
  static constexpr int kRoutes = 6;

  // Built-in consoles on every route (none on J27), all at lineBaud; the
  // VSC7420's boots vary as the plan says.
  SimulatedBoard(Clock& clock, int lineBaud = 115200, BootPlan boots = {});
  ~SimulatedBoard() override;

  void Write(uint16_t port, uint8_t value) override;
  uint8_t Read(uint16_t port) override;

  // The board gone from the bus (unseated, unpowered) from one time to
  // another (microseconds of the clock; to UINT64_MAX: for good): every
  // port reads 0xFF, writes go nowhere; when it is back it starts as after
  // power-on, the VSC7420 booting again.
  void SetAbsent(uint64_t fromUs, uint64_t toUs);
  bool Present();
  // A receive error, as noise on the line would raise it: the flags and the
  // error bit, once.
  void InjectFraming();
  void InjectOverflow();

  // Puts a far end on a route in place of what was there.
  void Attach(int route, std::unique_ptr<FarEnd> farEnd);
  FarEnd* FarEndOn(int route) const;

  // Brings both directions of the line up to the clock.
  void Advance();

  // For tests and the soak.
  int route() const { return route_; }
  bool inReset() const { return inReset_; }
  int divisor() const { return divisor_; }
  std::size_t rxWaiting() const { return rx_.size(); }
  std::size_t txWaiting() const { return tx_.size(); }
  uint64_t overflowEvents() const { return overflowEvents_; }
  const LineReport& report() const { return report_; }
  uint64_t framingEvents() const { return framingEvents_; }
  int auxWrites() const { return auxWrites_; }
  // The VSC7420's boots so far (resets and power-ons), each with its fate.
  const std::vector<BootFate>& boots() const;

 private:
  void WriteRegister(int reg, uint8_t value);
  uint8_t ReadRegister(int reg);
  void Look(uint64_t nowUs, std::size_t waiting);
  void PowerOn();
  void Took();
  void AdvanceTx(uint64_t nowNs);
  void AdvanceRx(FarEnd& farEnd, bool connected, uint64_t nowNs);
  bool SpeedMatches(int baud) const;
  // The time the receive FIFO takes to fill at the UART's speed.
  uint64_t FillUs() const;

  Clock& clock_;
  std::vector<std::unique_ptr<FarEnd>> owned_;
  std::array<FarEnd*, kRoutes> routes_{};
  FarEnd* silent_;  // for route values with no console line
  ConsoleFarEnd* vsc_;  // the VSC7420's own console

  int index_ = 0;
  int route_ = 0;
  bool inReset_ = false;
  int auxWrites_ = 0;

  int divisor_ = 1085;
  bool enabled_ = false;
  std::deque<uint8_t> tx_;
  uint64_t txHeadDoneNs_ = 0;
  std::deque<uint8_t> rx_;
  bool overflow_ = false;
  bool framing_ = false;
  uint64_t overflowEvents_ = 0;
  uint64_t framingEvents_ = 0;
  uint64_t lastPollUs_ = 0;
  LineReport report_;
  uint64_t absentFromUs_ = UINT64_MAX;
  uint64_t absentToUs_ = UINT64_MAX;
  bool absent_ = false;
  uint64_t lastLookUs_ = 0;      // the last look that took what it found; 0: none yet
  uint64_t pendingLookUs_ = 0;   // a look that found bytes, until it reads them
  bool lookPending_ = false;
  bool overflowFound_ = false;  // a look has seen the overflow since the reset
  bool overflowInLook_ = false;  // it began between a look's count and its data
};

}  // namespace qb7::sim
