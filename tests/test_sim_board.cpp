#include <gtest/gtest.h>

#include "harness.hpp"
#include "sim/console_far_end.hpp"
#include "sim/pattern.hpp"
#include "sim/pty_far_end.hpp"

namespace qb7 {
namespace {

using sim::SimulatedBoard;

using test::kAux;
using test::kData;
using test::kIndex;
using namespace test::reg;
constexpr int kRoute = board::kRouteRegister, kReset = board::kResetRegister;

// Drives the board at port level, as the driver would.
struct BoardBench {
  explicit BoardBench(int lineBaud = 115200) : board(clock, lineBaud) {}
  void Set(int reg, int v) {
    board.Write(kIndex, static_cast<uint8_t>(reg));
    board.Write(kData, static_cast<uint8_t>(v));
  }
  int Get(int reg) {
    board.Write(kIndex, static_cast<uint8_t>(reg));
    return board.Read(kData);
  }
  void Init(int divisor) {
    Set(kDivisorLow, divisor & 255);
    Set(kDivisorHigh, divisor >> 8);
    Set(kRxStatus, kRxReset);
    Set(kEnable, 1);
  }
  void Wait(uint64_t us) {
    clock.Advance(us);
    board.Advance();
  }
  std::string ReadAll() {
    std::string s;
    int n = Get(kRxCount) & kRxCountMask;
    board.Write(kIndex, kRxData);
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(board.Read(kData)));
    return s;
  }
  sim::Outbox& Far(int route) { return board.FarEndOn(route)->outbox(); }

