// Nothing the line brings is lost to a waiting message line or to the log,
// no bell holds a key, and Shift-F2 always leaves a session.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "file_permissions.hpp"
#include "harness.hpp"
#include "keys/keys.hpp"
#include "sim/pattern.hpp"

namespace qb7 {
namespace {

std::string Key(std::string_view k) { return std::string(k); }

// A session on J27 at a baud; the keys go in at the times given.
struct J27Bench : test::Bench {
  explicit J27Bench(const std::string& config = "", int baud = 115200, int lineBaud = 115200)
      : Bench(true, lineBaud) {
    folder.Write("Qb7_Uart.cfg", "#COMMODE " + std::to_string(baud) + "\n" + config);
    RecordMessages();
    AnswerStartUpList();
    frontend.AddKeyAt(1000, "2");
  }
  sim::Outbox& Far() { return board->FarEndOn(2)->outbox(); }
  void LeaveAt(uint64_t us) {
    frontend.AddKeyAt(us, Key(keys::KeyShiftF2));
    frontend.AddKeyAt(us + 100000, "q");
  }
};

TEST(NothingLost, WhatArrivesWhileAMessageWaitsIsHeldThenDrawnAndLogged) {
  for (int baud : {115200, 921600}) {
    // F1 plays a slot with a character no macro knows: a message line,
    // which the operator answers only 5 s later, while J27 streams.
    J27Bench b("#F1 ?\n", baud, baud);
    const uint64_t bytes = static_cast<uint64_t>(baud) / 10 * 6;  // 6 s of line
    b.Far().SendPattern(bytes, 400000);
    b.frontend.AddKeyAt(500000, Key(keys::KeyF1));
    b.frontend.AddKeyAt(5500000, "x");
    b.LeaveAt(8000000);
    ASSERT_EQ(b.Run(), 0);
    EXPECT_EQ(b.board->overflowEvents(), 0u) << baud;
    EXPECT_EQ(b.messages, std::vector<std::string>{"Cmd:?   Pos1 ??"}) << baud;
    EXPECT_EQ(b.folder.Read("Term.txt"), sim::Pattern(bytes)) << baud;
    // The backlog of 5 s is worked off a slice a look, so the looks keep
    // their time meanwhile.
    EXPECT_LE(b.log.largestAppend, 4096u) << baud;
  }
}

// After a long message at 921600 the backlog is worked off no faster than
// the history's ring takes the rows it makes: none is lost on the way.
TEST(NothingLost, TheBacklogAfterAMessageLosesNoRowOfTheHistory) {
  J27Bench b("#F1 ?\n", 921600, 921600);
  b.frontend.ModelRowRing(256);
  std::string lines;
  for (int i = 0; i < 40000; ++i) lines += std::to_string(i) + "\r\n";
  b.Far().Send(lines, 400000);
  b.frontend.AddKeyAt(500000, Key(keys::KeyF1));
  b.frontend.AddKeyAt(8500000, "x");  // the message waited 8 s
  b.LeaveAt(12000000);
  ASSERT_EQ(b.Run(), 0);
  EXPECT_EQ(b.folder.Read("Term.txt"), lines);
  EXPECT_EQ(b.frontend.RingLost(), 0u);
}

// Every way out of a message line logs what it held back first: Ctrl-C,
// a signal, Home.
TEST(NothingLost, EndingTheProgramAtAMessageLogsWhatItHeld) {
  struct Way {
    const char* name;
    bool interrupt;  // Ctrl-C or a signal; else Home
    int status;
    int signal;
  };
  for (const Way& way : {Way{"Ctrl-C", true, 130, 0}, Way{"SIGTERM", true, 143, SIGTERM},
                         Way{"Home", false, 0, 0}}) {
    J27Bench b("#F1 ?\n", 921600, 921600);
    b.Far().SendPattern(200000, 400000);
    b.frontend.AddKeyAt(500000, Key(keys::KeyF1));
    // The message waits while 2 s of the line arrive, then the program ends.
    if (way.interrupt)
      b.frontend.AddInterruptAt(2600000, way.status, way.signal);
    else
      b.frontend.AddKeyAt(2600000, Key(keys::KeyHome));
    EXPECT_EQ(b.Run(), way.status) << way.name;
    EXPECT_EQ(b.board->overflowEvents(), 0u) << way.name;
    EXPECT_EQ(b.folder.Read("Term.txt"), sim::Pattern(200000)) << way.name;
    EXPECT_NE(b.folder.Read("Term.times").find("session left: the program ended"),
              std::string::npos)
        << way.name;
  }
}

// A message that tells of bytes lost is not taken away by keys typed ahead
// of it: they wait, and go to the board after it.
TEST(NothingLost, ALossMessageWaitsForAKeyTypedAfterIt) {
  J27Bench b;
  chmod(b.folder.path().c_str(), 0555);
  test::ObeyFilePermissions obey;
  b.frontend.AddKeyAt(1000, "x");  // typed with the route key, before the message
  b.frontend.AddKeyAt(900000, "y");
  bool shown = false;
  uint64_t goneUs = 0;  // the first frame without it
  b.frontend.OnScreen([&](const Screen& s) {
    if (s.At(24, 2).bg == 12) shown = true;
    else if (shown && goneUs == 0) goneUs = b.clock.NowUs();
  });
  b.LeaveAt(1500000);
  ASSERT_EQ(b.Run(), 0);
  chmod(b.folder.path().c_str(), 0700);
  EXPECT_EQ(b.messages, std::vector<std::string>{"Log not written: Term.txt and Term.times (Permission denied)"});
  EXPECT_GE(goneUs, 900000u);  // still shown until y came
  EXPECT_EQ(b.ports.Transmitted(), "x");  // y answered it; x went on to the board
}

// Pasted bytes are never the keys that answer message lines: a paste that
// meets them reaches the board whole, and each message waits for a key
// typed.
TEST(NothingLost, APasteMeetingMessageLinesReachesTheBoardWhole) {
  J27Bench b("#F1 ?\n");
  b.frontend.AddKeyAt(300000, Key(keys::KeyF1));  // a message line
  std::string paste;
  for (int i = 0; i < 200; ++i) paste += static_cast<char>('a' + i % 26);
  b.frontend.AddPasteAt(400000, paste);
  b.frontend.AddKeyAt(1500000, "!");  // typed: answers it
  b.LeaveAt(6000000);
  ASSERT_EQ(b.Run(), 0);
  EXPECT_EQ(b.messages, std::vector<std::string>{"Cmd:?   Pos1 ??"});
  EXPECT_EQ(b.ports.Transmitted(), paste);
}

// Pasted bytes are the text pasted, never the session's keys: a Ctrl-Z in
// a paste is sent as it is (typed, it sends Ctrl-C), and the bytes of a
// function key or Shift-F2 in a paste neither run a macro nor leave.
TEST(NothingLost, PastedControlBytesAreSentAsTheyCame) {
  J27Bench b("#F1 \"macro\"\n");
  const std::string paste = std::string("a\x1a") + "\x1bOP" + "\x1b[1;2Q" + "\x03z";
  b.frontend.AddPasteAt(300000, paste);
  b.frontend.AddKeyAt(1500000, "\x1a");  // typed: Ctrl-C
  b.LeaveAt(3000000);
  ASSERT_EQ(b.Run(), 0);
  EXPECT_EQ(b.ports.Transmitted(), paste + "\x03");
}

// The whole program, through the same key router as the terminal thread: a
// message line that comes up while a long paste is being sent is answered
// by the first key typed behind the paste, out of turn, and the paste goes
// on to the board whole.
TEST(NothingLost, AKeyTypedBehindAPasteAnswersAMessageLineAndThePasteGoesOn) {
  J27Bench b;
  std::string paste;
  for (int i = 0; i < 1000; ++i) paste += static_cast<char>('a' + i % 26);
  b.frontend.AddPasteAt(300000, paste);
  b.frontend.AddActionAt(2000000, [&] { std::filesystem::remove(b.folder.path() + "/Term.txt"); });
  b.frontend.AddKeyAt(2500000, "y");
  bool shown = false;
  uint64_t goneUs = 0;
  b.frontend.OnScreen([&](const Screen& s) {
    if (s.At(24, 2).bg == 12) shown = true;
    else if (shown && goneUs == 0) goneUs = b.clock.NowUs();
  });
  b.LeaveAt(14000000);
  ASSERT_EQ(b.Run(), 0);
  EXPECT_EQ(b.messages, std::vector<std::string>{"Log removed; a new one is written: Term.txt"});
  EXPECT_GE(goneUs, 2500000u);
  EXPECT_LT(goneUs, 2600000u);  // at once, not after the paste's 10 s
  EXPECT_EQ(b.ports.Transmitted(), paste);  // y answered; nothing of the paste lost
}

TEST(NothingLost, TheLooksGoOnWhileGpExeRuns) {
  J27Bench b("#F12\nGP.EXE\nGP.EXE\n");
  b.folder.Write("GP.EXE", "#!/bin/sh\nsleep 0.3\n");
  chmod((b.folder.path() + "/GP.EXE").c_str(), 0755);
  const uint64_t bytes = 20000;
  b.Far().SendPattern(bytes, 400000);
  b.frontend.AddKeyAt(500000, Key(keys::KeyF12));
  // The board's count register read while the terminal is lent: the looks.
  std::size_t lentAt = 0, backAt = 0;
  b.frontend.OnLoan([&](bool lent) { (lent ? lentAt : backAt) = b.ports.log.size(); });
  b.LeaveAt(4000000);
  ASSERT_EQ(b.Run(), 0);
  ASSERT_LT(lentAt, backAt);
  int looks = 0;
  for (std::size_t i = lentAt; i < backAt; ++i)
    looks += b.ports.log[i].reg == board::kUartBase + test::reg::kRxCount ? 1 : 0;
  EXPECT_GT(looks, 10) << "nothing looked at the FIFO while GP.EXE ran";
  EXPECT_EQ(b.board->overflowEvents(), 0u);
  EXPECT_EQ(b.folder.Read("Term.txt"), sim::Pattern(bytes));
}

TEST(NothingLost, TheHeldTextIsOnTheScreenOnceTheMessageIsGone) {
  J27Bench b("#F1 ?\n");
  b.Far().Send("held 1\r\nheld 2\r\n", 600000);  // arrives while the message waits
  b.frontend.AddKeyAt(500000, Key(keys::KeyF1));
  b.frontend.AddKeyAt(2000000, "x");
  std::string shownWhileWaiting, shownAfter;
  b.frontend.OnScreen([&](const Screen& s) {
    const bool message = s.At(24, 2).bg == 12;
    if (message && b.clock.NowUs() > 1000000) shownWhileWaiting += s.RowText(4);
    if (!message && b.clock.NowUs() > 2000000 && b.clock.NowUs() < 2400000)
      shownAfter = s.RowText(4) + s.RowText(5);
  });
  b.LeaveAt(2500000);
  ASSERT_EQ(b.Run(), 0);
  EXPECT_EQ(shownWhileWaiting.find("held"), std::string::npos);  // the message stays modal
  EXPECT_EQ(shownAfter.substr(0, 6), "held 1");
  EXPECT_EQ(shownAfter.substr(80, 6), "held 2");
}

TEST(NothingLost, ReceiveErrorsFoundWhileAMessageWaitsAreToldAfterItOncePerKind) {
  // The UART at 115200, the far end at 9600: every byte is a framing error.
  J27Bench b("#F1 ?\n", 115200, 9600);
  b.frontend.AddKeyAt(500000, Key(keys::KeyF1));
  b.Far().Send(std::string(40, 'a'), 600000);  // many looks, many errors
  b.frontend.AddKeyAt(2000000, "x");            // the macro's message
  b.frontend.AddKeyAt(2100000, "x");            // the framing error, once
  b.LeaveAt(3000000);
  ASSERT_EQ(b.Run(), 0);
  // Framing errors in look after look: the first says the exact text with
  // the likely cause and its remedy, once; no more is told meanwhile.
  EXPECT_EQ(b.messages,
            (std::vector<std::string>{"Cmd:?   Pos1 ??",
                                      "UartRcvStr Framing Error: far end not at 115200? #COMMODE, or b in history"}));
  EXPECT_GT(b.board->framingEvents(), 1u);
}

TEST(NothingLost, ShiftF2AtAMessageLineLeavesTheSession) {
  // A far end at the wrong speed that never stops: a message after every
  // look. One Shift-F2 gets back to the menu.
  J27Bench b("", 115200, 9600);
  b.Far().Send(std::string(5000, 'z'), 300000);
  b.frontend.AddKeyAt(800000, Key(keys::KeyShiftF2));
  b.frontend.AddKeyAt(1500000, "q");
  std::string rowAfter;
  b.frontend.OnScreen([&](const Screen& s) {
    if (b.clock.NowUs() > 800000 && rowAfter.empty()) rowAfter = s.RowText(1);
  });
  ASSERT_EQ(b.Run(), 0);
  EXPECT_EQ(b.messages, std::vector<std::string>{
                            "UartRcvStr Framing Error: far end not at 115200? #COMMODE, or b in history"});
  EXPECT_EQ(rowAfter.substr(0, 23), "QB7 UART IO port 0x352:");
}

TEST(NothingLost, ALogDeletedDuringTheSessionIsToldAndStartedAgain) {
  J27Bench b;
  b.Far().Send("before\r\n", 300000);
  b.Far().Send("after\r\n", 1500000);
  b.frontend.AddActionAt(1000000, [&] { std::filesystem::remove(b.folder.path() + "/Term.txt"); });
  b.frontend.AddKeyAt(1200000, "x");  // answers the message
  b.LeaveAt(2500000);
  ASSERT_EQ(b.Run(), 0);
  EXPECT_EQ(b.messages, std::vector<std::string>{"Log removed; a new one is written: Term.txt"});
  EXPECT_EQ(b.folder.Read("Term.txt"), "after\r\n");
}

TEST(NothingLost, ADiskThatFillsAndGetsRoomAgainIsToldBothTimes) {
  // The file-size limit plays a full disk: writes past it fail with EFBIG.
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  J27Bench b;
  b.Far().Send("0123456789\r\n", 300000);
  b.Far().Send("lost\r\n", 1100000);
  b.Far().Send("kept\r\n", 2300000);
  rlimit full = saved;
  full.rlim_cur = 12;
  b.frontend.AddActionAt(1000000, [&] { setrlimit(RLIMIT_FSIZE, &full); });
  b.frontend.AddActionAt(2000000, [&] { setrlimit(RLIMIT_FSIZE, &saved); });
  b.RecordMessages(true);
  b.LeaveAt(3000000);
  ASSERT_EQ(b.Run(), 0);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_DFL);
  // Term.times beside it met the same limit (told with Term.txt, or on
  // its own when its first record after the limit came later).
  ASSERT_GE(b.messages.size(), 2u) << testing::PrintToString(b.messages);
  EXPECT_EQ(b.messages[0].substr(0, 25), "Log not written: Term.txt");
  EXPECT_NE(testing::PrintToString(b.messages).find("Term.times (File too large)"),
            std::string::npos);
  EXPECT_EQ(b.messages.back().substr(0, 60),
            "Log written again: Term.txt lacks 6 bytes, Term.times lacks ");
  EXPECT_EQ(b.folder.Read("Term.txt"), "0123456789\r\nkept\r\n");
}

TEST(NothingLost, TenThousandReceivedBellsRingAtMostFourTimesASecond) {
  J27Bench b;
  b.Far().Send(std::string(10000, '\a'), 300000);  // 0.87 s of line
  b.LeaveAt(2000000);
  ASSERT_EQ(b.Run(), 0);
  EXPECT_GE(b.frontend.Bells(), 3);
  EXPECT_LE(b.frontend.Bells(), 5);
}

TEST(NothingLost, BellsInAMessageHoldNoKey) {
  // An unknown header of forty bells: its message rings once, and the key
  // pressed at once is acted on at once. The list of the configuration's
  // problems that follows shows the bells as their codes, ringing none.
  test::Bench b;
  b.folder.Write("Qb7_Uart.cfg", "#" + std::string(40, '\a') + "\n");
  b.RecordMessages();
  b.frontend.AddKeyAt(100000, "x");
  b.frontend.AddKeyAt(120000, "x");  // the list's message line
  uint64_t menuAtUs = 0;
  std::string listed;
  b.frontend.OnScreen([&](const Screen& s) {
    if (listed.empty() && s.RowText(1).rfind("Qb7_Uart.cfg:", 0) == 0) listed = s.RowText(1);
    if (!menuAtUs && s.RowText(1).rfind("QB7 UART IO port", 0) == 0) menuAtUs = b.clock.NowUs();
  });
  b.frontend.AddKeyAt(200000, "q");
  ASSERT_EQ(b.Run(), 0);
  ASSERT_EQ(b.messages.size(), 2u);
  EXPECT_EQ(b.frontend.Bells(), 1);
  EXPECT_EQ(listed.substr(0, 27), "Qb7_Uart.cfg:1:1: #<07><07>");
  EXPECT_LT(menuAtUs, 170000u);
}

}  // namespace
}  // namespace qb7

