// Boots in a batch on the simulated board and a virtual clock: each boot a
// session of its own, its verdict the board's own doing, the report's
// numbers and its escaping.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

#include "app/boot_batch.hpp"
#include "console/unattended_frontend.hpp"
#include "harness.hpp"
#include "log/session_keeping.hpp"
#include "sim/simulated_board.hpp"

namespace qb7::test {
namespace {

struct Records final : BootSink {
  void Boot(const BootRecord& record, int total, int failures) override {
    EXPECT_EQ(total, expectedTotal);
    EXPECT_EQ(failures, static_cast<int>(std::count_if(seen.begin(), seen.end(),
                                                       [](const BootRecord& r) { return !r.Passed(); })) +
                            (record.Passed() ? 0 : 1));
    seen.push_back(record);
  }
  int expectedTotal = 0;
  std::vector<BootRecord> seen;
};

// The program's loop over an unattended console and a simulated board
// whose boots vary as the plan says, in a fresh folder.
struct BatchBench {
  explicit BatchBench(sim::BootPlan plan)
      : board(clock, 115200, std::move(plan)), console(frontend, clock), files(folder.path()),
        machine(console, files, board, log) {
    std::filesystem::current_path(folder.path());
    folder.Write("Qb7_Uart.cfg", "#PROMPT 0 \"vsc7420#\"\n");
  }
  // Runs the batch to its end; stopAt: the boot after which a signal asks it to stop.
  int Run(BootBatchOptions options, int stopAfter = 0) {
    LoadConfiguration(files, machine.store);
    sink.expectedTotal = options.boots;
    ProgramLoop loop(machine);
    loop.messages.Unattended([this](std::string_view text) { told.emplace_back(text); });
    BootBatch batch(machine, loop, options, sink, [&] {
      return stopAfter != 0 && static_cast<int>(sink.seen.size()) >= stopAfter ? 15 : 0;
    });
    try {
      loop.Run(batch);
    } catch (const ProgramExit& e) {
      EXPECT_EQ(e.status, batch.Status());
    }
    files.CloseAll();
    log.Finish(0);
    stoppedBy = batch.StoppedBy();
    return batch.Status();
  }

