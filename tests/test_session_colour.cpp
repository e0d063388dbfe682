#include <gtest/gtest.h>

#include "console/headless_frontend.hpp"
#include "session/term_colour.hpp"

namespace qb7 {
namespace {

struct ColourBench {
  VirtualClock clock;
  HeadlessFrontend frontend;
  Console console{frontend, clock};
  ColourPair colours;
  ColourPair Apply(std::initializer_list<int64_t> codes) {
    for (int64_t c : codes) TermColour(colours, console, c);
    EXPECT_EQ(console.Colours(), (ColourPair{colours.fg, colours.bg}));
    return console.Colours();
  }
};

TEST(TermColour, TheBrightBitSurvivesColourCodes) {
  EXPECT_EQ(ColourBench().Apply({1}), (ColourPair{15, 0}));
  EXPECT_EQ(ColourBench().Apply({1, 34}), (ColourPair{9, 0}));
  EXPECT_EQ(ColourBench().Apply({1, 31}), (ColourPair{12, 0}));
  EXPECT_EQ(ColourBench().Apply({31, 1}), (ColourPair{12, 0}));
  EXPECT_EQ(ColourBench().Apply({1, 30}), (ColourPair{8, 0}));
}

TEST(TermColour, EveryForegroundAndBackgroundCode) {
  // The console's palette: 0 black, 1 blue, 2 green, 3 cyan, 4 red,
  // 5 magenta, 6 brown, 7 light grey.
  enum { Black = 0, Blue = 1, Green = 2, Cyan = 3, Red = 4, Magenta = 5, Brown = 6, Grey = 7 };
  const struct {
    int code;
    int colour;
  } table[] = {{30, Black}, {31, Red},     {32, Green}, {33, Brown},
               {34, Blue},  {35, Magenta}, {36, Cyan},  {37, Grey}};
  for (const auto& t : table) {
    EXPECT_EQ(ColourBench().Apply({t.code}).fg, t.colour) << t.code;
    EXPECT_EQ(ColourBench().Apply({t.code + 10}).bg, t.colour) << t.code + 10;
  }
  EXPECT_EQ(ColourBench().Apply({41, 44}), (ColourPair{7, 1}));
  EXPECT_EQ(ColourBench().Apply({41, 44, 40}), (ColourPair{7, 0}));
}

TEST(TermColour, ResetCodesAndCodesThatChangeNothing) {
  for (int reset : {0, 2, 4, 5, 8}) EXPECT_EQ(ColourBench().Apply({1, 33, 45, reset}), (ColourPair{7, 0}));
  for (int64_t none : {3LL, 7LL, 22LL, 39LL, 49LL, 90LL, 97LL, -1LL, 4294967296LL})
    EXPECT_EQ(ColourBench().Apply({32, 43, none}), (ColourPair{2, 6})) << none;
}

TEST(TermColour, SetsTheScreenColoursEvenWhenNothingChanged) {
  ColourBench b;
  b.Apply({36});
  b.console.SetColours(1, 1);  // someone else changed them
  TermColour(b.colours, b.console, 39);
  EXPECT_EQ(b.console.Colours(), (ColourPair{3, 0}));
}

}  // namespace
}  // namespace qb7
