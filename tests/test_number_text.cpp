#include <gtest/gtest.h>

#include <limits>

#include "text/number_text.hpp"

namespace qb7 {
namespace {

int64_t Val(std::string_view s) { return RoundHalfEven(ReadNumber(s)); }

TEST(NumberText, ReadsTheLeadingNumberAsTheConfigAndMacrosWriteIt) {
  const struct {
    std::string_view text;
    int64_t value;
  } table[] = {
      // Decimal, with what may come before and after it.
      {"115200", 115200},
      {"   57600 'comment", 57600},
      {"+12", 12},
      {"-5", -5},
      {"05", 5},
      {"5x", 5},
      {"27\"[A\"", 27},
      {"1.5E3", 1500},
      {"2D2", 200},
      {"12E", 12},
      {".5", 0},
      {"\t7", 0},  // only spaces are skipped
      // No number reads as zero.
      {"", 0},
      {"abc", 0},
      {"-", 0},
      {".", 0},
      {"E5", 0},
      // Halves round to the even neighbour.
      {"0.5", 0},
      {"1.5", 2},
      {"2.5", 2},
      {"3.5", 4},
      {"-2.5", -2},
      {"2.51", 3},
      // Radix prefixes.
      {"&H1B", 27},
      {"&hff", 255},
      {"&O17", 15},
      {"&17", 15},
      {"&B101", 5},
      {"&H", 0},
      {"&X1", 0},
      {"&B102", 2},  // stops at the first digit out of the radix
  };
  for (const auto& t : table) EXPECT_EQ(Val(t.text), t.value) << "'" << t.text << "'";
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
