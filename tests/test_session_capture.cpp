// Evidence kept: a boot captured from its first byte (Ctrl-R), every
// session that received something kept under its own name within the
// budget, the bytes as received (Term.raw), and when each line came
// (Term.times), on the virtual clock with the simulated board.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "app/route_menu.hpp"
#include "harness.hpp"
#include "keys/keys.hpp"
#include "log/times_format.hpp"
#include "session/boot_watch.hpp"
#include "sim/console_far_end.hpp"

namespace qb7 {
namespace {

constexpr std::string_view kFirstBootLine = "[    0.000000] Reset cause: external reset pin\r\n";

struct CaptureBench : test::Bench {
  CaptureBench() {
    folder.Write("Qb7_Uart.cfg", "' nothing\n");
    RecordMessages(true);
  }
  // A session opened with the key at a time, left with Shift-F2 after a while.
  uint64_t Session(const std::string& key, uint64_t atUs, uint64_t lastsUs = 3000000) {
    frontend.AddKeyAt(atUs, key);
    frontend.AddKeyAt(atUs + lastsUs, std::string(keys::KeyShiftF2));
    return atUs + lastsUs + 100000;
  }
  int Quit(uint64_t atUs) {
    frontend.AddKeyAt(atUs, "q");
    return Run();
  }
};

// One record of Term.times, its columns as written.
struct Record {
  uint64_t offset;
  uint64_t raw;
  double sessionMs;
  std::string resetMs;
  std::string date;
  std::string what;
};
std::vector<Record> ReadTimes(const std::string& text) {
  std::vector<Record> records;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Record r;
    std::string offset, raw, session;
    std::getline(fields, offset, '\t');
    std::getline(fields, raw, '\t');
    std::getline(fields, session, '\t');
    std::getline(fields, r.resetMs, '\t');
    std::getline(fields, r.date, '\t');
    std::getline(fields, r.what);
    r.offset = std::stoull(offset);
    r.raw = std::stoull(raw);
    r.sessionMs = std::stod(session);
    records.push_back(r);
  }
  return records;
}

TEST(Capture, CtrlRInTheMenuCapturesTheBootFromItsFirstByte) {
  CaptureBench b;
  const uint64_t end = b.Session(std::string(kResetAndCapture), 1000);
  ASSERT_EQ(b.Quit(end), 0);
  // The route register, then the UART, then the pulse: the line is read
  // before the VSC7420 starts talking.
  const std::string route = b.ports.Written(board::kRouteRegister);
  EXPECT_EQ(route.substr(0, 1), std::string(1, '\0'));
  EXPECT_EQ(b.ports.Written(board::kResetRegister), std::string("\x01\x00", 2));
  uint64_t enabledUs = 0, assertedUs = 0, releasedUs = 0;
  for (const auto& a : b.ports.log) {
    if (!a.write || a.port != test::kData) continue;
    if (a.reg == board::kUartBase + test::reg::kEnable && enabledUs == 0) enabledUs = a.atUs;
    if (a.reg == board::kResetRegister && a.value == 1) assertedUs = a.atUs;
    if (a.reg == board::kResetRegister && a.value == 0) releasedUs = a.atUs;
  }
  EXPECT_LT(enabledUs, assertedUs);
  EXPECT_GE(releasedUs - assertedUs, 10000u);
  const std::string log = b.folder.Read("Term.txt");
  EXPECT_EQ(log.substr(0, kFirstBootLine.size()), kFirstBootLine);
  EXPECT_NE(log.find("Starting management CLI"), std::string::npos);
  EXPECT_TRUE(b.messages.empty());
}

TEST(Capture, RThenTheRouteLosesTheStartOfTheBoot) {
  // The menu's R still pulses at once, with nothing reading the line:
  // what Ctrl-R is for.
  CaptureBench b;
  b.frontend.AddKeyAt(1000, "r");
  const uint64_t end = b.Session("0", 1500000);
  ASSERT_EQ(b.Quit(end), 0);
  EXPECT_EQ(b.folder.Read("Term.txt").find("Reset cause"), std::string::npos);
}

// The kept sessions in the folder, by name (which sorts by time).
std::vector<std::string> Kept(const test::TempFolder& folder, const std::string& extension) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    const std::string name = entry.path().filename();
    if (name.rfind("Term-2", 0) == 0 && entry.path().extension() == extension) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Capture, EverySessionThatReceivedIsKeptUnderItsOwnNameByDateAndRoute) {
  CaptureBench b;
  // An earlier version's logs are left as they are.
  b.folder.Write("Term.1.txt", "an earlier version's log\r\n");
  // Fifteen sessions on J27: every third receives nothing, one meets a
  // board switched off (a message, worth keeping though nothing came).
  b.board->SetAbsent(34500000, 35500000);  // in session 12
  uint64_t at = 1000;
  std::vector<std::string> received;
  for (int n = 1; n <= 15; ++n) {
    if (n % 3 != 0) {
      const std::string text = "session " + std::to_string(n) + "\r\n";
      b.board->FarEndOn(2)->outbox().Send(text, at + 500000);
      received.push_back(text);
    }
    at = b.Session("2", at);
  }
  ASSERT_EQ(b.Quit(at), 0);
  // The last session (which received nothing) is Term.txt; each before it
  // that received something, or met the missing board, is kept, its text
  // and times side by side.
  EXPECT_EQ(b.folder.Read("Term.txt"), "");
  const std::vector<std::string> logs = Kept(b.folder, ".txt");
  std::vector<std::string> texts;
  for (const std::string& name : logs) {
    EXPECT_EQ(name.substr(name.size() - 7), "-r2.txt") << name;  // the route, in the name
    EXPECT_TRUE(b.folder.Exists(name.substr(0, name.size() - 4) + ".times")) << name;
    EXPECT_TRUE(b.folder.Exists(name.substr(0, name.size() - 4) + ".raw")) << name;
    texts.push_back(b.folder.Read(name));
  }
  std::vector<std::string> expected = received;
  expected.insert(expected.begin() + 8, "");  // session 12 received nothing but met the board gone
  EXPECT_EQ(texts, expected);
  // The first kept is the first session: 2026-01-01 at 00:00:00 on the virtual clock.
  ASSERT_FALSE(logs.empty());
  EXPECT_EQ(logs.front(), "Term-20260101-000000-r2.txt");
  EXPECT_EQ(b.folder.Read("Term.1.txt"), "an earlier version's log\r\n");
  // Each new session says where the one before went.
  EXPECT_NE(b.folder.Read("Term.times").find("the session before kept as Term-"), std::string::npos);
}