namespace qb7 {
namespace {

// A far end at 9600 against the UART at 115200: the first framing error
// names the remedy; b in the history, then 1, programs the UART at 9600
// there and then, without a restart: what comes next is readable, the
// status line says 9600, Term.times records it, the configuration stays.
TEST(NothingLost, BInTheHistoryChangesTheSpeedWithoutARestart) {
  J27Bench b("", 115200, 9600);
  b.RecordMessages(true);  // each framing error's message line answered
  // Garbage enough to leave the screen, for the history to hold.
  b.Far().Send(std::string(3000, 'g'), 300000);
  b.frontend.AddKeyAt(3700000, Key(view::PageUp));
  b.frontend.AddKeyAt(3800000, "b");
  std::string prompt, told;
  b.frontend.AddActionAt(3850000, [&] { prompt = b.frontend.Shown().RowText(24); });
  b.frontend.AddKeyAt(3900000, "1");
  b.frontend.AddActionAt(3950000, [&] {
    for (int r = 1; r <= Screen::kRows; ++r)
      if (b.console.screen().RowText(r).rfind("CON-5Pins Console", 0) == 0) told = b.console.screen().RowText(r);
  });
  b.Far().Send("readable now\r\n", 4200000);
  b.LeaveAt(5000000);
  const std::string config = b.folder.Read("Qb7_Uart.cfg");
  ASSERT_EQ(b.Run(), 0);
  ASSERT_FALSE(b.messages.empty());
  EXPECT_EQ(b.messages[0], "UartRcvStr Framing Error: far end not at 115200? #COMMODE, or b in history");
  EXPECT_EQ(prompt.substr(0, 22), "Speed:  1 9600  2 1920");
  EXPECT_NE(told.find("<SF2>Exit  Baud: 9600"), std::string::npos) << told;
  const std::string log = b.folder.Read("Term.txt");
  EXPECT_EQ(log.substr(log.size() - 14), "readable now\r\n");
  EXPECT_NE(b.folder.Read("Term.times").find("speed: 9600 baud, was 115200 (Qb7_Uart.cfg unchanged)"),
            std::string::npos);
  EXPECT_EQ(b.folder.Read("Qb7_Uart.cfg"), config);
}

// The status line comes again with the new speed, as a row of its own where
// the text has got to; the counts go beside it from then on.
TEST(NothingLost, TheStatusLineSaysTheSpeedPickedInTheHistory) {
  J27Bench b("", 115200, 9600);
  b.RecordMessages(true);
  b.Far().Send(std::string(2400, 'g'), 300000);  // 30 rows
  b.frontend.AddKeyAt(3000000, Key(view::PageUp));
  b.frontend.AddKeyAt(3100000, "b");
  b.frontend.AddKeyAt(3200000, "1");
  std::string statusRow;
  uint64_t countsRow = 0, rowNumber = 0;
  b.frontend.AddActionAt(3300000, [&] {
    const Screen& screen = b.console.screen();
    for (int r = 1; r <= Screen::kRows; ++r)
      if (screen.RowText(r).rfind("CON-5Pins Console", 0) == 0) {
        statusRow = screen.RowText(r);
        rowNumber = screen.RowsGone() + static_cast<uint64_t>(r - 1);
      }
    countsRow = b.console.frame().counts.statusRow;
  });
  b.LeaveAt(4000000);
  ASSERT_EQ(b.Run(), 0);
  EXPECT_NE(statusRow.find("<SF2>Exit  Baud: 9600 "), std::string::npos) << statusRow;
  EXPECT_EQ(countsRow, rowNumber);
}

}  // namespace
}  // namespace qb7
