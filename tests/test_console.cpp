#include <gtest/gtest.h>

#include "console/console.hpp"
#include "console/headless_frontend.hpp"
#include "console/program_exit.hpp"
#include "keys/key_queue.hpp"
#include "keys/keys.hpp"
#include "view/viewer.hpp"

namespace qb7 {
namespace {

struct ConsoleBench {
  VirtualClock clock;
  HeadlessFrontend frontend;
  Console console{frontend, clock};
};

TEST(KeyQueue, HoldsAtMost511DroppingTheOldest) {
  KeyQueue q;
  for (int i = 0; i < 512; ++i) q.Push(std::to_string(i));
  EXPECT_EQ(q.Size(), 511u);
  EXPECT_EQ(q.Pop(), "1");
  KeyQueue empty;
  EXPECT_EQ(empty.Pop(), "");
}

TEST(Console, ReadKeyNeverWaits) {
  ConsoleBench b;
  EXPECT_EQ(b.console.ReadKey(), "");
  b.frontend.AddKey("a");
  b.frontend.AddKey(KeyCode(keys::KeyF1));
  EXPECT_EQ(b.console.ReadKey(), "a");
  EXPECT_EQ(b.console.ReadKey(), std::string("\xff\x3b", 2));
  EXPECT_EQ(b.clock.NowUs(), 0u);
}

TEST(Console, ShortPauseIsNotShortenedByAKey) {
  ConsoleBench b;
  b.frontend.AddKeyAt(10000, "k");
  b.console.Pause(99);
  EXPECT_EQ(b.clock.NowUs(), 99000u);
}

TEST(Console, LongPauseEndsAtTheNextStepAfterAKeyAndKeepsIt) {
  ConsoleBench b;
  b.frontend.AddKeyAt(120000, "k");
  b.console.Pause(1000);
  EXPECT_EQ(b.clock.NowUs(), 150000u);
  EXPECT_EQ(b.console.ReadKey(), "k");
}

TEST(Console, LongPauseRunsFullWithoutKeysIncludingTheRemainder) {
  ConsoleBench b;
  b.console.Pause(120);
  EXPECT_EQ(b.clock.NowUs(), 120000u);
  b.console.Pause(0);
  EXPECT_EQ(b.clock.NowUs(), 120000u);
}

TEST(Console, WaitKeyPollsEvery10ms) {
  ConsoleBench b;
  b.frontend.AddKeyAt(25000, "x");
  EXPECT_EQ(b.console.WaitKey(), "x");
  EXPECT_EQ(b.clock.NowUs(), 30000u);
}

TEST(Console, BackgroundTaskRunsDuringPausesAndMessageWaitsKnowingWhichItIs) {
  ConsoleBench b;
  int runs = 0, whileWaiting = 0;
  b.console.SetBackgroundTask([&]() -> uint64_t {
    ++runs;
    whileWaiting += b.console.OperatorWaiting() ? 1 : 0;
    return 1000;
  });
  b.console.Pause(10);
  EXPECT_EQ(runs, 11);  // due at once, then every 1 ms up to the end
  EXPECT_EQ(whileWaiting, 0);
  runs = 0;
  b.frontend.AddKeyAt(b.clock.NowUs() + 50000, "k");
  b.console.ErrorMessage("modal");
  // The looks go on while the operator reads, and know they must only hold.
  EXPECT_GE(runs, 49);
  EXPECT_EQ(whileWaiting, runs);
  EXPECT_FALSE(b.console.OperatorWaiting());
}

TEST(MessageLine, DrawsCutsRestoresColoursAndCursor) {
  ConsoleBench b;
  Console& c = b.console;
  c.SetColours(2, 1);
  c.SetPosition(24, 1);
  c.WriteText("old text on row 24");
  c.SetPosition(10, 33);
  b.frontend.AddKeyAt(1000, "q");
  c.ShowMessage(24, 12, 15, std::string(100, 'm'));
  // After the key: the row is blank in the restored colours up to column 79.
  EXPECT_EQ(c.screen().RowText(24), std::string(80, ' '));
  EXPECT_EQ(c.screen().At(24, 1).bg, 1);
  EXPECT_EQ(c.screen().At(24, 79).bg, 1);
  EXPECT_EQ(c.screen().At(24, 80).bg, 0);  // column 80 untouched
  EXPECT_EQ(c.Colours(), (ColourPair{2, 1}));
  EXPECT_EQ(c.CursorRow(), 10);
  EXPECT_EQ(c.CursorColumn(), 33);
}

TEST(MessageLine, KeepsALineBreakPendingOnTheLastRow) {
  ConsoleBench b;
  Console& c = b.console;
  c.SetPosition(25, 1);
  c.WriteText("last line", true);
  ASSERT_TRUE(c.screen().LineBreakPending());
  b.frontend.AddKeyAt(1000, "x");
  c.ErrorMessage("UartRcvStr Overflow");
  c.WriteText("next line");
  EXPECT_EQ(c.screen().RowText(24).substr(0, 9), "last line");
  EXPECT_EQ(c.screen().RowText(25).substr(0, 9), "next line");
}

// A front end that records the message row at its first look for keys.
class PeekingFrontend final : public Frontend {
 public:
  void CollectKeys(KeyQueue& q, uint64_t) override {
    if (screen && row.empty()) {
      shown = *screen;
      row = screen->RowText(24);
      fg = screen->At(24, 2).fg;
      bg = screen->At(24, 2).bg;
    }
    q.Push(key);
  }
  void Present(const Screen& s) override { screen = &s; }
  void Bell() override {}
  void Lend() override {}
  void TakeBack() override {}
  const Screen* screen = nullptr;
  Screen shown;  // the screen as the message shows it
  std::string row;
  int fg = -1, bg = -1;
  KeyCode key = "x";
};

TEST(MessageLine, ShowsALeadingSpaceThe77CharacterCutAndItsColours) {
  VirtualClock clock;
  PeekingFrontend fe;
  Console c(fe, clock);
  c.Present();
  c.WriteText("x");
  c.ShowMessage(24, 12, 15, std::string(100, 'm'));
  EXPECT_EQ(fe.row, " " + std::string(1, ' ') + std::string(77, 'm') + " ");
  EXPECT_EQ(fe.fg, 15);
  EXPECT_EQ(fe.bg, 12);
}

// A window narrower than the screen (kitty opens at 71x22) follows the
// cursor: the message is read from its first letter, not from the blank end
// of its bar.
TEST(MessageLine, ANarrowWindowShowsTheMessageFromItsStart) {
  VirtualClock clock;
  PeekingFrontend fe;
  Console c(fe, clock);
  c.Present();
  for (int i = 1; i <= 30; ++i) c.WriteText(std::to_string(i), true);
  c.ErrorMessage("UartRcvStr Overflow");
  for (const auto& [rows, cols] : {std::pair{22, 71}, std::pair{20, 60}, std::pair{6, 40}}) {
    Viewer viewer;
    viewer.SetWindow(rows, cols);
    viewer.SetFrame(fe.shown);
    const Picture& p = viewer.Draw();
    bool seen = false;
    for (int r = 0; r < p.rows; ++r) seen = seen || p.RowText(r).substr(1, 20) == " UartRcvStr Overflow";
    EXPECT_TRUE(seen) << rows << "x" << cols << ": " << p.RowText(p.rows - 1);
  }
}

TEST(MessageLine, EmptyTextShows78Spaces) {
  VirtualClock clock;
  PeekingFrontend fe;
  Console c(fe, clock);
  c.Present();
  c.SetColours(3, 0);
  c.WriteText("x");
  c.ShowMessage(24, 12, 15, "");
  EXPECT_EQ(fe.row, std::string(80, ' '));
  EXPECT_EQ(fe.bg, 12);
}

TEST(MessageLine, HomeClearsTheScreenGreyOnBlackAndEndsWithStatusZero) {
  ConsoleBench b;
  b.console.SetColours(14, 4);
  b.console.WriteText("busy");
  b.frontend.AddKey(KeyCode(keys::KeyHome));
  try {
    b.console.ErrorMessage("fatal");
    FAIL() << "Home must end the program";
  } catch (const ProgramExit& e) {
    EXPECT_EQ(e.status, 0);
  }
  EXPECT_EQ(b.console.Colours(), (ColourPair{7, 0}));
  EXPECT_EQ(b.console.screen().RowText(1), std::string(80, ' '));
  EXPECT_EQ(b.console.screen().At(24, 40).bg, 0);
}

}  // namespace
}  // namespace qb7
