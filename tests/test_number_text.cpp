#include <gtest/gtest.h>

#include <limits>

#include "text/number_text.hpp"

namespace qb7 {
namespace {

int64_t Val(std::string_view s) { return RoundHalfEven(ReadNumber(s)); }

TEST(NumberText, ReadsTheLeadingNumberLikeTheConfigAndMacrosExpect) {
  EXPECT_EQ(Val("115200"), 115200);
  EXPECT_EQ(Val("   57600 'comment"), 57600);
  EXPECT_EQ(Val("+12"), 12);
  EXPECT_EQ(Val("-5"), -5);
  EXPECT_EQ(Val("05"), 5);
  EXPECT_EQ(Val("5x"), 5);
  EXPECT_EQ(Val("27\"[A\""), 27);
  EXPECT_EQ(Val("1.5E3"), 1500);
  EXPECT_EQ(Val("2D2"), 200);
  EXPECT_EQ(Val("12E"), 12);
  EXPECT_EQ(Val(".5"), 0);
  EXPECT_EQ(Val("\t7"), 0);  // only spaces are skipped
}

TEST(NumberText, NoNumberReadsAsZero) {
  EXPECT_EQ(Val(""), 0);
  EXPECT_EQ(Val("abc"), 0);
  EXPECT_EQ(Val("-"), 0);
  EXPECT_EQ(Val("."), 0);
  EXPECT_EQ(Val("E5"), 0);
}

TEST(NumberText, RoundsHalvesToEven) {
  EXPECT_EQ(Val("0.5"), 0);
  EXPECT_EQ(Val("1.5"), 2);
  EXPECT_EQ(Val("2.5"), 2);
  EXPECT_EQ(Val("3.5"), 4);
  EXPECT_EQ(Val("-2.5"), -2);
  EXPECT_EQ(Val("2.51"), 3);
}

TEST(NumberText, RadixPrefixes) {
  EXPECT_EQ(Val("&H1B"), 27);
  EXPECT_EQ(Val("&hff"), 255);
  EXPECT_EQ(Val("&O17"), 15);
  EXPECT_EQ(Val("&17"), 15);
  EXPECT_EQ(Val("&B101"), 5);
  EXPECT_EQ(Val("&H"), 0);
  EXPECT_EQ(Val("&X1"), 0);
  EXPECT_EQ(Val("&B102"), 2);  // stops at the first digit out of the radix
}

TEST(NumberText, HugeValuesStayDefined) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  EXPECT_EQ(Val(std::string(40, '9')), kMax);
  EXPECT_EQ(Val("-" + std::string(40, '9')), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(Val("1E999"), kMax);
  EXPECT_EQ(Val("&H" + std::string(40, 'F')), kMax);
  EXPECT_EQ(ClampToInt32(kMax), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(ClampToInt32(-kMax), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(ClampToInt32(-7), -7);
}

}  // namespace
}  // namespace qb7
