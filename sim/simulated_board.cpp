#include "sim/simulated_board.hpp"

#include <algorithm>
#include <cstdlib>

#include "board/board_registers.hpp"
#include "sim/console_far_end.hpp"

namespace qb7::sim {

namespace uart = board::uart;

namespace {
constexpr uint64_t kPollIntervalUs = 1000;
}  // namespace

SimulatedBoard::SimulatedBoard(Clock& clock, int lineBaud, BootPlan boots) : clock_(clock) {
  auto vsc = std::make_unique<ConsoleFarEnd>(Vsc7420Profile(), lineBaud, std::move(boots));
  vsc_ = vsc.get();
  routes_[0] = routes_[4] = routes_[5] = vsc.get();
  owned_.push_back(std::move(vsc));
  Attach(1, std::make_unique<ConsoleFarEnd>(Dk22nProfile(), lineBaud));
  Attach(2, std::make_unique<NoFarEnd>(lineBaud));
  Attach(3, std::make_unique<ConsoleFarEnd>(Dk22sProfile(), lineBaud));
  auto none = std::make_unique<NoFarEnd>(lineBaud);
  silent_ = none.get();
  owned_.push_back(std::move(none));
}

SimulatedBoard::~SimulatedBoard() = default;

const std::vector<BootFate>& SimulatedBoard::boots() const { return vsc_->Boots(); }

void SimulatedBoard::Attach(int route, std::unique_ptr<FarEnd> farEnd) {
  if (route < 0 || route >= kRoutes) return;
  // Routes 0, 4 and 5 share the VSC7420's console: attaching to one of them
  // takes that line only.
  routes_[route] = farEnd.get();
  owned_.push_back(std::move(farEnd));
}

FarEnd* SimulatedBoard::FarEndOn(int route) const {
  return (route >= 0 && route < kRoutes) ? routes_[route] : silent_;
}

uint64_t SimulatedBoard::FillUs() const {
  return static_cast<uint64_t>(uart::kRxFifoSize) * uart::ByteNsAtDivisor(divisor_) / 1000;
}

bool SimulatedBoard::SpeedMatches(int baud) const {
  const double uartBaud = static_cast<double>(uart::kClockHz) / divisor_;
  return std::abs(baud - uartBaud) <= 0.03 * uartBaud;
}

void SimulatedBoard::Advance() {
  const uint64_t nowUs = clock_.NowUs();
  const uint64_t nowNs = nowUs * 1000;
  if (nowUs - lastPollUs_ >= kPollIntervalUs) {
    lastPollUs_ = nowUs;
    for (auto& f : owned_) f->Poll(nowUs);
  }
  AdvanceTx(nowNs);
  FarEnd* current = FarEndOn(route_);
  for (auto& f : owned_) AdvanceRx(*f, f.get() == current, nowNs);
}

void SimulatedBoard::AdvanceTx(uint64_t nowNs) {
  while (!tx_.empty() && txHeadDoneNs_ <= nowNs) {
    uint8_t byte = tx_.front();
    tx_.pop_front();
    FarEnd* far = FarEndOn(route_);
    // A far end at another speed samples the bits wrongly.
    if (!SpeedMatches(far->baud())) byte = static_cast<uint8_t>(byte ^ 0x5A);
    far->OnByte(byte, txHeadDoneNs_ / 1000);
    if (!tx_.empty()) txHeadDoneNs_ += uart::ByteNsAtDivisor(divisor_);
  }
}

void SimulatedBoard::AdvanceRx(FarEnd& far, bool connected, uint64_t nowNs) {
  const uint64_t byteNs = uart::ByteNs(far.baud());
  uint8_t byte;
  uint64_t readyUs;
  while (far.outbox().Peek(byte, readyUs)) {
    const uint64_t start = std::max(readyUs * 1000, far.lineFreeNs);
    const uint64_t arrival = start + byteNs;
    if (arrival > nowNs) break;
    far.outbox().Pop();
    far.lineFreeNs = arrival;
    // A line that is not wired to the UART, or a UART not yet enabled,
    // lets the byte go by.
    if (!connected || !enabled_ || (connected && inReset_ && &far == routes_[0])) continue;
    if (static_cast<int>(rx_.size()) >= uart::kRxFifoSize) {
      // Begun while a look was under way (its count read, its bytes not
      // yet taken): the program does nothing there but read, so only the
      // machine holding it off lets the FIFO fill in between.
      if (!overflow_)
        overflowInLook_ = lookPending_ && arrival / 1000 >= pendingLookUs_ && arrival / 1000 - pendingLookUs_ < FillUs();
      overflow_ = true;
      ++overflowEvents_;
      continue;
    }
    if (!SpeedMatches(far.baud())) {
      framing_ = true;
      ++framingEvents_;
      byte = static_cast<uint8_t>(byte ^ 0x5A);
    }
    rx_.push_back(byte);
  }
}

void SimulatedBoard::SetAbsent(uint64_t fromUs, uint64_t toUs) {
  absentFromUs_ = fromUs;
  absentToUs_ = toUs;
}

bool SimulatedBoard::Present() {
  const uint64_t now = clock_.NowUs();
  const bool absent = now >= absentFromUs_ && now < absentToUs_;
  if (absent_ && !absent) PowerOn();
  absent_ = absent;
  return !absent;
}

void SimulatedBoard::PowerOn() {
  index_ = 0;
  route_ = 0;
  inReset_ = false;
  divisor_ = 1085;
  enabled_ = false;
  tx_.clear();
  rx_.clear();
  overflow_ = framing_ = overflowFound_ = false;
  lastLookUs_ = 0;
  lookPending_ = false;
  // The VSC7420 boots with the board.
  routes_[0]->lineFreeNs = clock_.NowUs() * 1000;
  routes_[0]->OnReset(clock_.NowUs());
}

void SimulatedBoard::InjectFraming() {
  framing_ = true;
  ++framingEvents_;
}

void SimulatedBoard::InjectOverflow() {
  overflow_ = true;
  ++overflowEvents_;
}

void SimulatedBoard::Write(uint16_t port, uint8_t value) {
  clock_.Charge(1);
  Advance();
  if (!Present()) return;  // an open bus
  if (port == board::kIndexPort) {
    index_ = value;
  } else if (port == board::kDataPort) {
    WriteRegister(index_, value);
  } else if (port == board::kAuxPort) {
    ++auxWrites_;
  }
}

uint8_t SimulatedBoard::Read(uint16_t port) {
  clock_.Charge(1);
  Advance();
  if (!Present()) return 0xFF;  // an open bus reads all ones
  if (port == board::kIndexPort) return static_cast<uint8_t>(index_);
  if (port == board::kDataPort) return ReadRegister(index_);
  return 0xFF;
}

void SimulatedBoard::WriteRegister(int reg, uint8_t value) {
  const uint64_t nowUs = clock_.NowUs();
  switch (reg) {
    case uart::kDivisorLow:
      divisor_ = std::max(1, (divisor_ & 0xFF00) | value);
      break;
    case uart::kDivisorHigh:
      divisor_ = std::max(1, (divisor_ & 0x00FF) | (value << 8));
      break;
    case uart::kTx:
      if (!enabled_ || static_cast<int>(tx_.size()) >= uart::kTxFifoSize) break;
      if (tx_.empty()) txHeadDoneNs_ = nowUs * 1000 + uart::ByteNsAtDivisor(divisor_);
      tx_.push_back(value);
      break;
    case uart::kEnable:
      enabled_ = value == 1;
      lastLookUs_ = 0;  // a new session: the menu's time is no gap between looks
      lookPending_ = false;
      break;
    case uart::kRxStatus:
      if (value == uart::kRxReset) {
        overflow_ = framing_ = false;
        overflowFound_ = false;
        rx_.clear();
        Took();  // what the reset empties is taken too
      }
      break;
    case board::kResetRegister:
      if (value == 1 && !inReset_) {
        inReset_ = true;
        routes_[0]->OnResetAsserted();
      } else if (value == 0 && inReset_) {
        inReset_ = false;
        routes_[0]->lineFreeNs = nowUs * 1000;
        routes_[0]->OnReset(nowUs);
      }
      break;
    case board::kRouteRegister:
      route_ = value;
      break;
    default:
      break;
  }
}

void SimulatedBoard::Look(uint64_t nowUs, std::size_t waiting) {
  const uint64_t gap = lastLookUs_ == 0 ? 0 : nowUs - lastLookUs_;
  report_.longestGapUs = std::max(report_.longestGapUs, gap);
  if (overflow_ && !overflowFound_) {
    overflowFound_ = true;
    if (gap > FillUs() || overflowInLook_)
      ++report_.machineOverflows;
    else
      ++report_.programOverflows;
  }
  // A look that finds nothing has taken all there was; one that finds bytes
  // counts once it reads them.
  if (waiting == 0) {
    lastLookUs_ = nowUs;
    lookPending_ = false;
  } else {
    pendingLookUs_ = lookPending_ ? pendingLookUs_ : nowUs;
    lookPending_ = true;
  }
}

void SimulatedBoard::Took() {
  if (!lookPending_) return;
  lastLookUs_ = pendingLookUs_;
  lookPending_ = false;
}

uint8_t SimulatedBoard::ReadRegister(int reg) {
  switch (reg) {
    case uart::kTx:
      return tx_.empty() ? 0 : uart::kTxBusy;
    case uart::kRxData: {
      Took();
      if (rx_.empty()) return 0;
      uint8_t b = rx_.front();
      rx_.pop_front();
      return b;
    }
    case uart::kRxCount:
      Look(clock_.NowUs(), rx_.size());
      return static_cast<uint8_t>(rx_.size() & uart::kRxCountMask) |
             ((overflow_ || framing_) ? uart::kRxErrorPending : 0);
    case uart::kRxStatus:
      return static_cast<uint8_t>((framing_ ? uart::kRxFraming : 0) |
                                  (overflow_ ? uart::kRxOverflow : 0));
    default:
      return 0;
  }
}

}  // namespace qb7::sim
