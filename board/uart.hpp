// Driver of the logic device's UART register block: baud divisor, transmit
// with a bounded busy wait, receive with time-out and error checks. It
// tells no one: each operation returns what it met, and the caller decides
// what the operator hears (the texts below, each in this one place).
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "board/register_port.hpp"
#include "os/clock.hpp"

namespace qb7 {

// What went wrong in one receive.
struct RxErrors {
  bool timeout = false;
  bool pending = false;  // the count register's error bit was set
  bool overflow = false;
  bool framing = false;
  bool Any() const { return timeout || pending; }
  RxErrors& operator|=(const RxErrors& o) {
    timeout |= o.timeout;
    pending |= o.pending;
    overflow |= o.overflow;
    framing |= o.framing;
    return *this;
  }
};

// What one send met. The bytes are written whatever it met, unless the
// board does not answer.
struct TxReport {
  std::size_t tooLong = 0;  // the text's length when it is over 128 bytes, else 0
  bool timedOut = false;    // the transmitter stayed busy through every status read
  std::size_t notSent = 0;  // bytes not written: the board does not answer
};

class Uart {
 public:
  // The texts of what the operations meet, each in one place.
  static constexpr std::string_view kTooLong = "UartSendStr: string too long ";
  static constexpr std::string_view kTxTimeout = "Timout on Wait UartTxStatus";
  static constexpr std::string_view kRxTimeout = "UartRcvStr TimeOut";
  static constexpr std::string_view kRxOverflow = "UartRcvStr Overflow";
  static constexpr std::string_view kRxFraming = "UartRcvStr Framing Error";
  static constexpr std::string_view kBadBaud = "UartInit: baud rate not possible: ";

  static constexpr int kTxPollLimit = 100000;  // status reads 0..limit: 100001 at most
  static constexpr std::size_t kTxLongest = 128;

  // The clock is what a receive waiting for more bytes sleeps on.
  Uart(RegisterPort& board, Clock& clock) : board_(board), clock_(clock) {}

  // Programs the divisor, resets and enables the receiver. False when the
  // baud cannot be expressed as a divisor: the divisor is then left as it
  // was (the reset and the enable still happen).
  bool UartInit(int clock, int baud, int port, int base);
  void UartReset(int port, int base);
  void UartEnable(int port, int base);
  // One busy wait (bounded by a count of reads), then every byte, with the
  // transmit register still selected from the wait: nothing runs between.
  TxReport UartSendStr(int port, int base, std::string_view text);
  void UartRxCount(int port, int base, int& count);
  // The receive count register as it reads, its error bit with it: the same
  // port accesses as UartRxCount.
  int RxCountRegister(int port, int base);
  // Whether the board answers at all: an absent board (not seated, not
  // powered) leaves an open bus, which reads 0xFF at every register. Called
  // when the count register read 0xFF; reads the receive and the transmit
  // status too.
  bool NoAnswer(int port, int base);
  // While the board does not answer, nothing is sent: no busy wait of
  // 100,001 reads for a key that goes nowhere.
  void SetBoardAnswers(bool answers) { answers_ = answers; }
  // Receives up to wanted bytes into text (emptied first), waiting at most
  // timeoutMs of silence (in 10 ms steps on the clock). The receive failed
  // when the result's Any() is true; the bytes that came stay in text.
  RxErrors UartRcvStr(int port, int base, int wanted, int timeoutMs, std::string& text);

  // The divisor for a clock and baud, or -1 when it does not fit 16 bits.
  static int Divisor(int clock, int baud);
  // The texts for what a receive or a send met, in the order they are told.
  static std::vector<std::string> Texts(const RxErrors& errors);
  static std::vector<std::string> Texts(const TxReport& report);

 private:
  RegisterPort& board_;
  Clock& clock_;
  bool answers_ = true;
};

}  // namespace qb7
