// Two boots side by side: lines matched with their numbers masked, the one
// line whose own step took longer flagged and no other, new and missing
// lines marked; and the boot read back from a kept session's files.
#include <gtest/gtest.h>

#include "app/boot_batch.hpp"
#include "compare/boot_compare.hpp"
#include "compare/boot_follower.hpp"
#include "session/kept_boots.hpp"
#include "view/view_keys.hpp"
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

TEST(BootFollower, EachLineAsItComesIsMatchedAheadMissingAndNewToldMovedFlagged) {
  BootFollower f;
  f.Start(Lines({{"[ 0.1] a", 100}, {"b", 200}, {"c", 300}, {"d", 400}}));
  auto line = [&](const char* text, uint64_t ms) { return f.Line(text, ms * 1000); };
  const LineVersus a = line("[ 0.15] a", 150), c = line("c", 850), x = line("x", 900), d = line("d", 950);
  EXPECT_EQ(a.kind, LineVersus::Kind::Matched);
  EXPECT_EQ(a.us, 50000);
  EXPECT_FALSE(a.moved);
  EXPECT_EQ(c.kind, LineVersus::Kind::Matched);
  EXPECT_EQ(c.missing, 1);  // b
  EXPECT_TRUE(c.moved);     // 700 ms after a, where it was 200
  EXPECT_EQ(x.kind, LineVersus::Kind::New);
  EXPECT_EQ(d.us, 550000);
  EXPECT_FALSE(d.moved);    // 100 ms after c, as before
  const Boot kept = f.Take();
  ASSERT_EQ(kept.lines.size(), 4u);
  EXPECT_EQ(kept.lines[2].text, "x");
  // With no boot before, nothing is told, but the boot is kept all the same.
  f.Start(Boot{});
  EXPECT_EQ(f.Line("a", 1).kind, LineVersus::Kind::None);
  EXPECT_EQ(f.Take().lines.size(), 1u);
}

// The second of two captures in one run, one step of it slow: in the
// history, each of its lines carries its difference from the first boot's
// same line, and only the slow line is flagged. The next run starts with
// that boot as route 0's last.
TEST(BootFollower, TheHistoryOfASecondCaptureFlagsTheSlowLineAloneAndTheNextRunKnowsIt) {
  sim::BootPlan plan;
  plan.pattern = ".s";
  Bench b(true, 115200, plan);
  b.folder.Write("Qb7_Uart.cfg", "#PROMPT 0 \"vsc7420#\"\n");
  std::vector<std::string> shown;
  b.frontend.AddKeyAt(1000, std::string(kResetAndCapture));
  b.frontend.AddKeyAt(4000000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(4200000, std::string(kResetAndCapture));
  b.frontend.AddKeyAt(9000000, std::string(view::WheelUp));
  b.frontend.AddKeyAt(9001000, "t");
  b.frontend.AddKeyAt(9002000, "t");
  b.frontend.AddActionAt(9100000, [&] {
    const Picture& p = b.frontend.Shown();
    for (int r = 0; r < p.rows; ++r) shown.push_back(p.RowText(r));
  });
  b.frontend.AddKeyAt(9200000, "q");
  b.frontend.AddKeyAt(9300000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(9400000, "q");
  ASSERT_EQ(b.Run(), 0);
  // Every row of the second session, kept in the history as it left.
  int matched = 0;
  std::vector<std::string> moved;
  const HistoryStore& history = b.frontend.viewer().history();
  for (uint64_t n = 0; const KeptRow* row = history.Find(n); ++n) {
    if (row->time.session != 2) continue;
    std::string text;
    for (const Cell& c : row->cells) text.push_back(static_cast<char>(c.ch));
    if (row->time.versus.kind == RowVersus::Kind::Matched) ++matched;
    EXPECT_NE(row->time.versus.kind, RowVersus::Kind::New) << text;
    if (row->time.versus.moved) {
      moved.push_back(text);
      EXPECT_GT(row->time.versus.us, 700000);
    }
  }
  EXPECT_GE(matched, 43);
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_NE(moved[0].find("Port  1..8: link down"), std::string::npos) << moved[0];
  // On the screen: t twice, the difference beside the time, flagged.
  bool flaggedShown = false;
  for (const std::string& row : shown)
    if (row.find("2.206576] Port  1..8: link down") != std::string::npos) {
      EXPECT_EQ(row.substr(12, 9), "  +799.5!") << row;
      flaggedShown = true;
    } else if (row.find("Port  1..8: link down") != std::string::npos) {
      EXPECT_EQ(row.substr(12, 9), "  +799.5 ") << row;  // the next line: later, its own step as before
    }
  EXPECT_TRUE(flaggedShown) << ::testing::PrintToString(shown);
  // The next run compares with this boot.
  const auto last = ReadLastBoots(b.folder.path() + "/Term.txt");
  ASSERT_TRUE(last[0].found);
  EXPECT_EQ(last[0].lines.size(), 46u);
  EXPECT_NE(last[0].report.find("prompt after"), std::string::npos);
}

}  // namespace
}  // namespace qb7::test