TEST(Capture, KeptSessionsOverTheBudgetGoOldestFirstEachTold) {
  CaptureBench b;
  b.folder.Write("Qb7_Uart.cfg", "#KEEP 1\n");
  // Three kept sessions of 600 KB, and the last one still in Term.txt.
  const std::string big(600 * 1024, 'x');
  for (const char* name : {"Term-20251201-080000-r0", "Term-20251202-080000-r0", "Term-20251203-080000-r1"}) {
    b.folder.Write(std::string(name) + ".txt", big);
    b.folder.Write(std::string(name) + ".times", "# times\n");
  }
  b.folder.Write("Term.txt", "the last session\r\n");
  b.folder.Write("Term.times", "# times\n0\t0\t0.000\t-\t2025-12-04T09:10:11.000+00:00\tstart: route 3 \"J27\" 115200 baud\n");
  const uint64_t end = b.Session("2", 1000);
  ASSERT_EQ(b.Quit(end), 0);
  // 1.8 MB and the last session: the two oldest go, the newest stays.
  EXPECT_FALSE(b.folder.Exists("Term-20251201-080000-r0.txt"));
  EXPECT_FALSE(b.folder.Exists("Term-20251201-080000-r0.times"));
  EXPECT_FALSE(b.folder.Exists("Term-20251202-080000-r0.txt"));
  EXPECT_TRUE(b.folder.Exists("Term-20251203-080000-r1.txt"));
  EXPECT_EQ(b.folder.Read("Term-20251204-091011-r3.txt"), "the last session\r\n");
  ASSERT_EQ(b.messages.size(), 1u);
  EXPECT_EQ(b.messages[0],
            "Over #KEEP 1 MB: kept sessions removed: Term-20251201-080000-r0 and 1 more");
  const std::string times = b.folder.Read("Term.times");
  EXPECT_NE(times.find("kept session removed, over #KEEP 1 MB: Term-20251201-080000-r0\n"), std::string::npos);
  EXPECT_NE(times.find("kept session removed, over #KEEP 1 MB: Term-20251202-080000-r0\n"), std::string::npos);
}

