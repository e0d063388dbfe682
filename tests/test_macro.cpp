#include <gtest/gtest.h>
#include <sys/stat.h>

#include "harness.hpp"
#include "macro/macro_scanner.hpp"
#include "session/macro_play.hpp"

namespace qb7 {
namespace {

struct MacroBench : test::Bench {
  MacroBench() : Bench(false) { RecordMessages(); }
  void Play(const std::string& line) {
    machine.store.ClearCounts();
    machine.store.SetSlotLine(1, 1, line);
    PlaySlot(1);
  }
  // Plays a slot through the outbox, turning the loop until all is sent.
  void PlaySlot(int slot) {
    MacroPlay(machine.store, slot, loop().outbox);
    ASSERT_TRUE(Settle());
  }
  // Bytes written to the transmit register, with their times.
  std::string Sent() const { return ports.Transmitted(); }
  std::vector<uint64_t> SendTimes() const {
    std::vector<uint64_t> t;
    for (const auto& a : ports.Register(test::reg::kTx))
      if (a.write) t.push_back(a.atUs);
    return t;
  }
};

struct Row {
  std::string line;
  std::string sent;
  std::vector<std::string> messages;
};

TEST(MacroPlay, TheTableOfSlotLines) {
  const std::vector<Row> rows = {
      {"$65", "A", {}},
      {"$27\"[A\"", "\x1b", {}},
      {"$27 \"[A\"", "\x1b[A", {}},
      {"cR", "\r", {}},
      {"Cr", "", {"Cmd:Cr   Pos2 ??"}},
      {"lF", "\n", {}},
      {"LF", "\n", {}},
      {"\"a'b\"  'x", "a'b", {}},
      {"\"abc", "abc ", {}},
      {"$ x", std::string(1, '\0'), {"Cmd:$ x   Pos3 ??"}},
      {"\"ok\"X", "ok", {"Cmd:\"ok\"X   Pos5 ??"}},
      {"$300", ",", {}},          // codes outside 0..255 send their low 8 bits
      {"$-1", "\xff", {}},
      {"$&H1B $&B1000001 $&O101", "\x1b" "AA", {}},
      {"$2.5 $3.5", "\x02\x04", {}},
      {"$" + std::string(40, '9'), "\xff", {}},
      {"'just a comment", "", {}},
  };
  for (const Row& r : rows) {
    MacroBench b;
    for (std::size_t i = 0; i < r.messages.size(); ++i) b.frontend.AddKey("x");
    b.Play(r.line);
    EXPECT_EQ(b.Sent(), r.sent) << r.line;
    EXPECT_EQ(b.messages, r.messages) << r.line;
  }
}

TEST(MacroPlay, TheWorkedExample) {
  MacroBench b;
  b.Play("\"ver\" CR W500 \"help\" $13 LF");
  EXPECT_EQ(b.Sent(), "ver\rhelp\r\n");
  auto t = b.SendTimes();
  ASSERT_EQ(t.size(), 10u);
  // 10 ms after each byte; 500 ms more before "help".
  EXPECT_GE(t[1] - t[0], 10000u);
  EXPECT_LT(t[1] - t[0], 10100u);
  EXPECT_GE(t[4] - t[3], 510000u);
  EXPECT_LT(t[4] - t[3], 510100u);
}

TEST(MacroPlay, ShortWaitsAreNotShortenedAndLongOnesEndOnAKey) {
  MacroBench a;
  a.frontend.AddKeyAt(5000, "k");
  a.Play("W50 $1");
  EXPECT_GE(a.SendTimes()[0], 50000u);
  MacroBench b;
  b.frontend.AddKeyAt(120000, "k");
  b.Play("W1000 $1");
  EXPECT_GE(b.SendTimes()[0], 150000u);
  EXPECT_LT(b.SendTimes()[0], 151000u);
  EXPECT_EQ(b.console.ReadKey(), "k");  // the key stays for the session
  MacroBench c;
  c.Play("W1000 $1");
  EXPECT_GE(c.SendTimes()[0], 1000000u);
}

TEST(MacroPlay, WaitMinusOneWaitsForAKeyAndOtherNegativesDoNot) {
  MacroBench a;
  a.frontend.AddKeyAt(3000000, "k");
  a.Play("W-1 $1");
  EXPECT_GE(a.SendTimes()[0], 3000000u);
  MacroBench b;
  b.Play("W-7 $1");
  EXPECT_LT(b.SendTimes()[0], 1000u);
}

TEST(MacroPlay, EmptySlotsDoNothingAndSeveralLinesRunTheExternalProgram) {
  MacroBench a;
  a.machine.store.ClearCounts();
  a.PlaySlot(5);
  EXPECT_TRUE(a.ports.log.empty());

  MacroBench b;
  b.folder.Write("GP.EXE", "#!/bin/sh\ntouch \"$(dirname \"$0\")/gp-ran\"\n");
  chmod((b.folder.path() + "/GP.EXE").c_str(), 0755);
  b.machine.store.ClearCounts();
  b.machine.store.SetSlotLine(7, 1, "\"never\"");
  b.machine.store.SetSlotLine(7, 2, "\"sent\"");
  b.PlaySlot(7);
  ASSERT_TRUE(b.TurnUntil([&] { return !b.loop().external.Active(); }));
  EXPECT_TRUE(b.ports.log.empty());
  EXPECT_TRUE(b.folder.Exists("gp-ran"));
  EXPECT_EQ(b.frontend.Lends(), 1);
  EXPECT_EQ(b.frontend.TakeBacks(), 1);
  EXPECT_TRUE(b.messages.empty());

  // Without the program: a message line, not a shell's error.
  std::filesystem::remove(b.folder.path() + "/GP.EXE");
  b.frontend.AddKey("x");
  b.PlaySlot(7);
  ASSERT_TRUE(b.TurnUntil([&] { return !b.loop().external.Active(); }));
  ASSERT_TRUE(b.Settle());
  EXPECT_EQ(b.messages, std::vector<std::string>{"Cannot run GP.EXE: not found in " +
                                                 b.folder.path() + " nor on the PATH"});
  EXPECT_EQ(b.frontend.Lends(), 1);
}

// The scanner alone: the steps, with nothing sent.
TEST(MacroScanner, TheStepsOfALineInOrder) {
  using Kind = MacroStep::Kind;
  const auto steps = ScanMacro("\"a\" W150 W-1 W0 W-7 $66 x CR");
  ASSERT_EQ(steps.size(), 6u);
  EXPECT_EQ(steps[0].kind, Kind::Send);
  EXPECT_EQ(steps[0].byte, 'a');
  EXPECT_EQ(steps[1].kind, Kind::Pause);
  EXPECT_EQ(steps[1].ms, 150);
  EXPECT_EQ(steps[2].kind, Kind::PauseUntilKey);
  // W0 and W-7 wait for nothing.
  EXPECT_EQ(steps[3].kind, Kind::Send);
  EXPECT_EQ(steps[3].byte, 66);
  EXPECT_EQ(steps[4].kind, Kind::Report);
  EXPECT_EQ(steps[4].position, 25u);
  EXPECT_EQ(MacroReportHead("\"a\" W150 W-1 W0 W-7 $66 x CR") + MacroReportTail(25),
            "Cmd:\"a\" W150 W-1 W0 W-7 $66 x CR   Pos25 ??");
  EXPECT_EQ(steps[5].kind, Kind::Send);
  EXPECT_EQ(steps[5].byte, 13);
  EXPECT_TRUE(ScanMacro("").empty());
  EXPECT_TRUE(ScanMacro("' all comment $1").empty());
}

// What a line does that its writer may not have meant, found before it is
// played, each at the column where its word begins.
TEST(MacroScanner, CheckingALineFindsWhatMayNotBeMeant) {
  using Found = std::vector<std::pair<std::size_t, std::string>>;
  const auto check = [](std::string_view line) {
    Found found;
    for (const MacroFinding& f : CheckMacro(line)) found.emplace_back(f.position, f.text);
    return found;
  };
  EXPECT_EQ(check("\"help\" CRR"), (Found{{8, "unknown word CRR"}}));
  EXPECT_EQ(check("\"version CR"), (Found{{1, "a quote not closed: the rest of the line goes as text"}}));
  EXPECT_EQ(check("XYZ C"), (Found{{1, "unknown word XYZ"}, {5, "unknown word C"}}));
  EXPECT_EQ(check("$300 $-1 $ $1x $&H41"),
            (Found{{1, "$300: beyond 0..255: sends byte 44"},
                   {6, "$-1: beyond 0..255: sends byte 255"},
                   {10, "$: no number: sends byte 0"},
                   {12, "$1x: read as $1"}}));
  EXPECT_EQ(check("W5x0 Wait W-3 W-1 W0"),
            (Found{{1, "W5x0: read as W5"}, {6, "Wait: no number: waits nothing"}, {11, "W-3: waits nothing"}}));
  // A clean line, and what stands after a comment, find nothing.
  EXPECT_TRUE(check("\"show ver\" CR LF $3 W500 W-1 CRLF ' XYZ $999").empty());
  // The line plays as scanned all the same.
  EXPECT_EQ(ScanMacro("$300").front().byte, 44);
}

}  // namespace
}  // namespace qb7

namespace qb7 {
namespace {

TEST(MacroBadInput, AHugeWaitEndsOnAKeyAndHugeCodesSendTheirLowBits) {
  MacroBench b;
  b.frontend.AddKeyAt(7000000, "k");
  b.Play("W" + std::string(40, '9') + " $1");
  EXPECT_GE(b.SendTimes()[0], 7000000u);
  EXPECT_LT(b.SendTimes()[0], 7100000u);
}

}  // namespace
}  // namespace qb7
