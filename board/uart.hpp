// Driver of the logic device's UART register block: baud divisor, transmit
// with a bounded busy wait, paced transmit, receive with time-out and error
// checks. Trouble is reported on the message line.
#pragma once
#include <string>
#include <string_view>

#include "board/register_port.hpp"
#include "console/console.hpp"

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

class Uart {
 public:
  // The message texts, each in one place.
  static constexpr std::string_view kTooLong = "UartSendStr: string too long ";
  static constexpr std::string_view kTxTimeout = "Timout on Wait UartTxStatus";
  static constexpr std::string_view kRxTimeout = "UartRcvStr TimeOut";
  static constexpr std::string_view kRxOverflow = "UartRcvStr Overflow";
  static constexpr std::string_view kRxFraming = "UartRcvStr Framing Error";
  static constexpr std::string_view kBadBaud = "UartInit: baud rate not possible: ";

  static constexpr int kTxPollLimit = 100000;  // status reads 0..limit: 100001 at most

  // port and base are the program-wide data port and UART base, used by
  // UartSendSlow; the other operations take them as arguments.
  Uart(RegisterPort& board, Console& console, const int& port, const int& base)
      : board_(board), console_(console), port_(port), base_(base) {}

  void UartInit(int clock, int baud, int port, int base);
  void UartReset(int port, int base);
  void UartEnable(int port, int base);
  void UartSendStr(int port, int base, std::string_view text);
  void UartSendSlow(std::string_view text);
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
  // 100,001 reads, no message, for a key that goes nowhere.
  void SetBoardAnswers(bool answers) { answers_ = answers; }
  // Receives up to wanted bytes into text (emptied first). failed is 1 after
  // a time-out or a receive error, else 0. quiet suppresses the messages.
  void UartRcvStr(int port, int base, int wanted, int timeout, std::string& text, int quiet,
                  int& failed);
  // The same receive, with the same port accesses, telling no one: the
  // errors are returned, for a caller that tells them when the operator
  // can read them.
  RxErrors UartReceive(int port, int base, int wanted, int timeout, std::string& text);
  // The message line for each error, in the order UartRcvStr shows them.
  void TellReceiveErrors(const RxErrors& errors);

  // The divisor for a clock and baud, or -1 when it does not fit 16 bits.
  static int Divisor(int clock, int baud);

 private:
  RxErrors Receive(int port, int base, int wanted, int timeout, std::string& text, bool tell);

  RegisterPort& board_;
  Console& console_;
  const int& port_;
  const int& base_;
  bool answers_ = true;
};

}  // namespace qb7
