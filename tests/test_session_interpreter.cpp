#include <gtest/gtest.h>

#include <random>

#include "console/headless_frontend.hpp"
#include "session/interpreter.hpp"

namespace qb7 {
namespace {

class StringSink final : public ByteSink {
 public:
  void Put(uint8_t b, uint64_t) override { bytes.push_back(static_cast<char>(b)); }
  std::string bytes;
};

struct InterpreterBench {
  InterpreterBench() { console.SetPosition(4, 1); }
  VirtualClock clock;
  HeadlessFrontend frontend;
  Console console{frontend, clock};
  ColourPair colours;
  StringSink log;
  Interpreter interpreter{console, colours, log};

  std::string Row(int r) const {
    std::string s = console.screen().RowText(r);
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
  }
  const Cell& At(int r, int c) const { return console.screen().At(r, c); }
};

// What a stream shows on its row (row 4, where a session's text starts) and
// what it leaves in the log.
TEST(Interpreter, WhatIsShownAndWhatIsLogged) {
  const struct {
    const char* name;
    std::string in;
    std::string row4;
    std::string log;
    std::string row5 = "";
  } table[] = {
      {"text and line ends", "AB\r\n", "AB", "AB\r\n"},
      {"control bytes visibly, unlogged", std::string("\x01\x00\x1f\xc8\x7f", 5),
       "<1><0><1F>\xc8\x7f", "\xc8\x7f"},
      {"ESC and a byte outside the subset", "\x1b(", "<ESC><28>", ""},
      {"ESC ESC, then a sequence not in the subset", "\x1b\x1b" "7\x1b[H",
       "<ESC><1B>7<ESC><[><?>H", "7"},
      // What bash sends around every prompt, a cursor hide, a window title
      // ended by BEL and one ended by ESC backslash: shown, not logged.
      {"the rest of unsupported sequences and titles",
       "\x1b[?2004h$ \x1b[?25lok\x1b]0;qb7\x07!\x1b]2;t\x1b\\.\r\n",
       "<ESC><[><?>?2004h$ <ESC><[><?>?25lok<ESC><5D>0;qb7!<ESC><5D>2;t<ESC><5C>.",
       "$ ok!.\r\n"},
      // A control byte cuts the rest short and is itself text again.
      {"a control byte ends a sequence or a title", "\x1b[?25\r\nx\x1b]title\nz",
       "<ESC><[><?>?25", "\r\nx\nz", "x<ESC><5D>title"},
  };
  for (const auto& t : table) {
    InterpreterBench b;
    b.interpreter.Feed(t.in);
    EXPECT_EQ(b.Row(4), t.row4) << t.name;
    EXPECT_EQ(b.Row(5), t.row5) << t.name;
    EXPECT_EQ(b.log.bytes, t.log) << t.name;
    EXPECT_EQ(b.frontend.Bells(), 0) << t.name;  // a title's closing bell does not ring
  }
  InterpreterBench b;
  b.interpreter.Feed("AB\r\n");
  EXPECT_EQ(b.console.CursorRow(), 5);
  EXPECT_EQ(b.console.CursorColumn(), 1);
}

TEST(Interpreter, TabMovesToTheNextStopWithoutWritingOrLogging) {
  InterpreterBench b;
  b.interpreter.Feed("\t");
  EXPECT_EQ(b.console.CursorColumn(), 9);
  b.interpreter.Feed("\t");
  EXPECT_EQ(b.console.CursorColumn(), 17);
  b.console.SetPosition(0, 73);
  b.interpreter.Feed("\t");
  EXPECT_EQ(b.console.CursorColumn(), 73);  // from 73 the next stop would be 81
  b.console.SetPosition(0, 75);
  b.interpreter.Feed("\t");
  EXPECT_EQ(b.console.CursorColumn(), 75);
  b.console.SetPosition(0, 72);
  b.interpreter.Feed("\t");
  EXPECT_EQ(b.console.CursorColumn(), 73);
  EXPECT_EQ(b.log.bytes, "");
  EXPECT_EQ(b.Row(4), "");
}

TEST(Interpreter, BackspaceMovesLeftWithoutErasingOrLogging) {
  InterpreterBench b;
  b.interpreter.Feed("\b");
  EXPECT_EQ(b.console.CursorColumn(), 1);
  b.interpreter.Feed("abcd\b");
  EXPECT_EQ(b.console.CursorColumn(), 4);
  EXPECT_EQ(b.Row(4), "abcd");
  EXPECT_EQ(b.log.bytes, "abcd");
}

TEST(Interpreter, BellRingsWithoutStoppingTheSession) {
  InterpreterBench b;
  b.interpreter.Feed("\a");
  b.clock.Advance(250000);
  b.interpreter.Feed("\x1b[\a");  // shown after a cut-off sequence
  EXPECT_EQ(b.frontend.Bells(), 2);
  EXPECT_EQ(b.clock.NowUs(), 250000u);  // nothing waited for either
  EXPECT_EQ(b.log.bytes, "");
  EXPECT_EQ(b.Row(4), "<ESC><[><?>");
}

TEST(Interpreter, ColourSequencesColourTheTextAndStayOutOfTheLog) {
  InterpreterBench b;
  b.interpreter.Feed("\x1b[31mx\x1b[1;32my\x1b[mz");
  EXPECT_EQ(b.At(4, 1).fg, 4);
  EXPECT_EQ(b.At(4, 2).fg, 10);
  EXPECT_EQ(b.At(4, 3).fg, 7);
  EXPECT_EQ(b.log.bytes, "xyz");
  EXPECT_EQ(b.Row(4), "xyz");
}

TEST(Interpreter, EraseBlanksToColumn79AndReturns) {
  InterpreterBench b;
  b.console.SetPosition(4, 1);
  b.console.WriteText(std::string(80, '#'));
  b.console.SetPosition(4, 1);
  b.interpreter.Feed("\x1b[44m\x1b[2J");
  EXPECT_EQ(b.console.CursorRow(), 4);
  EXPECT_EQ(b.console.CursorColumn(), 1);
  EXPECT_EQ(b.Row(4), std::string(79, ' ') + "#");
  EXPECT_EQ(b.At(4, 79).bg, 1);
  b.console.SetPosition(4, 70);
  b.interpreter.Feed("\x1b[J");
  EXPECT_EQ(b.console.CursorColumn(), 70);
  EXPECT_EQ(b.log.bytes, "");
}

TEST(Interpreter, OnlyAnMSequenceChangesTheColours) {
  InterpreterBench b;
  b.interpreter.Feed("\x1b[33m\x1b[1;1Ha\x1b[5;1Hb");
  EXPECT_EQ(b.colours.fg, 6);
  EXPECT_EQ(b.At(4, 12).fg, 6);
  EXPECT_EQ(b.Row(4), "<ESC><[><?>Ha<ESC><[><?>Hb");
  b.interpreter.Feed("\x1b[;34;41mc");
  EXPECT_EQ(b.colours.fg, 1);
  EXPECT_EQ(b.colours.bg, 4);
  b.interpreter.Feed("\x1b[1;32m");
  EXPECT_EQ(b.colours.fg, 10);
  // Parameters past the bound are dropped, the sequence still ends right.
  std::string many = "\x1b[";
  for (int i = 0; i < 1000; ++i) many += "0;";
  b.interpreter.Feed(many + "31md");
  EXPECT_EQ(b.colours.fg, 7);
  EXPECT_EQ(b.log.bytes, "abcd");
}

TEST(Interpreter, LongDigitRunsMatchNoCode) {
  InterpreterBench b;
  b.interpreter.Feed("\x1b[32m\x1b[" + std::string(50, '9') + "m\x1b[4294967297mx");
  EXPECT_EQ(b.colours.fg, 2);
  b.interpreter.Feed("\x1b[0000000000031m");
  EXPECT_EQ(b.colours.fg, 4);
}

TEST(Interpreter, ASequenceSplitAtEveryPointActsAsOne) {
  const std::string stream =
      "a\x1b[1;44;33mb\x1b[2Jc\x1b(d\x1b[0me\x1b[?7hf\x1b]0;t\x07g\x1b]1;u\x1b\\h";
  InterpreterBench whole;
  whole.interpreter.Feed(stream);
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    InterpreterBench b;
    b.interpreter.Feed(stream.substr(0, cut));
    b.interpreter.Feed(stream.substr(cut));
    EXPECT_EQ(b.log.bytes, whole.log.bytes) << cut;
    EXPECT_EQ(b.Row(4), whole.Row(4)) << cut;
    for (int c = 1; c <= 50; ++c) EXPECT_EQ(b.At(4, c), whole.At(4, c)) << cut << " col " << c;
  }
  EXPECT_EQ(whole.At(4, 2).fg, 14);
  EXPECT_EQ(whole.At(4, 2).bg, 1);
  EXPECT_EQ(whole.log.bytes, "abcdefgh");
}

TEST(Interpreter, APendingLineBreakIsCarriedOutBeforeBackspaceTabAndErase) {
  for (std::string_view next : {"\b", "\t", "\x1b[J"}) {
    InterpreterBench b;
    b.console.SetPosition(25, 1);
    b.interpreter.Feed("last\n");
    b.interpreter.Feed(next);
    b.interpreter.Feed("new");
    EXPECT_EQ(b.Row(24), "last") << next;
    const int col = next == "\t" ? 9 : 1;
    EXPECT_EQ(b.console.screen().RowText(25).substr(col - 1, 3), "new") << next;
  }
}

TEST(Interpreter, ResetAtTheStartOfTheNextChunk) {
  InterpreterBench b;
  b.interpreter.Feed("\x1b[31m");
  b.interpreter.Feed("\x1b");
  b.interpreter.Feed("[0mz");
  EXPECT_EQ(b.At(4, 1).fg, 7);
  EXPECT_EQ(b.Row(4), "z");
}

TEST(Interpreter, RandomStreamsNeverCrashAndLogOnlyPlainBytes) {
  std::mt19937 rng(7);
  InterpreterBench b;
  std::string chunk;
  for (int round = 0; round < 2000; ++round) {
    chunk.clear();
    int n = static_cast<int>(rng() % 200);
    for (int i = 0; i < n; ++i) {
      uint32_t r = rng() % 10;
      chunk.push_back(r == 0 ? '\x1b' : r == 1 ? '[' : r == 2 ? static_cast<char>('0' + rng() % 10)
                                                              : static_cast<char>(rng()));
    }
    b.interpreter.Feed(chunk);
    ASSERT_GE(b.console.CursorRow(), 1);
    ASSERT_LE(b.console.CursorRow(), 25);
  }
  for (unsigned char c : b.log.bytes) ASSERT_TRUE(c == 10 || c == 13 || c >= 32) << int(c);
  EXPECT_GT(b.log.bytes.size(), 10000u);
}

TEST(VisibleForm, HexWithoutLeadingZeros) {
  char out[16];
  EXPECT_EQ(std::string(out, VisibleForm(0, "<", out)), "<0>");
  EXPECT_EQ(std::string(out, VisibleForm(0x1f, "<", out)), "<1F>");
  EXPECT_EQ(std::string(out, VisibleForm(0xff, "<ESC><", out)), "<ESC><FF>");
}

}  // namespace
}  // namespace qb7