TEST(Capture, AKeepingThatFailsLeavesTheOldLogAndSaysSo) {
  CaptureBench b;
  b.folder.Write("Term.txt", "the capture of a failure\r\n");
  // Term.times is a folder: the session before cannot be kept whole.
  std::filesystem::create_directory(b.folder.path() + "/Term.times");
  b.board->FarEndOn(2)->outbox().Send("retry\r\n", 500000);
  const uint64_t end = b.Session("2", 1000);
  ASSERT_EQ(b.Quit(end), 0);
  // Nothing moved, nothing emptied; this session is not logged.
  EXPECT_TRUE(Kept(b.folder, ".txt").empty());
  EXPECT_EQ(b.folder.Read("Term.txt"), "the capture of a failure\r\n");
  ASSERT_EQ(b.messages.size(), 1u);
  EXPECT_EQ(b.messages[0].substr(0, 51), "Old log kept, this session not logged: Term.times (");
}

TEST(Capture, TheRawFileHoldsEveryByteAsItCameAndTheRecordsPointIntoIt) {
  CaptureBench b;
  std::string sent = "A\001B\021C\177D\200E\377F\033G\r\n\033[31mred\033[0m line\r\n";
  for (int c = 0; c < 256; ++c) sent += static_cast<char>(c);
  sent += "\r\nend\r\n";
  b.board->FarEndOn(2)->outbox().Send(sent, 500000);
  const uint64_t end = b.Session("2", 1000);
  ASSERT_EQ(b.Quit(end), 0);
  const std::string raw = b.folder.Read("Term.raw");
  EXPECT_EQ(raw, sent);
  // Each line's record: at a line start of both files, the same line of each.
  const std::string log = b.folder.Read("Term.txt");
  int lines = 0;
  for (const Record& r : ReadTimes(b.folder.Read("Term.times"))) {
    if (r.what != "line") continue;
    ++lines;
    ASSERT_LE(r.raw, raw.size());
    EXPECT_TRUE(r.raw == 0 || raw[r.raw - 1] == '\n') << r.raw;
    EXPECT_EQ(std::count(raw.begin(), raw.begin() + r.raw, '\n'),
              std::count(log.begin(), log.begin() + r.offset, '\n'));
  }
  EXPECT_GE(lines, 4);
}

TEST(Capture, TermTimesMarksEveryLineByItsOffsetInOrderWithTheEvents) {
  CaptureBench b;
  const uint64_t end = b.Session(std::string(kResetAndCapture), 1000);
  ASSERT_EQ(b.Quit(end), 0);
  const std::string log = b.folder.Read("Term.txt");
  const std::vector<Record> records = ReadTimes(b.folder.Read("Term.times"));
  ASSERT_GE(records.size(), 4u);
  EXPECT_EQ(records.front().what, "start: route 0 \"VSC7420 Console - NEL=f(ST1)\" 115200 baud");
  EXPECT_EQ(records.front().date.substr(0, 10), "2026-01-01");
  EXPECT_EQ(records.back().what, "session left");
  // Every line start of Term.txt has a record at its offset, in order; no
  // record points elsewhere.
  std::vector<uint64_t> starts;
  for (uint64_t i = 0; i < log.size(); ++i)
    if (i == 0 || log[i - 1] == '\n') starts.push_back(i);
  std::vector<uint64_t> marked;
  double lastMs = 0;
  bool resetSeen = false;
  for (const Record& r : records) {
    EXPECT_GE(r.sessionMs, lastMs) << r.what;
    lastMs = r.sessionMs;
    if (r.what == "reset") {
      resetSeen = true;
      EXPECT_EQ(r.resetMs, "0.000");
      EXPECT_EQ(r.offset, 0u);  // nothing came before the boot
    }
    if (r.what != "line") continue;
    marked.push_back(r.offset);
    EXPECT_NE(r.resetMs, "-") << "a boot line with no time since the reset";
  }
  EXPECT_TRUE(resetSeen);
  // Each record at a line start; a line that came in the same look as the
  // one before shares its record. The boot's first lines come apart.
  for (uint64_t offset : marked)
    EXPECT_TRUE(std::binary_search(starts.begin(), starts.end(), offset)) << offset;
  ASSERT_GE(marked.size(), 10u);
  EXPECT_EQ(std::vector<uint64_t>(marked.begin(), marked.begin() + 10),
            std::vector<uint64_t>(starts.begin(), starts.begin() + 10));
  // The board sends its boot a line every kBootLineUs: each line's time is
  // the look that found its first byte, a few ms at most after it came.
  std::vector<double> lineMs;
  for (const Record& r : records)
    if (r.what == "line") lineMs.push_back(std::stod(r.resetMs));
  ASSERT_GE(lineMs.size(), 10u);
  for (std::size_t i = 1; i < 10; ++i)
    EXPECT_NEAR(lineMs[i] - lineMs[i - 1], sim::ConsoleFarEnd::kBootLineUs / 1000.0, 6.0) << i;
}

