// No byte lost at line rate: long bursts from the far end reach "Term.txt"
// complete and in order, in the idle loop and while a macro waits and sends.
#include <gtest/gtest.h>

#include "harness.hpp"
#include "keys/keys.hpp"
#include "sim/pattern.hpp"
#include "session/term_session.hpp"

namespace qb7 {
namespace {

constexpr uint64_t kBurst = 65536;

struct Case {
  int baud;
  bool duringMacro;
};

class LineRate : public ::testing::TestWithParam<Case> {};

TEST_P(LineRate, ABurstReachesTheLogCompleteAndInOrder) {
  const Case c = GetParam();
  test::Bench b(true, c.baud);
  b.folder.Write("Qb7_Uart.cfg", "#COMMODE " + std::to_string(c.baud) + "\n" +
                                     "#F1 \"pattern 65536\" CR W2000 \"version\" CR W2000 $3 W2000\n");
  b.RecordMessages();
  b.frontend.AddKeyAt(1000, "0");
  uint64_t t = 500000;
  if (c.duringMacro) {
    b.frontend.AddKeyAt(t, std::string(keys::KeyF1));
  } else {
    for (char ch : std::string("pattern 65536\r")) b.frontend.AddKeyAt(t += 20000, std::string(1, ch));
  }
  const uint64_t lineTimeUs = kBurst * 10 * 1000000ull / static_cast<uint64_t>(c.baud);
  b.frontend.AddKeyAt(t + lineTimeUs + 8000000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(t + lineTimeUs + 9000000, "q");
  ASSERT_EQ(b.Run(), 0);

  EXPECT_EQ(b.board->overflowEvents(), 0u);
  EXPECT_EQ(b.board->framingEvents(), 0u);
  EXPECT_TRUE(b.messages.empty()) << b.messages[0];
  const std::string log = b.folder.Read("Term.txt");
  const std::string pattern = sim::Pattern(kBurst);
  const auto at = log.find(pattern);
  ASSERT_NE(at, std::string::npos) << "log of " << log.size() << " bytes lacks the pattern";
  EXPECT_EQ(log.substr(0, at), "pattern 65536\r\n");
  if (c.duringMacro) {
    // What the macro sent while the pattern flowed was answered after it.
    EXPECT_NE(log.find("VSC7420 Caracal switch CLI", at + kBurst), std::string::npos);
    EXPECT_NE(log.find("^C", at + kBurst), std::string::npos);
  }
}

// The looks at the FIFO keep their own time while keys are typed: the pause
// after each byte sent looks when the next look is due, never a whole
// interval after it started. On a fast line a look put off that long
// comes when the FIFO is already full.
TEST(LineRateKeys, TypingNeverPutsALookOff) {
  test::Bench b(true, 921600);
  b.folder.Write("Qb7_Uart.cfg", "#COMMODE 921600\n");
  b.RecordMessages();
  b.frontend.AddKeyAt(1000, "1");
  uint64_t t = 300000;
  for (char c : std::string("version\rhelp\r")) b.frontend.AddKeyAt(t += 23000, std::string(1, c));
  b.frontend.AddKeyAt(t + 300000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(t + 400000, "q");
  ASSERT_EQ(b.Run(), 0);
  uint64_t first = 0, last = 0, longest = 0;
  for (const auto& a : b.ports.Register(test::reg::kRxCount)) {
    if (a.write) continue;
    if (a.atUs < 250000 || a.atUs > t + 250000) continue;  // the session only
    if (first == 0) first = a.atUs;
    if (last != 0) longest = std::max(longest, a.atUs - last);
    last = a.atUs;
  }
  ASSERT_NE(first, 0u);
  EXPECT_LE(longest, PollTimingFor(921600).idleUs + 100);
  EXPECT_TRUE(b.messages.empty());
  EXPECT_NE(b.folder.Read("Term.txt").find("Commands:"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Bursts, LineRate,
                         ::testing::Values(Case{115200, false}, Case{921600, false},
                                           Case{115200, true}, Case{921600, true}),
                         [](const auto& info) {
                           return std::to_string(info.param.baud) +
                                  (info.param.duringMacro ? "_DuringMacro" : "_Idle");
                         });

}  // namespace
}  // namespace qb7
