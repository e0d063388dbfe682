// The program thread's one loop: a look at the receive FIFO never runs
// inside another operation (a send, the reset pulse), yet the looks go on
// while a message line, a macro's wait or the reset pulse holds the
// session, read off the port trace as a logic analyser on the bus would;
// and the outbox's pauses and pacing on the virtual clock.
#include <gtest/gtest.h>

#include <csignal>

#include "harness.hpp"
#include "keys/keys.hpp"
#include "os/signal_watch.hpp"
#include "session/external_run.hpp"

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

// The outbox's pauses, as a macro's W waits have them: below 100 ms plain,
// from 100 ms in 50 ms steps that end once a key waits (the key stays), the
// remainder under a step plain.
TEST(Outbox, PausesEndAsTheyShouldWithAndWithoutAKey) {
  struct Row {
    int64_t ms;
    uint64_t keyAtUs;  // 0: none
    uint64_t endsAtUs;
  };
  const Row rows[] = {
      {99, 10000, 99000},     // short: not shortened by a key
      {1000, 120000, 150000},  // long: ends at the next step after the key
      {120, 0, 120000},        // long without a key: in full, with its remainder
      {0, 0, 0},
  };
  for (const Row& r : rows) {
    test::Bench b(false);
    if (r.keyAtUs != 0) b.frontend.AddKeyAt(r.keyAtUs, "k");
    b.loop().outbox.Pause(r.ms);
    ASSERT_TRUE(b.TurnUntil([&] { return !b.loop().outbox.Busy(); })) << r.ms;
    EXPECT_EQ(b.clock.NowUs(), r.endsAtUs) << r.ms;
    if (r.keyAtUs != 0) {
      EXPECT_EQ(b.console.ReadKey(), "k") << "the key stays";
    }
  }
}

TEST(Outbox, EachByteGetsItsOwnWaitAnd10ms) {
  test::Bench b(false);
  b.loop().outbox.UartSendSlow("ab");
  ASSERT_TRUE(b.Settle());
  EXPECT_EQ(b.ports.log,
            (std::vector<test::PortAccess>{test::W(test::kIndex, reg::kTx), test::R(test::kData, 0), test::W(test::kData, 'a'),
                                           test::W(test::kIndex, reg::kTx), test::R(test::kData, 0), test::W(test::kData, 'b')}));
  EXPECT_GE(b.clock.NowUs(), 20000u);
  EXPECT_LT(b.clock.NowUs(), 20100u);
  EXPECT_GE(b.ports.log[3].atUs - b.ports.log[2].atUs, 10000u);
  EXPECT_LT(b.ports.log[3].atUs - b.ports.log[2].atUs, 10100u);
}

TEST(Outbox, AStuckTransmitterIsToldAfterItsByteAndThePaceFollowsTheAnswer) {
  test::Bench b(false);
  b.ports.readScript = [](int) { return reg::kTxBusy; };
  b.RecordMessages(true);  // each answered as soon as it shows
  b.loop().outbox.UartSendSlow("ab");
  ASSERT_TRUE(b.Settle());
  EXPECT_EQ(b.ports.Transmitted(), "ab");
  EXPECT_EQ(b.messages, (std::vector<std::string>{"Timout on Wait UartTxStatus",
                                                  "Timout on Wait UartTxStatus"}));
  // The second byte waits for the first one's message to be answered (its
  // key looked for 10 ms after it shows), then its 10 ms, then its own
  // 100,001 status reads.
  std::vector<uint64_t> sent;
  for (const auto& a : b.ports.Register(reg::kTx))
    if (a.write) sent.push_back(a.atUs);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_GE(sent[1] - sent[0], 120000u);
}

// A terminal that never gives itself up (stuck writing to a terminal that
// stopped reading, for good) holds up the loan, not the program: a
// terminating signal still ends it. In a child process, as the signal's
// flag stays set once raised.
class NeverLends final : public Frontend {
 public:
  void CollectKeys(KeyQueue&, uint64_t, bool) override {}
  void Present(const Frame&) override {}
  void Bell() override {}
  void WantAnswer(AnswerMode) override {}
  KeyCode TakeAnswer(KeyQueue&) override { return {}; }
  void Lend() override {}
  void TakeBack() override {}
  bool LoanSettled() const override { return false; }
};

TEST(ExternalRunDeathTest, ATerminatingSignalEndsTheProgramWhileTheLoanWaits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        VirtualClock clock;
        NeverLends frontend;
        Console console(frontend, clock);
        Files files("/tmp");
        test::RecordingPorts ports(nullptr, clock);
        InlineLogWriter log;
        Machine machine(console, files, ports, log);
        ExternalRun run(machine);
        run.Start("true");
        for (int i = 0; i < 10; ++i) {
          run.Step();  // waits for the loan, as a state: returns at once
          clock.Advance(ExternalRun::kLookUs);
        }
        SignalWatch::Install();
        std::raise(SIGTERM);
        try {
          for (int i = 0; i < 10; ++i) run.Step();
        } catch (const ProgramExit& e) {
          std::_Exit(e.status == 128 + SIGTERM && run.Active() ? 0 : 1);
        }
        std::_Exit(2);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace qb7
