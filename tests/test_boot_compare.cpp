// Two boots side by side: lines matched with their numbers masked, the one
// line whose own step took longer flagged and no other, new and missing
// lines marked; and the boot read back from a kept session's files.
#include <gtest/gtest.h>

#include "app/boot_batch.hpp"
#include "compare/boot_compare.hpp"
#include "console/unattended_frontend.hpp"
#include "harness.hpp"
#include "log/session_keeping.hpp"
#include "log/times_reading.hpp"

namespace qb7::test {
namespace {

Boot Lines(std::vector<std::pair<std::string, uint64_t>> lines) {
  Boot b;
  b.found = true;
  for (auto& [text, ms] : lines) b.lines.push_back({text, ms * 1000, 0});
  return b;
}

TEST(BootCompare, OneLineThatTookLongerIsFlaggedAloneThoughAllAfterItComeLater) {
  const Boot a = Lines({{"[    0.100000] one", 100}, {"[    0.200000] two", 200},
                        {"[    9.300000] three", 300}, {"[    9.400000] four", 400}});
  // The stamps' digits and widths differ; "three" took 500 ms longer.
  const Boot b = Lines({{"[    0.100100] one", 101}, {"[    0.200100] two", 205},
                        {"[   10.800000] three", 800}, {"[   10.900000] four", 902}});
  const BootComparison c = CompareBoots(a, b, 100000);
  ASSERT_EQ(c.lines.size(), 4u);
  EXPECT_EQ(c.flagged, 1);
  EXPECT_EQ(c.added + c.missing, 0);
  EXPECT_TRUE(c.lines[2].flagged);
  EXPECT_EQ(c.lines[2].stepChangeUs, 495000);
  EXPECT_EQ(c.lines[3].bUs - c.lines[3].aUs, 502000);  // later, but its own step as before
  EXPECT_FALSE(c.lines[3].flagged);
  const std::string text = ComparisonText(c, "A", a, "B", b, 100000);
  EXPECT_NE(text.find("    +495.0 ! [   10.800000] three\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Moved most:\n     +495.0 ms  [   10.800000] three\n"), std::string::npos) << text;
}

TEST(BootCompare, LinesInOneBootOnlyAreNewOrMissingAndTheRestStillMatch) {
  const Boot a = Lines({{"start", 0}, {"gone", 10}, {"x", 20}, {"y", 30}, {"end", 40}});
  const Boot b = Lines({{"start", 0}, {"x", 20}, {"new 1", 25}, {"y", 30}, {"end", 40}, {"after", 50}});
  const BootComparison c = CompareBoots(a, b, 100000);
  std::string kinds;
  for (const ComparedLine& l : c.lines)
    kinds += l.kind == ComparedLine::Kind::Both ? '=' : l.kind == ComparedLine::Kind::New ? '+' : '-';
  EXPECT_EQ(kinds, "=-=+==+");
  EXPECT_EQ(c.missing, 1);
  EXPECT_EQ(c.added, 2);
  EXPECT_EQ(c.flagged, 0);
  EXPECT_EQ(MatchKey("[   12.758220]  Port  9..10"), "[ #.#] Port #..#");
}

TEST(BootCompare, TheBootIsTheLinesFromTheLastResetToThePromptEachWithItsLooksTime) {
  const std::string text = "before\nopen at the reset";
  const std::string rest = "...\nfirst\nsecond\nthird\nvsc7420# help\nafter\n";
  const uint64_t reset = text.size();
  const std::string all = text + rest;
  const uint64_t first = all.find("first"), second = all.find("second"), third = all.find("third"),
                 prompt = all.find("vsc7420#");
  auto rec = [](uint64_t offset, int64_t resetUs, std::string what) {
    return TimesRecord{offset, 0, resetUs, std::move(what)};
  };
  const std::vector<TimesRecord> records = {
      rec(0, -1, "start: route 0"), rec(0, -1, "line"), rec(reset, 0, "reset"),
      rec(first, 5000, "line"),  // second came in the same look
      rec(third, 9000, "line"), rec(prompt, 12000, "line"), rec(prompt + 9, 12000, "boot: prompt after 12.0 ms")};
  const Boot boot = BootOfSession(all, records);
  ASSERT_TRUE(boot.found);
  ASSERT_EQ(boot.lines.size(), 4u);
  EXPECT_EQ(boot.lines[0].text, "first");
  EXPECT_EQ(boot.lines[1].us, 5000u);
  EXPECT_EQ(boot.lines[1].offset, second);
  EXPECT_EQ(boot.lines[2].us, 9000u);
  EXPECT_EQ(boot.lines[3].text, "vsc7420# help");
  EXPECT_EQ(boot.report, "boot: prompt after 12.0 ms");
  EXPECT_FALSE(BootOfSession(all, {rec(0, -1, "line")}).found);
}

TEST(BootCompare, TwoSimulatedBootsOneWithASlowStepDifferByThatLineAlone) {
  TempFolder folder;
  std::filesystem::current_path(folder.path());
  folder.Write("Qb7_Uart.cfg", "#PROMPT 0 \"vsc7420#\"\n");
  VirtualClock clock;
  sim::BootPlan plan;
  plan.jitter = true;  // the board's usual variation, far below the threshold
  plan.seed = 11;
  plan.pattern = ".s";
  sim::SimulatedBoard board(clock, 115200, plan);
  UnattendedFrontend frontend;
  Console console(frontend, clock);
  Files files(folder.path());
  InlineLogWriter log;
  Machine machine(console, files, board, log);
  LoadConfiguration(files, machine.store);
  struct Sink final : BootSink {
    void Boot(const BootRecord& r, int, int) override { names.push_back(r.log); }
    std::vector<std::string> names;
  } sink;
  BootBatchOptions options;
  options.boots = 2;
  {
    ProgramLoop loop(machine);
    BootBatch batch(machine, loop, options, sink, [] { return 0; });
    EXPECT_THROW(loop.Run(batch), ProgramExit);
  }
  files.CloseAll();
  log.Finish(0);
  ASSERT_EQ(KeepLastSession(folder.path() + "/Term.txt", uint64_t{1} << 30).keptAs, sink.names.at(1));
  std::vector<Boot> boots;
  for (const std::string& name : sink.names)
    boots.push_back(BootOfSession(folder.Read(name + ".txt"), ParseTimesRecords(folder.Read(name + ".times"))));
  const BootComparison c = CompareBoots(boots[0], boots[1], 100000);
  EXPECT_EQ(c.added + c.missing, 0) << ComparisonText(c, "A", boots[0], "B", boots[1], 100000);
  ASSERT_EQ(c.flagged, 1);
  for (const ComparedLine& l : c.lines)
    if (l.flagged) {
      EXPECT_NE(l.text.find("Port  1..8: link down"), std::string::npos) << l.text;
      EXPECT_GT(l.stepChangeUs, 700000);
    }
}

}  // namespace
}  // namespace qb7::test
