#include <gtest/gtest.h>

#include <algorithm>

#include "harness.hpp"
#include "sim/console_far_end.hpp"

namespace qb7 {
namespace {

using test::Bench;
using test::kData;
using test::kIndex;
using test::R;
using test::W;
namespace reg = test::reg;

constexpr int kClock = board::uart::kClockHz;

// The UART on a recording port with scripted reads (no board behind it).
struct UartBench : Bench {
  UartBench() : Bench(false) {}
  Uart& uart() { return machine.uart; }
};

TEST(UartInit, ProgramsDivisorThenResetThenEnableInThatOrder) {
  UartBench b;
  EXPECT_TRUE(b.uart().UartInit(kClock, 115200, kData, 0));
  EXPECT_EQ(b.ports.Writes(),
            (std::vector<test::PortAccess>{W(kIndex, reg::kDivisorLow), W(kData, 0x3D),
                                           W(kIndex, reg::kDivisorHigh), W(kData, 0x04),
                                           W(kIndex, reg::kRxStatus), W(kData, 193),
                                           W(kIndex, reg::kEnable), W(kData, 1)}));
  EXPECT_EQ(Uart::Divisor(125000000, 115200), 1085);
  EXPECT_EQ(Uart::Divisor(125000000, 9600), 13021);
}

TEST(UartInit, ImpossibleBaudRatesLeaveTheDivisorAndSaySo) {
  for (int baud : {0, -9600, 1000, 300000000}) {
    UartBench b;
    EXPECT_FALSE(b.uart().UartInit(kClock, baud, kData, 0)) << baud;
    // Only the reset and the enable reach the UART.
    EXPECT_EQ(b.ports.Writes(),
              (std::vector<test::PortAccess>{W(kIndex, reg::kRxStatus), W(kData, 193),
                                             W(kIndex, reg::kEnable), W(kData, 1)}))
        << baud;
  }
  EXPECT_EQ(Uart::Divisor(125000000, 1908), 65514);
  EXPECT_EQ(Uart::Divisor(125000000, 1907), -1);
}

TEST(UartInit, RegisterNumbersAndValuesReachThePortsAsLowBytes) {
  UartBench b;
  b.uart().UartEnable(0x10000 + kData, 0x100 + 2);  // port's low 16 bits, index's low 8
  EXPECT_EQ(b.ports.Writes(), (std::vector<test::PortAccess>{W(kIndex, 2 + reg::kEnable),
                                                             W(kData, 1)}));
}

TEST(UartSendStr, A128ByteTextGoesWithoutAWordAnd129IsToldAndStillSent) {
  UartBench b;
  const TxReport fits = b.uart().UartSendStr(kData, 0, std::string(128, 'a'));
  EXPECT_EQ(b.ports.Transmitted(), std::string(128, 'a'));
  EXPECT_TRUE(Uart::Texts(fits).empty());

  UartBench c;
  const TxReport tooLong = c.uart().UartSendStr(kData, 0, std::string(129, 'b'));
  EXPECT_EQ(c.ports.Transmitted(), std::string(129, 'b'));
  EXPECT_EQ(Uart::Texts(tooLong), std::vector<std::string>{"UartSendStr: string too long 129"});
}

TEST(UartSendStr, AStuckTransmitterGetsExactly100001ReadsThenTheBytesThenOneWord) {
  UartBench b;
  b.ports.readScript = [](int) { return reg::kTxBusy; };
  const TxReport report = b.uart().UartSendStr(kData, 0, "hi");
  EXPECT_EQ(b.ports.Reads(reg::kTx), 100001);
  EXPECT_EQ(Uart::Texts(report), std::vector<std::string>{"Timout on Wait UartTxStatus"});
  // The bytes are written anyway, right after the wait, with the transmit
  // register still selected: nothing runs between.
  const auto& log = b.ports.log;
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 2], W(kData, 'h'));
  EXPECT_EQ(log.back(), W(kData, 'i'));
  EXPECT_EQ(b.ports.Register(reg::kTx).back().reg, reg::kTx);
}

TEST(UartSendStr, EmptyTextStillWaitsAndWritesNothing) {
  UartBench b;
  b.uart().UartSendStr(kData, 0, "");
  EXPECT_EQ(b.ports.log, (std::vector<test::PortAccess>{W(kIndex, reg::kTx), R(kData, 0)}));
}

// A receive FIFO for scripted reads: count register, data, status.
struct FifoScript {
  std::string data;
  uint8_t countFlags = 0;
  uint8_t status = 0;
  uint8_t Read(int r) {
    if (r == reg::kRxCount) return static_cast<uint8_t>(data.size() | countFlags);
    if (r == reg::kRxData) {
      uint8_t b = static_cast<uint8_t>(data[0]);
      data.erase(0, 1);
      return b;
    }
    if (r == reg::kRxStatus) return status;
    return 0;
  }
};

struct RxBench : UartBench {
  RxBench() {
    ports.readScript = [this](int r) { return fifo.Read(r); };
  }
  FifoScript fifo;
  std::string text;
};

