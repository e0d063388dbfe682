// Saying why: a board that does not answer (absent, or gone for a while),
// and the counts of what the line brought beside the status line.
#include <gtest/gtest.h>

#include "harness.hpp"
#include "keys/keys.hpp"

namespace qb7 {
namespace {

constexpr std::string_view kNoAnswer =
    "No answer from the QB7 board at 0x352 (every register reads 0xFF): is it seated and powered?";

struct J27 : test::Bench {
  J27() {
    folder.Write("Qb7_Uart.cfg", "' nothing\n");
    RecordMessages(true);
    frontend.AddKeyAt(1000, "2");
  }
  sim::Outbox& Far() { return board->FarEndOn(2)->outbox(); }
  // Everything the screen showed in one string, row by row.
  std::string Shown() const {
    std::string all;
    for (int r = 1; r <= Screen::kRows; ++r) all += Text(r) + "\n";
    return all;
  }
};

TEST(BoardAnswers, ABoardThatIsNotThereIsNamedAndNothingOfItLogged) {
  J27 b;
  b.board->SetAbsent(0, UINT64_MAX);
  b.frontend.AddKeyAt(500000, "x");  // a key: nothing to send it to
  std::string shown;
  b.frontend.AddActionAt(900000, [&] { shown = b.Shown(); });
  b.frontend.AddKeyAt(1000000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(1100000, "q");
  const std::size_t before = b.ports.log.size();
  ASSERT_EQ(b.Run(), 0);
  // Told once, on the screen; no message line to answer, no garbage.
  EXPECT_TRUE(b.messages.empty()) << testing::PrintToString(b.messages);
  EXPECT_NE(shown.find(std::string(kNoAnswer).substr(0, 79)), std::string::npos) << shown;
  EXPECT_EQ(shown.find('\xff'), std::string::npos);
  EXPECT_EQ(b.folder.Read("Term.txt"), "");
  EXPECT_NE(b.folder.Read("Term.times").find(std::string(kNoAnswer)), std::string::npos);
  // No key is sent into an open bus: no 100,001-read waits, no "Timout".
  EXPECT_EQ(b.ports.Transmitted(), "");
  EXPECT_LT(b.ports.Reads(board::kUartBase + test::reg::kTx), 1000);
  (void)before;
}

TEST(BoardAnswers, ABoardBackFromAPowerCycleIsToldAndWorksAgain) {
  J27 b;
  b.board->SetAbsent(1000000, 2000000);
  b.Far().Send("before\r\n", 500000);
  b.Far().Send("after\r\n", 3000000);
  std::string shown;
  b.frontend.AddActionAt(3500000, [&] { shown = b.Shown(); });
  b.frontend.AddKeyAt(3600000, "v");  // sent again once the board answers
  b.frontend.AddKeyAt(4000000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(4100000, "q");
  ASSERT_EQ(b.Run(), 0);
  EXPECT_TRUE(b.messages.empty()) << testing::PrintToString(b.messages);
  EXPECT_NE(shown.find("The QB7 board at 0x352 answers again"), std::string::npos) << shown;
  // The route and the UART set again after the power cycle cleared them.
  EXPECT_EQ(b.board->route(), 0);  // Q left route 0
  EXPECT_EQ(b.folder.Read("Term.txt"), "before\r\nafter\r\n");
  EXPECT_EQ(b.ports.Transmitted(), "v");
}

// A paste across a power cycle: what came to be sent while the board did not
// answer was not written, and that is said, to the byte, when it answers
// again, on the screen and in Term.times; the rest of the paste goes on.
TEST(BoardAnswers, WhatCouldNotBeSentWhileTheBoardWasGoneIsToldToTheByte) {
  J27 b;
  b.board->SetAbsent(1000000, 2800000);
  std::string paste;
  for (int i = 0; i < 1000; ++i) paste += static_cast<char>('a' + i % 26);
  b.frontend.AddPasteAt(500000, paste);
  std::string shown;
  b.frontend.AddActionAt(3500000, [&] { shown = b.Shown(); });
  b.frontend.AddKeyAt(12000000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(12100000, "q");
  ASSERT_EQ(b.Run(), 0);
  const std::size_t written = b.ports.Transmitted().size();
  EXPECT_LT(written, 1000u);
  const std::string told = "Not sent while the board did not answer: " +
                           std::to_string(1000 - written) + " bytes";
  EXPECT_NE(shown.find(told), std::string::npos) << shown;
  EXPECT_NE(b.folder.Read("Term.times").find(told), std::string::npos);
  // Written: the paste's beginning and end, in order, its middle missing.
  EXPECT_EQ(b.ports.Transmitted().substr(0, 40), paste.substr(0, 40));
  EXPECT_EQ(b.ports.Transmitted().substr(written - 40), paste.substr(960));
}

TEST(BoardAnswers, TheCountsBesideTheStatusLineAreWhatTheLineBrought) {
  J27 b;
  // A byte every 10 ms; three framing errors and two overflows among them,
  // each found by a look of its own with the byte after it (an error with
  // nothing received is seen with the next bytes).
  for (int k = 0; k < 31; ++k) b.Far().Send("a", 540000 + 10000 * k);
  for (uint64_t t : {552000, 602000, 652000})
    b.frontend.AddActionAt(t, [&] { b.board->InjectFraming(); });
  for (uint64_t t : {702000, 752000})
    b.frontend.AddActionAt(t, [&] { b.board->InjectOverflow(); });
  Picture picture;
  LineCounts counts;
  b.frontend.AddActionAt(1800000, [&] {
    picture = b.frontend.Shown();
    counts = b.console.frame().counts;
  });
  b.frontend.AddKeyAt(2000000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(2100000, "q");
  ASSERT_EQ(b.Run(), 0);
  EXPECT_EQ(counts.received, 31u);
  EXPECT_EQ(counts.framing, 3u);
  EXPECT_EQ(counts.overflow, 2u);
  // The status line as it was, the counts to its right.
  EXPECT_EQ(picture.RowText(0),
            "CON-5Pins Console     <Fx>Macro  <SF1>Help  <SF2>Exit  Baud: 115200  rx 31 f3 o2");
}

TEST(BoardAnswers, ATallerWindowShowsTheCountsBelowTheScreen) {
  J27 b;
  b.frontend.SetWindow(30, 100);
  b.Far().Send("hello\r\n", 500000);
  Picture picture;
  b.frontend.AddActionAt(1000000, [&] { picture = b.frontend.Shown(); });
  b.frontend.AddKeyAt(1200000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(1300000, "q");
  ASSERT_EQ(b.Run(), 0);
  EXPECT_EQ(picture.RowText(25).find(" received 7 bytes   framing errors 0   overflows 0 "), 0u);
}

// At 80x24, once the status line has scrolled away: no counts while none
// is an error; once an error has come, they stay in view at the top right,
// left of the history's tag in the history.
TEST(BoardAnswers, OnceAnErrorHasComeTheCountsStayInView) {
  J27 b;
  b.frontend.SetWindow(24, 80);
  std::string lines;
  for (int i = 0; i < 40; ++i) lines += "line " + std::to_string(i) + "\r\n";
  b.Far().Send(lines, 500000);
  Picture clean, live, history;
  b.frontend.AddActionAt(1000000, [&] { clean = b.frontend.Shown(); });
  b.frontend.AddActionAt(1100000, [&] { b.board->InjectFraming(); });
  b.Far().Send("x", 1110000);
  b.frontend.AddActionAt(1500000, [&] { live = b.frontend.Shown(); });
  b.frontend.AddKeyAt(1550000, "x");  // the framing error's message line
  b.frontend.AddKeyAt(1600000, std::string(view::PageUp));
  b.frontend.AddActionAt(1700000, [&] { history = b.frontend.Shown(); });
  b.frontend.AddKeyAt(1800000, "q");
  b.frontend.AddKeyAt(2000000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(2100000, "q");
  ASSERT_EQ(b.Run(), 0);
  EXPECT_EQ(clean.RowText(0).find("rx "), std::string::npos);
  // 350 bytes of lines and the x.
  const std::string counts = "rx 351 f1 o0";
  EXPECT_EQ(live.RowText(0).substr(80 - counts.size()), counts);
  const std::string top = history.RowText(0);
  EXPECT_NE(top.find(counts + "  history: "), std::string::npos) << top;
}

}  // namespace
}  // namespace qb7
