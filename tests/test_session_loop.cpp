// The program thread's one loop: a look at the receive FIFO never runs
// inside another operation (a send, the reset pulse), yet the looks go on
// while a message line, a macro's wait or the reset pulse holds the
// session. Read off the port trace, as a logic analyser on the bus would.
#include <gtest/gtest.h>

#include "harness.hpp"
#include "keys/keys.hpp"

namespace qb7 {
namespace {

namespace reg = test::reg;

// A send is one unit on the bus: the transmit register selected, its
// status read until the transmitter is free, the byte written, nothing
// selected in between. (A register selected again just before the byte,
// with no wait of its own, is the mark of a look run inside the send.)
void ExpectSendsUninterrupted(const std::vector<test::PortAccess>& log) {
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (!(log[i].write && log[i].reg == reg::kTx)) continue;
    std::size_t j = i;
    int waits = 0;
    while (j > 0 && !(log[j - 1].write && log[j - 1].port == test::kIndex)) {
      --j;
      if (!log[j].write && log[j].reg == reg::kTx) ++waits;
    }
    ASSERT_GT(j, 0u);
    EXPECT_EQ(log[j - 1].value, reg::kTx) << "a byte sent at access " << i
                                          << " with another register selected since its wait";
    EXPECT_GE(waits, 1) << "the byte at access " << i << " follows a selection with no wait";
  }
}

TEST(ProgramLoop, NoLookRunsInsideASendThoughTheLooksGoOnWhileItsMessageWaits) {
  // A transmitter that stays busy: every byte costs 100,001 status reads
  // and a message line, answered after half a second.
  test::Bench b(false);
  b.folder.Write("Qb7_Uart.cfg", "' nothing\n");
  b.RecordMessages();
  b.ports.readScript = [](int r) -> uint8_t { return r == reg::kTx ? reg::kTxBusy : 0; };
  b.frontend.AddKeyAt(1000, "2");
  b.frontend.AddKeyAt(100000, "a");
  b.frontend.AddKeyAt(800000, "x");  // answers the message
  b.frontend.AddKeyAt(1000000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(1100000, "q");
  ASSERT_EQ(b.Run(), 0);
  EXPECT_EQ(b.messages, std::vector<std::string>{"Timout on Wait UartTxStatus"});
  EXPECT_EQ(b.ports.Transmitted(), "a");
  ExpectSendsUninterrupted(b.ports.log);
  // The looks went on while the message waited for its key: reads of the
  // count register between the byte and the answer.
  int looks = 0;
  for (const auto& a : b.ports.log)
    if (a.reg == reg::kRxCount && !a.write && a.atUs > 250000 && a.atUs < 800000) ++looks;
  EXPECT_GT(looks, 50);
}

TEST(ProgramLoop, TheResetPulseAndAMacrosWaitAreStatesTheLooksRunThrough) {
  // Ctrl-R: the session on route 0, the reset pulsed after its first look;
  // then a macro with a wait, while the switch's boot streams in.
  test::Bench b;
  b.folder.Write("Qb7_Uart.cfg", "#F1 \"help\" W300 CR\n");
  b.RecordMessages(true);
  b.frontend.AddKeyAt(1000, "\x12");
  b.frontend.AddKeyAt(500000, std::string(keys::KeyF1));
  b.frontend.AddKeyAt(4000000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(4100000, "q");
  ASSERT_EQ(b.Run(), 0);
  ExpectSendsUninterrupted(b.ports.log);
  // The pulse: 1, then 0 at least 10 ms later, each written right after its
  // register's selection, with looks between them.
  const auto& log = b.ports.log;
  std::vector<std::size_t> resets;
  for (std::size_t i = 0; i < log.size(); ++i)
    if (log[i].write && log[i].reg == board::kResetRegister) resets.push_back(i);
  ASSERT_EQ(resets.size(), 2u);
  EXPECT_EQ(log[resets[0]].value, 1);
  EXPECT_EQ(log[resets[1]].value, 0);
  EXPECT_GE(log[resets[1]].atUs - log[resets[0]].atUs, 10000u);
  for (std::size_t r : resets) EXPECT_EQ(log[r - 1], test::W(test::kIndex, board::kResetRegister));
  int looks = 0;
  for (std::size_t i = resets[0]; i < resets[1]; ++i)
    if (log[i].reg == reg::kRxCount && !log[i].write) ++looks;
  EXPECT_GE(looks, 1);
  EXPECT_TRUE(b.messages.empty());
  EXPECT_EQ(b.ports.Transmitted(), "help\r");
}

}  // namespace
}  // namespace qb7
