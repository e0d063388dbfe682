#include "board/uart.hpp"

#include <cmath>

namespace qb7 {

namespace uart = board::uart;

int Uart::Divisor(int clock, int baud) {
  if (baud <= 0 || clock <= 0) return -1;
  double d = std::floor(static_cast<double>(clock) / static_cast<double>(baud) + 0.5);
  if (d < 1 || d > 65535) return -1;
  return static_cast<int>(d);
}

void Uart::UartInit(int clock, int baud, int port, int base) {
  int divisor = Divisor(clock, baud);
  if (divisor < 0) {
    // A rate the divisor cannot express: say so and leave the divisor as it
    // was, rather than divide by zero or program a wrapped value.
    console_.ErrorMessage(std::string(kBadBaud) + std::to_string(baud));
  } else {
    board_.Select(port, base + uart::kDivisorLow);
    board_.WriteByte(port, divisor & 255);
    board_.Select(port, base + uart::kDivisorHigh);
    board_.WriteByte(port, (divisor >> 8) & 255);
  }
  UartReset(port, base);
  UartEnable(port, base);
}

void Uart::UartReset(int port, int base) {
  board_.Select(port, base + uart::kRxStatus);
  board_.WriteByte(port, uart::kRxReset);
}

void Uart::UartEnable(int port, int base) {
  board_.Select(port, base + uart::kEnable);
  board_.WriteByte(port, 1);
}

void Uart::UartSendStr(int port, int base, std::string_view text) {
  if (!answers_) return;
  if (text.size() > 128) console_.ErrorMessage(std::string(kTooLong) + std::to_string(text.size()));
  board_.Select(port, base + uart::kTx);
  int counter = 0;
  while (counter <= kTxPollLimit) {
    if ((board_.ReadByte(port) & uart::kTxBusy) == 0) break;
    ++counter;
  }
  if (counter > kTxPollLimit) console_.ErrorMessage(kTxTimeout);
  // +2 is still selected: every byte goes to the transmit data register.
  for (unsigned char b : text) board_.WriteByte(port, b);
}

void Uart::UartSendSlow(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    UartSendStr(port_, base_, text.substr(i, 1));
    console_.Pause(10);
  }
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

void Uart::UartRcvStr(int port, int base, int wanted, int timeout, std::string& text, int quiet,
                      int& failed) {
  failed = Receive(port, base, wanted, timeout, text, !quiet).Any() ? 1 : 0;
}

RxErrors Uart::UartReceive(int port, int base, int wanted, int timeout, std::string& text) {
  return Receive(port, base, wanted, timeout, text, false);
}

void Uart::TellReceiveErrors(const RxErrors& errors) {
  if (errors.timeout) console_.ErrorMessage(kRxTimeout);
  if (errors.overflow) console_.ErrorMessage(kRxOverflow);
  if (errors.framing) console_.ErrorMessage(kRxFraming);
}

RxErrors Uart::Receive(int port, int base, int wanted, int timeout, std::string& text,
                       bool tell) {
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
    if (idle >= timeout) {
      errors.timeout = true;
      if (tell) console_.ErrorMessage(kRxTimeout);
      break;
    }
    console_.Pause(10);
    idle += 10;
  }
  if (error) {
    board_.Select(port, base + uart::kRxStatus);
    const int status = board_.ReadByte(port);
    errors.overflow = (status & uart::kRxOverflow) != 0;
    errors.framing = (status & uart::kRxFraming) != 0;
    if (tell) {
      if (errors.overflow) console_.ErrorMessage(kRxOverflow);
      if (errors.framing) console_.ErrorMessage(kRxFraming);
    }
    UartReset(port, base);
    errors.pending = true;  // fails the receive even when neither bit says why
  }
  return errors;
}

}  // namespace qb7