TEST(UartRcvStr, ErrorPendingReadsTheBytesThenReportsResetsAndFails) {
  RxBench b;
  b.fifo.data = "hello";
  b.fifo.countFlags = reg::kRxErrorPending;
  b.fifo.status = reg::kRxOverflow | reg::kRxFraming;
  int count = 0;
  b.uart().UartRxCount(kData, 0, count);
  EXPECT_EQ(count, 5);
  const RxErrors errors = b.uart().UartRcvStr(kData, 0, 5, 1000, b.text);
  EXPECT_EQ(Uart::Texts(errors),
            (std::vector<std::string>{"UartRcvStr Overflow", "UartRcvStr Framing Error"}));
  EXPECT_EQ(b.text, "hello");
  EXPECT_TRUE(errors.Any());
  // Status read, then the reset command.
  auto& log = b.ports.log;
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[log.size() - 4], W(kIndex, reg::kRxStatus));
  EXPECT_EQ(log[log.size() - 3], R(kData, 0x81));
  EXPECT_EQ(log[log.size() - 2], W(kIndex, reg::kRxStatus));
  EXPECT_EQ(log[log.size() - 1], W(kData, reg::kRxReset));
}

TEST(UartRcvStr, AnErrorBitWithNeitherCauseStillResetsAndFails) {
  RxBench b;
  b.fifo.data = "ab";
  b.fifo.countFlags = reg::kRxErrorPending;
  b.fifo.status = 0;
  const RxErrors errors = b.uart().UartRcvStr(kData, 0, 2, 1000, b.text);
  EXPECT_TRUE(errors.Any());
  EXPECT_TRUE(Uart::Texts(errors).empty());
  EXPECT_EQ(b.ports.Written(reg::kRxStatus), std::string(1, static_cast<char>(reg::kRxReset)));
}

TEST(UartRcvStr, TakesOnlyWhatIsWanted) {
  RxBench b;
  b.fifo.data = "12345";
  EXPECT_FALSE(b.uart().UartRcvStr(kData, 0, 3, 1000, b.text).Any());
  EXPECT_EQ(b.text, "123");
  EXPECT_EQ(b.fifo.data, "45");
}

TEST(UartRcvStr, NoDataTimesOutAfter101ReadsAnd100Pauses) {
  RxBench b;
  const RxErrors errors = b.uart().UartRcvStr(kData, 0, 4, 1000, b.text);
  EXPECT_EQ(Uart::Texts(errors), std::vector<std::string>{"UartRcvStr TimeOut"});
  EXPECT_EQ(b.ports.Reads(reg::kRxCount), 101);
  EXPECT_TRUE(errors.Any());
  EXPECT_EQ(b.text, "");
  // 100 pauses of 10 ms (plus the port cycles).
  EXPECT_EQ(b.ports.log.back().atUs / 10000, 100u);
}

TEST(UartRcvStr, TimeoutZeroMeansOneRead) {
  RxBench b;
  EXPECT_TRUE(b.uart().UartRcvStr(kData, 0, 4, 0, b.text).timeout);
  EXPECT_EQ(b.ports.Reads(reg::kRxCount), 1);
}

TEST(UartRcvStr, WantedZeroReadsNothing) {
  RxBench b;
  b.fifo.data = "abc";
  EXPECT_FALSE(b.uart().UartRcvStr(kData, 0, 0, 1000, b.text).Any());
  EXPECT_EQ(b.text, "");
  EXPECT_EQ(b.fifo.data, "abc");
}

TEST(UartRcvStr, SilenceIsCountedNotTotalTime) {
  RxBench b;
  // Bytes keep trickling in: one every 500 ms; the 1000 ms time-out never hits.
  int polls = 0;
  b.ports.readScript = [&](int r) -> uint8_t {
    if (r == reg::kRxCount && ++polls % 50 == 0) b.fifo.data += "z";
    return b.fifo.Read(r);
  };
  EXPECT_FALSE(b.uart().UartRcvStr(kData, 0, 4, 1000, b.text).Any());
  EXPECT_EQ(b.text, "zzzz");
}

}  // namespace
}  // namespace qb7

namespace qb7 {
namespace {

TEST(UartOnTheBoard, HelpSentSlowlyOnRouteZeroIsAnsweredByTheSwitchConsole) {
  test::Bench b;  // the simulated board behind the ports
  Uart& uart = b.machine.uart;
  b.machine.board.WriteRegister(board::kRouteRegister, 0);
  uart.UartInit(kClock, 115200, kData, 0);
  std::string reply, text;
  const auto look = [&] {
    int count = 0;
    uart.UartRxCount(kData, 0, count);
    if (count > 0) {
      EXPECT_FALSE(uart.UartRcvStr(kData, 0, count, 1000, text).Any());
      reply += text;
    }
  };
  for (char c : std::string("help\r")) {
    uart.UartSendStr(kData, 0, std::string(1, c));
    b.clock.Advance(10000);
    look();
  }
  for (int i = 0; i < 20; ++i) {
    b.clock.Advance(10000);
    look();
  }
  EXPECT_EQ(reply, "help\r\n" + sim::ConsoleFarEnd::HelpText() + "vsc7420# ");
}

}  // namespace
}  // namespace qb7
