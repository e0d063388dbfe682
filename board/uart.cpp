#include "board/uart.hpp"

#include <cmath>

namespace qb7 {

namespace uart = board::uart;

namespace {
// A receive that waits for more bytes looks again this often.
constexpr int kRxPollMs = 10;
}  // namespace

int Uart::Divisor(int clock, int baud) {
  if (baud <= 0 || clock <= 0) return -1;
  double d = std::floor(static_cast<double>(clock) / static_cast<double>(baud) + 0.5);
  if (d < 1 || d > 65535) return -1;
  return static_cast<int>(d);
}

bool Uart::UartInit(int clock, int baud, int port, int base) {
  const int divisor = Divisor(clock, baud);
  // A rate the divisor cannot express leaves the divisor as it was, rather
  // than divide by zero or program a wrapped value.
  if (divisor >= 0) {
    board_.Select(port, base + uart::kDivisorLow);
    board_.WriteByte(port, divisor & 255);
    board_.Select(port, base + uart::kDivisorHigh);
    board_.WriteByte(port, (divisor >> 8) & 255);
  }
  UartReset(port, base);
  UartEnable(port, base);
  return divisor >= 0;
}

void Uart::UartReset(int port, int base) {
  board_.Select(port, base + uart::kRxStatus);
  board_.WriteByte(port, uart::kRxReset);
}

void Uart::UartEnable(int port, int base) {
  board_.Select(port, base + uart::kEnable);
  board_.WriteByte(port, 1);
}

TxReport Uart::UartSendStr(int port, int base, std::string_view text) {
  TxReport report;
  if (!answers_) {
    report.notSent = text.size();
    return report;
  }
  if (text.size() > kTxLongest) report.tooLong = text.size();
  board_.Select(port, base + uart::kTx);
  int counter = 0;
  while (counter <= kTxPollLimit) {
    if ((board_.ReadByte(port) & uart::kTxBusy) == 0) break;
    ++counter;
  }
  report.timedOut = counter > kTxPollLimit;
  // +2 is still selected: every byte goes to the transmit data register.
  for (unsigned char b : text) board_.WriteByte(port, b);
  return report;
}

void Uart::UartRxCount(int port, int base, int& count) {
  count = RxCountRegister(port, base) & uart::kRxCountMask;
}

int Uart::RxCountRegister(int port, int base) {
  board_.Select(port, base + uart::kRxCount);
  return board_.ReadByte(port);
}

bool Uart::NoAnswer(int port, int base) {
  board_.Select(port, base + uart::kRxStatus);
  if (board_.ReadByte(port) != 0xFF) return false;
  board_.Select(port, base + uart::kTx);
  return board_.ReadByte(port) == 0xFF;
}

RxErrors Uart::UartRcvStr(int port, int base, int wanted, int timeoutMs, std::string& text) {
  RxErrors errors;
  text.clear();
  int received = 0;
  int idle = 0;
  int error = 0;
  for (;;) {
    board_.Select(port, base + uart::kRxCount);
    int value = board_.ReadByte(port);
    int available = value & uart::kRxCountMask;
    error = value & uart::kRxErrorPending;
    if (available > 0) {
      if (received + available > wanted) available = wanted - received;
      board_.Select(port, base + uart::kRxData);
      for (int i = 0; i < available; ++i) text.push_back(static_cast<char>(board_.ReadByte(port)));
      idle = 0;
      received += available;
      if (received == wanted) break;
    }
    if (idle >= timeoutMs) {
      errors.timeout = true;
      break;
    }
    // Waiting for the board itself: the clock's plain sleep.
    clock_.SleepUntilUs(clock_.NowUs() + kRxPollMs * 1000);
    idle += kRxPollMs;
  }
  if (error) {
    board_.Select(port, base + uart::kRxStatus);
    const int status = board_.ReadByte(port);
    errors.overflow = (status & uart::kRxOverflow) != 0;
    errors.framing = (status & uart::kRxFraming) != 0;
    UartReset(port, base);
    errors.pending = true;  // fails the receive even when neither bit says why
  }
  return errors;
}

std::vector<std::string> Uart::Texts(const RxErrors& errors) {
  std::vector<std::string> texts;
  if (errors.timeout) texts.emplace_back(kRxTimeout);
  if (errors.overflow) texts.emplace_back(kRxOverflow);
  if (errors.framing) texts.emplace_back(kRxFraming);
  return texts;
}

std::vector<std::string> Uart::Texts(const TxReport& report) {
  std::vector<std::string> texts;
  if (report.tooLong != 0) texts.push_back(std::string(kTooLong) + std::to_string(report.tooLong));
  if (report.timedOut) texts.emplace_back(kTxTimeout);
  return texts;
}

}  // namespace qb7
