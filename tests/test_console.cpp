#include <gtest/gtest.h>

#include "console/console.hpp"
#include "console/headless_frontend.hpp"
#include "console/message_line.hpp"
#include "os/program_exit.hpp"
#include "keys/key_queue.hpp"
#include "keys/keys.hpp"
#include "view/viewer.hpp"

namespace qb7 {
namespace {

struct ConsoleBench {
  VirtualClock clock;
  HeadlessFrontend frontend;
  Console console{frontend, clock};
  MessageLines lines{console};
  // Shows a message line and takes its steps, as the loop does, until a
  // key dismisses it; returns that key.
  KeyCode Show(std::string text) { return ShowLine(console, lines, clock, std::move(text)); }
  static KeyCode ShowLine(Console& console, MessageLines& lines, VirtualClock& clock,
                          std::string text) {
    (void)console;
    lines.Post(std::move(text));
    for (;;) {
      const KeyCode key = lines.Step();
      if (!key.empty()) return key;
      clock.SleepUntilUs(lines.NextStepUs());
    }
  }
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

TEST(Console, AFrameIsHandedOverAtMostEvery15msWhileTheScreenChanges) {
  ConsoleBench b;
  b.console.WriteText("a");
  b.console.Present();
  EXPECT_EQ(b.frontend.Frames(), 1);
  b.console.WriteText("b");
  b.console.PresentIfDue();
  EXPECT_EQ(b.frontend.Frames(), 1);
  EXPECT_EQ(b.console.NextFrameUs(), 15000u);
  b.clock.Advance(15000);
  b.console.PresentIfDue();
  EXPECT_EQ(b.frontend.Frames(), 2);
  EXPECT_EQ(b.console.NextFrameUs(), UINT64_MAX);  // nothing changed since
  // The news beside the screen is a change too.
  b.console.SetLineCounts({true, 0, 10, 5, 0, 0});
  EXPECT_NE(b.console.NextFrameUs(), UINT64_MAX);
}

TEST(MessageLine, DrawsCutsRestoresColoursAndCursor) {
  ConsoleBench b;
  Console& c = b.console;
  c.SetColours(2, 1);
  c.SetPosition(24, 1);
  c.WriteText("old text on row 24");
  c.SetPosition(10, 33);
  b.frontend.AddKeyAt(1000, "q");
  EXPECT_EQ(b.Show(std::string(100, 'm')), "q");
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
  b.Show("UartRcvStr Overflow");
  c.WriteText("next line");
  EXPECT_EQ(c.screen().RowText(24).substr(0, 9), "last line");
  EXPECT_EQ(c.screen().RowText(25).substr(0, 9), "next line");
}

// A front end that records the message row at its first look for keys.
class PeekingFrontend final : public Frontend {
 public:
  void CollectKeys(KeyQueue& q, uint64_t, bool) override {
    if (screen && row.empty()) {
      shown = *screen;
      row = screen->RowText(24);
      fg = screen->At(24, 2).fg;
      bg = screen->At(24, 2).bg;
    }
    q.Push(key);
  }
  void Present(const Frame& f) override { screen = &f.screen; }
  void Bell() override {}
  void WantAnswer(AnswerMode) override {}
  KeyCode TakeAnswer(KeyQueue&) override { return {}; }
  void Lend() override {}
  void TakeBack() override {}
  bool LoanSettled() const override { return true; }
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
  MessageLines lines(c);
  c.Present();
  c.WriteText("x");
  ConsoleBench::ShowLine(c, lines, clock, std::string(100, 'm'));
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
  MessageLines lines(c);
  c.Present();
  for (int i = 1; i <= 30; ++i) c.WriteText(std::to_string(i), true);
  ConsoleBench::ShowLine(c, lines, clock, "UartRcvStr Overflow");
  for (const auto& [rows, cols] : {std::pair{22, 71}, std::pair{20, 60}, std::pair{6, 40}}) {
    Viewer viewer;
    viewer.SetWindow(rows, cols);
    Frame frame;
    frame.screen = fe.shown;
    viewer.SetFrame(frame);
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
  MessageLines lines(c);
  c.Present();
  c.SetColours(3, 0);
  c.WriteText("x");
  ConsoleBench::ShowLine(c, lines, clock, "");
  EXPECT_EQ(fe.row, std::string(80, ' '));
  EXPECT_EQ(fe.bg, 12);
}

TEST(MessageLine, HomeClearsTheScreenGreyOnBlackAndEndsWithStatusZero) {
  ConsoleBench b;
  b.console.SetColours(14, 4);
  b.console.WriteText("busy");
  b.frontend.AddKey(KeyCode(keys::KeyHome));
  try {
    b.Show("fatal");
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
