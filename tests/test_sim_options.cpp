#include <gtest/gtest.h>

#include "sim/sim_options.hpp"

namespace qb7::sim {
namespace {

bool Parse(std::vector<std::string> args, SimOptions& o, std::string& error) {
  return ParseSimOptions(args, o, error);
}

TEST(SimOptions, AcceptsLineBaudAndAttachInBothForms) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--line-baud", "921600", "--attach", "2=/bin/sh", "--attach=3=cat -u"}, o, error))
      << error;
  EXPECT_EQ(o.lineBaud, 921600);
  EXPECT_EQ(o.attach.at(2), "/bin/sh");
  EXPECT_EQ(o.attach.at(3), "cat -u");
  SimOptions h;
  ASSERT_TRUE(Parse({"--help"}, h, error));
  EXPECT_TRUE(h.help);
  EXPECT_NE(SimUsage().find("--attach ROUTE=COMMAND"), std::string::npos);
}

TEST(SimOptions, TheBoardAbsentOrOffForAWhile) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--board-off", "5:8.5"}, o, error)) << error;
  EXPECT_EQ(o.absentFrom, 5);
  EXPECT_EQ(o.absentTo, 8.5);
  SimOptions n;
  ASSERT_TRUE(Parse({"--no-board"}, n, error)) << error;
  EXPECT_EQ(n.absentFrom, 0);
  EXPECT_GT(n.absentTo, 1e9);
  EXPECT_NE(SimUsage().find("--board-off FROM:TO"), std::string::npos);
}

TEST(SimOptions, RejectsWhatItDoesNotKnowWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {"--fast"},           {"--line-baud"},          {"--line-baud", "0"},
      {"--line-baud", "x"}, {"--line-baud", "12k"},   {"--attach", "6=cat"},
      {"--attach", "2"},    {"--attach", "2="},       {"--attach", "a=cat"},
      {"--attach", "2=cat", "--attach", "2=sh"},      {"route"},
      {"--board-off", "5"}, {"--board-off", "8:5"},   {"--board-off", "-1:5"},
      {"--board-off", "a:b"}, {"--board-off", "5:8x"},
  };
  for (const auto& args : bad) {
    SimOptions o;
    std::string error;
    EXPECT_FALSE(Parse(args, o, error)) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

}  // namespace
}  // namespace qb7::sim
