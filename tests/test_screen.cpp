#include <gtest/gtest.h>

#include <string>

#include "screen/screen.hpp"

namespace qb7 {
namespace {

std::string Trimmed(const Screen& s, int row) {
  std::string t = s.RowText(row);
  t.erase(t.find_last_not_of(' ') + 1);
  return t;
}

TEST(Screen, EightyCharactersOnTheLastRowLeaveABreakPending) {
  Screen s;
  s.SetPosition(1, 1);
  s.Write("top");
  s.SetPosition(25, 1);
  s.Write(std::string(80, 'x'));
  EXPECT_EQ(Trimmed(s, 1), "top");
  EXPECT_EQ(s.CursorRow(), 25);
  EXPECT_EQ(s.CursorColumn(), 80);
  EXPECT_TRUE(s.LineBreakPending());
  // The next write performs the break: the screen scrolls first.
  s.Write("y");
  EXPECT_EQ(Trimmed(s, 1), "");
  EXPECT_EQ(Trimmed(s, 24), std::string(80, 'x'));
  EXPECT_EQ(Trimmed(s, 25), "y");
  EXPECT_EQ(s.CursorColumn(), 2);
  EXPECT_FALSE(s.LineBreakPending());
}

TEST(Screen, EightyOneCharactersInOneWriteScrollAtOnce) {
  Screen s;
  s.SetPosition(1, 1);
  s.Write("top");
  s.SetPosition(25, 1);
  s.Write(std::string(80, 'x') + "y");
  EXPECT_EQ(Trimmed(s, 24), std::string(80, 'x'));
  EXPECT_EQ(Trimmed(s, 25), "y");
  EXPECT_EQ(Trimmed(s, 1), "");
}

TEST(Screen, LineFeedOnTheLastRowWaitsUntilTheNextWrite) {
  Screen s;
  s.SetPosition(1, 1);
  s.Write("first");
  s.SetPosition(25, 10);
  s.Write("end\r\n");
  EXPECT_TRUE(s.LineBreakPending());
  EXPECT_EQ(s.CursorRow(), 25);
  EXPECT_EQ(s.CursorColumn(), 80);
  EXPECT_EQ(Trimmed(s, 1), "first");
  // Setting the position cancels the pending break: nothing scrolls.
  s.SetPosition(0, 1);
  s.Write("z");
  EXPECT_EQ(Trimmed(s, 1), "first");
  EXPECT_EQ(Trimmed(s, 25), "z        end");
}

TEST(Screen, ScrolledInRowTakesTheColourPair) {
  Screen s;
  s.SetPosition(25, 1);
  s.SetColours(14, 1);
  s.Write("a\nb");
  EXPECT_EQ(s.At(25, 1).ch, 'b');
  EXPECT_EQ(s.At(25, 50).bg, 1);
  EXPECT_EQ(s.At(24, 1).ch, 'a');
}

TEST(Screen, LineFeedAndCarriageReturn) {
  Screen s;
  s.SetPosition(5, 40);
  s.Write("\n");
  EXPECT_EQ(s.CursorRow(), 6);
  EXPECT_EQ(s.CursorColumn(), 1);
  s.Write("abc\r");
  EXPECT_EQ(s.CursorRow(), 6);
  EXPECT_EQ(s.CursorColumn(), 1);
}

TEST(Screen, TabWritesSpacesToTheNextStop) {
  Screen s;
  s.Write("ab\tc");
  EXPECT_EQ(s.At(1, 9).ch, 'c');
  s.SetPosition(2, 9);
  s.Write("\t");
  EXPECT_EQ(s.CursorColumn(), 17);
  // From column 75 the spaces run to the end of the row and wrap.
  s.SetPosition(3, 75);
  s.Write("\tq");
  EXPECT_EQ(s.At(4, 1).ch, 'q');
}

TEST(Screen, BackspaceMovesLeftWithoutErasing) {
  Screen s;
  s.Write("abcd\b");
  EXPECT_EQ(s.CursorColumn(), 4);
  EXPECT_EQ(s.At(1, 4).ch, 'd');
  s.SetPosition(0, 1);
  s.Write("\b");
  EXPECT_EQ(s.CursorColumn(), 1);
}

TEST(Screen, BellsAreCountedNotDrawn) {
  Screen s;
  EXPECT_EQ(s.Write("a\a\ab"), 2);
  EXPECT_EQ(s.RowText(1).substr(0, 2), "ab");
}

TEST(Screen, ControlAndHighBytesAreGlyphs) {
  Screen s;
  s.Write(std::string("\x01\x1b\x7f\xff", 4));
  EXPECT_EQ(s.At(1, 1).ch, 1);
  EXPECT_EQ(s.At(1, 2).ch, 27);
  EXPECT_EQ(s.At(1, 3).ch, 127);
  EXPECT_EQ(s.At(1, 4).ch, 255);
}

TEST(Screen, SetPositionKeepsZeroAndIgnoresOutOfRange) {
  Screen s;
  s.SetPosition(12, 30);
  s.SetPosition(0, 9);
  EXPECT_EQ(s.CursorRow(), 12);
  EXPECT_EQ(s.CursorColumn(), 9);
  s.SetPosition(26, 1);
  s.SetPosition(1, 81);
  s.SetPosition(-1, 5);
  EXPECT_EQ(s.CursorRow(), 12);
  EXPECT_EQ(s.CursorColumn(), 9);
  s.SetPosition(25, 0);
  EXPECT_EQ(s.CursorRow(), 25);
  EXPECT_EQ(s.CursorColumn(), 9);
}

TEST(Screen, ColoursAreTakenModulo16AndClearFillsWithThem) {
  Screen s;
  ColourPair old = s.SetColours(15, 12);
  EXPECT_EQ(old, (ColourPair{7, 0}));
  s.Clear();
  EXPECT_EQ(s.At(1, 1).bg, 12);
  EXPECT_EQ(s.At(25, 80).bg, 12);
  EXPECT_EQ(s.At(13, 40).fg, 15);
  s.SetColours(17, -1);
  EXPECT_EQ(s.Colours(), (ColourPair{1, 15}));
  EXPECT_EQ(s.CursorRow(), 1);
}

}  // namespace
}  // namespace qb7