TEST(Capture, TheTimesRecordMessagesReceiveErrorsAndGpExe) {
  CaptureBench b;
  b.folder.Write("Qb7_Uart.cfg", "#F1 ?\n#F2\nGP.EXE\nGP.EXE\n");
  b.folder.Write("GP.EXE", "#!/bin/sh\nexit 3\n");
  chmod((b.folder.path() + "/GP.EXE").c_str(), 0755);
  b.frontend.AddKeyAt(1000, "2");
  b.frontend.AddKeyAt(300000, std::string(keys::KeyF1));
  b.frontend.AddKeyAt(600000, std::string(keys::KeyF2));
  b.frontend.AddKeyAt(2000000, std::string(keys::KeyShiftF2));
  ASSERT_EQ(b.Quit(2100000), 0);
  std::vector<std::string> whats;
  for (const Record& r : ReadTimes(b.folder.Read("Term.times")))
    if (r.what != "line") whats.push_back(r.what);
  auto has = [&](const std::string& what) {
    return std::find(whats.begin(), whats.end(), what) != whats.end();
  };
  EXPECT_TRUE(has("message: Cmd:?   Pos1 ??")) << testing::PrintToString(whats);
  EXPECT_TRUE(has("GP.EXE started"));
  EXPECT_TRUE(has("GP.EXE ended: " + b.folder.path() + "/GP.EXE, status 3"));
}

