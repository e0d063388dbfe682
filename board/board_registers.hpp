// The board's register map behind the index/data port pair, the UART
// register block with its bits, and the line's timing: every board fact in
// one place, used by the driver, the session, the simulated board and the
// benchmarks alike.
#pragma once
#include <cstdint>

namespace qb7::board {

inline constexpr int kDataPort = 0x352;   // register values are read and written here
inline constexpr int kIndexPort = 0x353;  // the register number is written here (data + 1)
inline constexpr int kAuxPort = 0x2A4;    // written once with 0 at start-up
inline constexpr int kUartBase = 0;

inline constexpr int kResetRegister = 7;  // Out: 1 asserts the VSC7420 reset, 0 releases it
inline constexpr int kRouteRegister = 8;  // Out: console line 0..5 wired to the UART

// The VSC7420's reset pulse: the reset register to 1, this long, back to 0.
inline constexpr int kResetAsserted = 1;
inline constexpr int kResetReleased = 0;
inline constexpr int kResetPulseMs = 10;

namespace uart {
inline constexpr int kDivisorLow = 0;   // Out: divisor, low byte
inline constexpr int kDivisorHigh = 1;  // Out: divisor, high byte
inline constexpr int kTx = 2;           // In: status; Out: transmit data
inline constexpr uint8_t kTxBusy = 2;   //   In: transmitter busy
inline constexpr int kEnable = 3;       // Out: 1 enables the UART
inline constexpr int kRxData = 4;       // In: next byte of the receive FIFO
inline constexpr int kRxCount = 5;      // In: bytes waiting (bits 0..6), error pending (bit 7)
inline constexpr uint8_t kRxCountMask = 127;
inline constexpr uint8_t kRxErrorPending = 128;
inline constexpr int kRxStatus = 6;     // In: receive status; Out: commands
inline constexpr uint8_t kRxFraming = 1;     //   In: framing error
inline constexpr uint8_t kRxOverflow = 128;  //   In: a byte was lost at a full FIFO
inline constexpr uint8_t kRxReset = 193;     //   Out: reset the receiver, clear the errors

inline constexpr int kTxFifoSize = 128;
inline constexpr int kRxFifoSize = 127;
inline constexpr int kBitsPerByte = 10;  // start, 8 data, stop

// The UART's clock: the divisor is the number of its periods per bit.
inline constexpr int kClockHz = 125000000;

// The time one byte takes on a line at a baud, in nanoseconds, rounded up
// so that a line is never faster than its speed.
constexpr uint64_t ByteNs(int baud) {
  const uint64_t b = static_cast<uint64_t>(baud > 1 ? baud : 1);
  return (static_cast<uint64_t>(kBitsPerByte) * 1000000000ull + b - 1) / b;
}
// The same for the UART itself, from the divisor it was given.
constexpr uint64_t ByteNsAtDivisor(int divisor) {
  return static_cast<uint64_t>(kBitsPerByte) * static_cast<uint64_t>(divisor) * 1000000000ull /
         kClockHz;
}
// The time the receive FIFO takes to fill at a baud, in microseconds.
constexpr uint64_t FifoFillUs(int baud) {
  return static_cast<uint64_t>(kRxFifoSize) * kBitsPerByte * 1000000ull /
         static_cast<uint64_t>(baud > 1 ? baud : 1);
}
}  // namespace uart

}  // namespace qb7::board