  VirtualClock clock;
  SimulatedBoard board;
};

TEST(SimulatedBoard, BytesArriveAtTheLineRateAndNoFaster) {
  BoardBench b;
  b.Init(1085);
  b.Set(kRoute, 2);  // J27: nothing attached, so only what the test sends
  b.Far(2).SendPattern(20, b.clock.NowUs());
  // 10 bits at 115200 baud: 86.8 us a byte.
  const uint64_t t0 = b.clock.NowUs();
  b.Wait(868 - 10);
  EXPECT_EQ(b.board.rxWaiting(), 9u);
  b.Wait(t0 + 869 - b.clock.NowUs());
  EXPECT_EQ(b.board.rxWaiting(), 10u);
  EXPECT_EQ(b.ReadAll(), sim::Pattern(10));
}

TEST(SimulatedBoard, AnUndrainedFifoOverflowsAtThe128thByte) {
  BoardBench b;
  b.Init(1085);
  b.Set(kRoute, 2);
  b.Far(2).SendPattern(127, b.clock.NowUs());
  b.Wait(20000);
  EXPECT_EQ(b.Get(kRxCount), 127);
  EXPECT_EQ(b.Get(kRxStatus), 0);
  b.Far(2).SendPattern(1, b.clock.NowUs());
  b.Wait(1000);
  EXPECT_EQ(b.Get(kRxCount), 127 | kRxErrorPending);
  EXPECT_EQ(b.Get(kRxStatus), kRxOverflow);
  EXPECT_EQ(b.board.overflowEvents(), 1u);
  // The reset command clears the flags and empties the FIFO.
  b.Set(kRxStatus, kRxReset);
  EXPECT_EQ(b.Get(kRxCount), 0);
  EXPECT_EQ(b.Get(kRxStatus), 0);
}

// Each overflow is put down to whoever let it happen, measured from the
// last look that took what it found.
struct StreamingBoard : BoardBench {
  StreamingBoard() : BoardBench(921600) {
    Init(136);  // 921600 baud: 10.88 us a byte, 127 bytes in 1.38 ms
    Set(kRoute, 2);
    Far(2).SendPattern(1000000, clock.NowUs());
  }
  // A look as the session makes it: the count, then that many bytes.
  void Look(int take = -1) {
    const int n = Get(kRxCount) & kRxCountMask;
    board.Write(kIndex, kRxData);
    for (int i = 0; i < (take < 0 ? n : take); ++i) board.Read(kData);
  }
};

TEST(SimulatedBoard, AnOverflowIsTheMachinesWhenTheLookThatTookBytesCameTooLongBefore) {
  StreamingBoard b;
  for (int i = 0; i < 20; ++i) {
    b.Look();
    b.Wait(344);
  }
  EXPECT_EQ(b.board.overflowEvents(), 0u);
  // Held off between a look's count and its bytes for 1.2 ms, less than
  // the FIFO lasts: the count read after it finds the overflow soon after
  // the count before, yet the bytes were last taken 1.5 ms before.
  b.Get(kRxCount);
  b.Wait(1200);
  EXPECT_NE(b.Get(kRxCount) & kRxErrorPending, 0);
  EXPECT_EQ(b.board.report().machineOverflows, 1u);
  EXPECT_EQ(b.board.report().programOverflows, 0u);
}

TEST(SimulatedBoard, AnOverflowBegunBetweenALooksCountAndItsDataIsTheMachines) {
  StreamingBoard b;
  b.Look();
  b.Wait(600);  // about 55 bytes wait
  // Held off 800 us between the count and the bytes: the FIFO fills and
  // overflows meanwhile, yet the next count comes 1.1 ms after this one,
  // sooner than the FIFO lasts.
  const int n = b.Get(kRxCount) & kRxCountMask;
  b.Wait(800);
  b.board.Write(kIndex, kRxData);
  for (int i = 0; i < n; ++i) b.board.Read(kData);
  b.Wait(300);
  EXPECT_NE(b.Get(kRxCount) & kRxErrorPending, 0);
  EXPECT_EQ(b.board.report().machineOverflows, 1u);
  EXPECT_EQ(b.board.report().programOverflows, 0u);
}

TEST(SimulatedBoard, AnOverflowIsTheProgramsWhenItLeftBytesBehind) {
  StreamingBoard b;
  b.Wait(1000);  // about 92 bytes wait
  b.Look(10);    // a look that takes only ten of them
  b.Wait(500);
  b.Look();
  EXPECT_EQ(b.board.report().programOverflows, 1u);
  EXPECT_EQ(b.board.report().machineOverflows, 0u);
}

TEST(SimulatedBoard, ASpeedMismatchGivesFramingErrors) {
  BoardBench b(115200);
  b.Init(125000000 / 9600);  // the UART at 9600, the line at 115200
  b.Set(kRoute, 2);
  b.Far(2).Send("abc", b.clock.NowUs());
  b.Wait(5000);
  EXPECT_EQ(b.Get(kRxCount), 3 | kRxErrorPending);
  EXPECT_EQ(b.Get(kRxStatus) & kRxFraming, kRxFraming);
  EXPECT_NE(b.ReadAll(), "abc");
  // Within 3% there is no error: 115200 against a divisor of 1100 (113636).
  BoardBench c(115200);
  c.Init(1100);
  c.Set(kRoute, 2);
  c.Far(2).Send("abc", c.clock.NowUs());
  c.Wait(5000);
  EXPECT_EQ(c.Get(kRxCount), 3);
  EXPECT_EQ(c.ReadAll(), "abc");
}

TEST(SimulatedBoard, BusyBitClearsAfterTheLineTimeOfTheBytesWritten) {
  BoardBench b;
  b.Init(1085);  // 86.8 us a byte
  b.board.Write(kIndex, kTx);
  b.board.Write(kData, 'a');
  const uint64_t first = b.clock.NowUs();  // three bytes: done 260.4 us later
  b.board.Write(kData, 'b');
  b.board.Write(kData, 'c');
  EXPECT_EQ(b.board.Read(kData) & 2, 2);
  b.Wait(first + 259 - b.clock.NowUs());
  EXPECT_EQ(b.board.Read(kData) & 2, 2);  // read at +260 us
  EXPECT_EQ(b.board.Read(kData) & 2, 0);  // read at +261 us
}

TEST(SimulatedBoard, NothingMovesBeforeTheUartIsEnabled) {
  BoardBench b;
  b.Set(kRoute, 1);
  b.Set(kTx, 'x');
  EXPECT_EQ(b.board.txWaiting(), 0u);
  b.Far(1).Send("lost", 0);
  b.Wait(10000);
  EXPECT_EQ(b.Get(kRxCount), 0);
}

TEST(SimulatedBoard, PortAccessesCostOneMicrosecondEach) {
  BoardBench b;
  b.board.Read(kData);
  b.board.Write(kIndex, kRxCount);
  b.board.Write(kAux, 0);
  EXPECT_EQ(b.clock.NowUs(), 3u);
  EXPECT_EQ(b.board.auxWrites(), 1);
}

TEST(SimulatedBoard, TheResetPulseStartsTheBootLogOnTheSwitchConsole) {
  BoardBench b;
  b.Init(1085);
  b.Set(kRoute, 0);
  b.Set(kReset, 1);
  EXPECT_TRUE(b.board.inReset());
  b.Wait(10000);
  b.Set(kReset, 0);
  b.Wait(20000);
  std::string log = b.ReadAll();
  EXPECT_NE(log.find("Reset cause"), std::string::npos);
  EXPECT_NE(log.find("\x1b["), std::string::npos);  // in colour
}

TEST(SimulatedBoard, ConsolesEchoAnswerCommandsAndCtrlC) {
  BoardBench b;
  b.Init(1085);
  b.Set(kRoute, 3);
  std::string got;
  for (char c : std::string("version\r")) {
    b.Set(kTx, c);
    b.Wait(10000);
    got += b.ReadAll();
  }
  b.Wait(20000);
  got += b.ReadAll();
  EXPECT_EQ(got, "version\r\nDK22S module console, version 2.0 (simulated QB7 board)\r\nDK22S> ");
  b.Set(kTx, 3);
  b.Wait(10000);
  EXPECT_EQ(b.ReadAll(), "^C\r\nDK22S> ");
}

TEST(SimulatedBoard, OnlyTheRoutedLineReachesTheUart) {
  BoardBench b;
  b.Init(1085);
  b.Set(kRoute, 1);
  b.Far(3).Send("not me", b.clock.NowUs());
  b.Far(1).Send("me", b.clock.NowUs());
  b.Wait(5000);
  EXPECT_EQ(b.ReadAll(), "me");
}

TEST(SimulatedBoard, APtyProgramIsTheFarEnd) {
  VirtualClock clock;
  SimulatedBoard board(clock);
  std::string why;
  auto cat = sim::PtyFarEnd::Start("cat", 115200, why);
  ASSERT_TRUE(cat) << why;
  auto* far = cat.get();
  board.Attach(2, std::move(cat));
  auto set = [&](int reg, int v) {
    board.Write(kIndex, static_cast<uint8_t>(reg));
    board.Write(kData, static_cast<uint8_t>(v));
  };
  set(kDivisorLow, 0x3D);
  set(kDivisorHigh, 4);
  set(kEnable, 1);
  set(kRoute, 2);
  for (char c : std::string("ping\x01\xff")) {
    set(kTx, static_cast<uint8_t>(c));
    clock.Advance(200);
  }
  std::string got;
  for (int i = 0; i < 400 && got.size() < 6; ++i) {
    usleep(5000);
    clock.Advance(2000);
    board.Write(kIndex, kRxCount);
    int n = board.Read(kData) & kRxCountMask;
    board.Write(kIndex, kRxData);
    for (int k = 0; k < n; ++k) got.push_back(static_cast<char>(board.Read(kData)));
  }
  EXPECT_EQ(got, std::string("ping\x01\xff"));  // raw: every byte unchanged
  EXPECT_TRUE(far->running());
}

}  // namespace
}  // namespace qb7

namespace qb7 {
namespace {

TEST(SimulatedBoard, AFastProgramIsHeldBackNotBufferedWithoutEnd) {
  std::string why;
  auto flood = sim::PtyFarEnd::Start("cat /dev/zero", 115200, why);
  ASSERT_TRUE(flood) << why;
  for (int i = 0; i < 200; ++i) {
    flood->Poll(0);
    usleep(500);
  }
  EXPECT_GE(flood->outbox().Waiting(), 16384u);
  EXPECT_LE(flood->outbox().Waiting(), 16384u + 4096u);
}

}  // namespace
}  // namespace qb7