TEST(Capture, TheTimesRecordAReceiveErrorWhereItsTextBegins) {
  // A far end at 9600 against the session's 115200: framing errors.
  test::Bench b(true, 9600);
  b.folder.Write("Qb7_Uart.cfg", "' nothing\n");
  b.RecordMessages(true);
  b.board->FarEndOn(2)->outbox().Send("hello\r\n", 500000);
  b.frontend.AddKeyAt(1000, "2");
  b.frontend.AddKeyAt(2000000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(2100000, "q");
  ASSERT_EQ(b.Run(), 0);
  const std::vector<Record> records = ReadTimes(b.folder.Read("Term.times"));
  auto at = [&](const std::string& what) {
    for (const Record& r : records)
      if (r.what == what) return static_cast<int64_t>(r.offset);
    return int64_t{-1};
  };
  EXPECT_EQ(at("receive error: framing"), 0);  // before the garbled text it came with
  EXPECT_GE(at("message: UartRcvStr Framing Error"), 0);
}

TEST(TimesFormat, ARecordHasItsColumnsAndKeepsToOneLine) {
  setenv("TZ", "UTC", 1);
  tzset();
  TimeMark m;
  m.offset = 4096;
  m.raw = 5000;
  m.time.sessionUs = 12004;
  m.time.sinceResetUs = 306;
  m.time.wallUs = 1767312000ull * 1000000 + 135000;  // a day no other test writes
  m.what = "message: a\tb\r\nc";
  EXPECT_EQ(FormatMark(m), "4096\t5000\t12.004\t0.306\t2026-01-02T00:00:00.135+00:00\tmessage: a b  c\n");
  m.time.sinceResetUs = LogTime::kNoReset;
  m.what = "line";
  EXPECT_EQ(FormatMark(m), "4096\t5000\t12.004\t-\t2026-01-02T00:00:00.135+00:00\tline\n");
  // Without its date, the field stays, empty: the columns keep their places.
  EXPECT_EQ(FormatMark(m, false), "4096\t5000\t12.004\t-\t\tline\n");
  unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace qb7

namespace qb7 {
namespace {

int RowWithText(const std::vector<std::string>& rows, const std::string& text) {
  for (std::size_t r = 0; r < rows.size(); ++r)
    if (rows[r].find(text) != std::string::npos) return static_cast<int>(r);
  return -1;
}

// The boot as a measurement: a capture's report stands in Term.times at the
// time of the prompt's look (the configured prompt, or the line left open
// and then quiet), and on the bottom row with no key to wait for.
TEST(BootReport, ACaptureRecordsTheTimeToThePromptBesideThePromptLinesRecord) {
  for (const char* config : {"' nothing\n", "#PROMPT 0 \"vsc7420#\"\n"}) {
    CaptureBench b;
    b.folder.Write("Qb7_Uart.cfg", config);
    std::vector<std::string> shown;
    b.frontend.AddKeyAt(1000, std::string(kResetAndCapture));
    b.frontend.AddActionAt(4500000, [&] {
      const Picture& p = b.frontend.Shown();
      for (int r = 0; r < p.rows; ++r) shown.push_back(p.RowText(r));
    });
    b.frontend.AddKeyAt(5000000, std::string(keys::KeyShiftF2));
    ASSERT_EQ(b.Quit(5100000), 0) << config;
    const std::vector<Record> records = ReadTimes(b.folder.Read("Term.times"));
    const Record* boot = nullptr;
    const Record* lastLine = nullptr;
    for (const Record& r : records) {
      if (r.what.rfind("boot: ", 0) == 0) boot = &r;
      if (r.what == "line" && !boot) lastLine = &r;
    }
    ASSERT_NE(boot, nullptr) << config;
    ASSERT_NE(lastLine, nullptr);
    // "boot: first byte 1.0 ms, prompt after 2587.3 ms"
    double first = 0, prompt = 0;
    ASSERT_EQ(std::sscanf(boot->what.c_str(), "boot: first byte %lf ms, prompt after %lf ms", &first, &prompt), 2)
        << boot->what;
    EXPECT_LT(first, 20.0) << config;
    // The prompt came with the boot's last line: its record's time, within a millisecond.
    EXPECT_NEAR(prompt, std::stod(lastLine->resetMs), 1.0) << config;
    EXPECT_NEAR(std::stod(boot->resetMs), std::stod(lastLine->resetMs), 1.0) << config;
    EXPECT_GT(prompt, 1000.0);  // the boot log takes its time
    // On the screen, at the top right, without a key to wait for; the
    // prompt's row stays in sight.
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(shown.front().find("boot: prompt after "), std::string::npos) << shown.front();
    EXPECT_NE(RowWithText(shown, "vsc7420# "), -1);
    EXPECT_TRUE(b.messages.empty());
  }
}

TEST(BootReport, APowerCyclesBootIsTimedFromTheBoardsReturn) {
  CaptureBench b;
  b.folder.Write("Qb7_Uart.cfg", "#PROMPT 0 \"vsc7420#\"\n");
  b.board->SetAbsent(2000000, 6000000);
  b.frontend.AddKeyAt(1000, "0");  // the session, without a reset
  b.frontend.AddKeyAt(11000000, std::string(keys::KeyShiftF2));
  ASSERT_EQ(b.Quit(11100000), 0);
  const std::vector<Record> records = ReadTimes(b.folder.Read("Term.times"));
  double powerOnMs = -1;
  const Record* boot = nullptr;
  for (const Record& r : records) {
    if (r.what.rfind("power-on", 0) == 0) {
      powerOnMs = r.sessionMs;
      EXPECT_EQ(r.resetMs, "0.000");  // the times count from the return
    }
    if (r.what.rfind("boot: ", 0) == 0) boot = &r;
  }
  ASSERT_GE(powerOnMs, 5900.0);  // the board came back 6 s after the start
  ASSERT_NE(boot, nullptr);
  double first = 0, prompt = 0;
  ASSERT_EQ(std::sscanf(boot->what.c_str(), "boot: first byte %lf ms, prompt after %lf ms", &first, &prompt), 2)
      << boot->what;
  // From the return, not from the session's start 6 s before.
  EXPECT_LT(first, 1000.0);
  EXPECT_LT(prompt, 4000.0);
  EXPECT_NEAR(boot->sessionMs, powerOnMs + prompt, 1.0);
}

TEST(BootWatch, NoPromptWithinTheTimeOutIsToldAsSuch) {
  BootWatch w;
  w.SetPrompt("login:");
  w.Start(1000);
  w.Bytes("booting\r\n", 5000);
  EXPECT_FALSE(w.Check(5000 + BootWatch::kTimeOutUs - 5000).has_value());
  const auto r = w.Check(1000 + BootWatch::kTimeOutUs);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->Text(), "boot: first byte 4.0 ms, no prompt within 60 s");
  EXPECT_FALSE(w.Check(UINT64_MAX).has_value());  // told once
  // A prompt split between two looks is found, at the second look's time.
  w.Start(0);
  w.Bytes("log", 1000);
  w.Bytes("in: ", 2500);
  const auto found = w.Check(2600);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->Text(), "boot: first byte 1.0 ms, prompt after 2.5 ms");
}

}  // namespace
}  // namespace qb7