  TempFolder folder;
  VirtualClock clock;
  sim::SimulatedBoard board;
  UnattendedFrontend frontend;
  Console console;
  Files files;
  InlineLogWriter log;
  Machine machine;
  Records sink;
  std::vector<std::string> told;
  int stoppedBy = 0;
};

BootBatchOptions Boots(int n, double timeoutS = 10) {
  BootBatchOptions o;
  o.boots = n;
  o.timeOutUs = static_cast<uint64_t>(timeoutS * 1e6);
  return o;
}

TEST(BootBatch, ReportsExactlyTheBootsTheBoardMadeFailEachKeptUnderItsName) {
  sim::BootPlan plan;
  plan.jitter = true;
  plan.seed = 7;
  plan.failRate = 0.2;
  BatchBench b(plan);
  BootBatchOptions options = Boots(50);
  options.until = "vsc7420#";
  EXPECT_EQ(b.Run(options), 1);
  const auto& fates = b.board.boots();
  ASSERT_EQ(fates.size(), 50u);
  ASSERT_EQ(b.sink.seen.size(), 50u);
  int hung = 0;
  std::set<uint64_t> promptTimes;
  for (std::size_t i = 0; i < fates.size(); ++i) {
    const BootRecord& r = b.sink.seen[i];
    EXPECT_EQ(r.index, static_cast<int>(i) + 1);
    if (fates[i] == sim::BootFate::Hang) {
      ++hung;
      EXPECT_EQ(r.verdict, BootVerdict::TimeOut) << "boot " << r.index;
      EXPECT_TRUE(r.anything);
    } else {
      EXPECT_EQ(r.verdict, BootVerdict::Prompt) << "boot " << r.index;
      // The boot log's 43 lines, 60 ms each, a quarter either way.
      EXPECT_GT(r.promptUs, 1800000u);
      EXPECT_LT(r.promptUs, 3400000u);
      promptTimes.insert(r.promptUs);
    }
    EXPECT_LT(r.firstByteUs, 20000u);
    // Every session but the last is kept under the name the report gives
    // it; the last is Term.txt until the batch's end keeps it.
    if (i + 1 < fates.size()) {
      EXPECT_TRUE(b.folder.Exists(r.log + ".times")) << r.log;
    }
  }
  EXPECT_GT(hung, 3);
  EXPECT_LT(hung, 20);
  // The jitter makes every boot's time its own.
  EXPECT_GT(promptTimes.size(), 30u);
  // The last boot's name, once it is kept, is the one reported.
  EXPECT_EQ(KeepLastSession(b.folder.path() + "/Term.txt", uint64_t{1} << 30).keptAs,
            b.sink.seen.back().log);
  const BootSummary s = Summarize(b.sink.seen, false);
  EXPECT_EQ(s.failures, hung);
  EXPECT_LE(s.minUs, s.medianUs);
  EXPECT_LE(s.medianUs, s.p95Us);
  EXPECT_LE(s.p95Us, s.maxUs);
  EXPECT_EQ(s.minUs, *promptTimes.begin());
  EXPECT_EQ(s.maxUs, *promptTimes.rbegin());
}

TEST(BootBatch, TheSameSeedGivesTheSameBootsAndAnotherOtherBoots) {
  auto times = [](uint64_t seed) {
    sim::BootPlan plan;
    plan.jitter = true;
    plan.seed = seed;
    BatchBench b(plan);
    EXPECT_EQ(b.Run(Boots(4)), 0);
    std::vector<uint64_t> t;
    for (const BootRecord& r : b.sink.seen) t.push_back(r.promptUs);
    return t;
  };
  EXPECT_EQ(times(3), times(3));
  EXPECT_NE(times(3), times(4));
}

TEST(BootBatch, APanicBootsAgainAndReachesThePromptLateAHangTimesOut) {
  sim::BootPlan plan;
  plan.pattern = ".ph";
  BatchBench b(plan);
  EXPECT_EQ(b.Run(Boots(3, 8)), 1);
  ASSERT_EQ(b.sink.seen.size(), 3u);
  const BootRecord& good = b.sink.seen[0];
  const BootRecord& panic = b.sink.seen[1];
  const BootRecord& hang = b.sink.seen[2];
  EXPECT_TRUE(good.Passed());
  EXPECT_TRUE(panic.Passed());
  // Half a boot, the second it waits, then a whole boot again.
  EXPECT_GT(panic.promptUs, good.promptUs + good.promptUs / 2 + 900000);
  EXPECT_EQ(hang.verdict, BootVerdict::TimeOut);
  EXPECT_EQ(hang.Why(), "no prompt within 8 s");
  EXPECT_NE(b.folder.Read(panic.log + ".txt").find("Kernel panic"), std::string::npos);
}

TEST(BootBatch, ASignalStopsTheBatchAfterTheBootUnderWay) {
  BatchBench b({});
  EXPECT_EQ(b.Run(Boots(10), 2), 0);
  EXPECT_EQ(b.sink.seen.size(), 2u);
  EXPECT_EQ(b.stoppedBy, 15);
  EXPECT_TRUE(Summarize(b.sink.seen, true).stopped);
}

TEST(BootBatch, WithNoBoardEveryBootFailsAsSuchAndNothingWaitsForAKey) {
  BatchBench b({});
  b.board.SetAbsent(0, UINT64_MAX);
  EXPECT_EQ(b.Run(Boots(2, 3)), 1);
  ASSERT_EQ(b.sink.seen.size(), 2u);
  for (const BootRecord& r : b.sink.seen) {
    EXPECT_EQ(r.verdict, BootVerdict::NoBoard);
    EXPECT_FALSE(r.anything);
  }
  // Each boot ended at its time-out, not held by a message line.
  EXPECT_LT(b.clock.NowUs(), 9000000u);
}

TEST(BootBatch, BootsStartInSecondsOfTheirOwnSoEveryKeptNameDiffers) {
  // A quick prompt: the text ends the boot at its first line.
  BatchBench b({});
  BootBatchOptions options = Boots(3);
  options.until = "Reset cause";
  EXPECT_EQ(b.Run(options), 0);
  std::set<std::string> names;
  for (const BootRecord& r : b.sink.seen) {
    EXPECT_LT(r.promptUs, 100000u);
    names.insert(r.log);
  }
  EXPECT_EQ(names.size(), 3u);
}

TEST(BootReportText, TheSummarysMedianAndPercentileAreThoseOfThePassedBoots) {
  std::vector<BootRecord> boots;
  for (uint64_t ms : {5u, 1u, 4u, 2u, 3u, 100u}) {
    BootRecord r;
    r.verdict = BootVerdict::Prompt;
    r.prompt = true;
    r.promptUs = ms * 1000;
    boots.push_back(r);
  }
  boots[5].verdict = BootVerdict::TimeOut;  // its time is not a time to the prompt
  BootSummary s = Summarize(boots, false);
  EXPECT_EQ(s.failures, 1);
  EXPECT_EQ(s.minUs, 1000u);
  EXPECT_EQ(s.medianUs, 3000u);
  EXPECT_EQ(s.p95Us, 5000u);
  EXPECT_EQ(s.maxUs, 5000u);
  boots[5].verdict = BootVerdict::Prompt;  // six boots: the median between the middle two
  s = Summarize(boots, false);
  EXPECT_EQ(s.medianUs, 3500u);
  EXPECT_EQ(s.p95Us, 100000u);
  EXPECT_EQ(SummaryJsonLine(Summarize({}, false)),
            "{\"summary\":{\"boots\":0,\"failures\":0,\"stopped\":false,\"prompt_ms\":null}}");
}

TEST(BootReportText, NamesAndTextsAreEscapedForJsonAndXml) {
  EXPECT_EQ(JsonEscaped("a\"b\\c\x01\xC3\xA9\xFF"), "a\\\"b\\\\c\\u0001\xC3\xA9\xEF\xBF\xBD");
  EXPECT_EQ(XmlEscaped("<a & 'b'>\x02\xE2\x82"), "&lt;a &amp; &apos;b&apos;&gt;\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  BootRecord r;
  r.index = 2;
  r.start = "2026-12-10T08:00:00.000+00:00";
  r.verdict = BootVerdict::TimeOut;
  r.timeOutUs = 10000000;
  EXPECT_EQ(JsonLine(r),
            "{\"boot\":2,\"start\":\"2026-12-10T08:00:00.000+00:00\",\"route\":0,\"result\":\"time-out\","
            "\"first_byte_ms\":null,\"prompt_ms\":null,\"log\":null}");
  const std::string xml = JUnitXml({r}, Summarize({r}, false), "boots <0>", "now");
  EXPECT_NE(xml.find("name=\"boots &lt;0&gt;\" tests=\"1\" failures=\"1\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("<failure type=\"time-out\" message=\"nothing received within 10 s\">"), std::string::npos);
}

TEST(BootBatchOptions, TakesItsOwnOptionsAndRefusesBadOnes) {
  std::vector<std::string> args = {"--line-baud", "9600", "--boots=5", "--route", "3", "--until",
                                   "DK22S>", "--timeout", "2.5", "--json", "r.jsonl"};
  BootBatchOptions o;
  std::string error;
  ASSERT_TRUE(TakeBootBatchOptions(args, o, error)) << error;
  EXPECT_EQ(args, (std::vector<std::string>{"--line-baud", "9600"}));
  EXPECT_EQ(o.boots, 5);
  EXPECT_EQ(o.route, 3);
  EXPECT_EQ(o.until, "DK22S>");
  EXPECT_EQ(o.timeOutUs, 2500000u);
  EXPECT_EQ(o.json, "r.jsonl");
  for (auto bad : std::vector<std::vector<std::string>>{
           {"--boots", "0"}, {"--boots", "x"}, {"--boots", "3", "--route", "6"},
           {"--boots", "3", "--timeout", "nan"}, {"--boots", "3", "--until", ""},
           {"--route", "1"}, {"--boots"}}) {
    BootBatchOptions none;
    error.clear();
    EXPECT_FALSE(TakeBootBatchOptions(bad, none, error)) << bad[0];
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace qb7::test
