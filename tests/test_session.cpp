#include <gtest/gtest.h>

#include <sys/stat.h>

#include "file_permissions.hpp"
#include "harness.hpp"
#include "keys/keys.hpp"
#include "session/session_keys.hpp"
#include "session/term_session.hpp"
#include "session/tool_keys_help.hpp"

namespace qb7 {
namespace {

std::string X(int scan) { return std::string{'\xff', static_cast<char>(scan)}; }

// A session on the simulated board: the menu key, then the keys, Shift-F2
// and Q at the end, each key a while after the one before.
struct SessionBench : test::Bench {
  explicit SessionBench(const std::string& config = "' nothing\n", int lineBaud = 115200)
      : Bench(true, lineBaud) {
    folder.Write("Qb7_Uart.cfg", config);
    RecordMessages();
    AnswerStartUpList();
  }
  void Keys(const std::vector<std::string>& keys, uint64_t gapUs = 200000) {
    for (const auto& k : keys) {
      at_ += gapUs;
      frontend.AddKeyAt(at_, k);
    }
  }
  void Type(const std::string& text) {
    for (char c : text) Keys({std::string(1, c)}, 30000);
  }
  int RunRoute(const std::string& route, uint64_t settleUs = 1000000) {
    frontend.AddKeyAt(1000, route);
    at_ += settleUs;
    Keys({std::string(keys::KeyShiftF2), "q"}, settleUs);
    return Run();
  }
  // What the terminal showed at a time: the last frame drawn before it.
  void SnapshotAt(uint64_t atUs) {
    frontend.OnScreen([this, atUs](const Screen& s) {
      if (clock.NowUs() <= atUs) snapshot = std::make_unique<Screen>(s);
    });
  }
  std::string SnapRow(int r) const {
    std::string s = snapshot->RowText(r);
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
  }
  uint64_t at_ = 100000;
  std::unique_ptr<Screen> snapshot;
};

TEST(Session, StatusLineAndEmptyRows) {
  SessionBench b;
  b.SnapshotAt(500000);
  EXPECT_EQ(b.RunRoute("3"), 0);
  ASSERT_TRUE(b.snapshot);
  EXPECT_EQ(b.SnapRow(1), "DK22S Console - NEL=QB7     <Fx>Macro  <SF1>Help  <SF2>Exit  Baud: 115200");
  EXPECT_EQ(b.SnapRow(2), "");
  EXPECT_EQ(b.SnapRow(3), "");
  EXPECT_EQ(std::string(kStatusText).size(), 44u);
}

TEST(Session, TypedTextReachesTheConsoleAndItsColouredReplyIsDrawnAndLogged) {
  SessionBench b;
  b.Type("status\r");
  b.SnapshotAt(2000000);
  EXPECT_EQ(b.RunRoute("3", 2000000), 0);
  EXPECT_EQ(b.ports.Transmitted(), "status\r");
  // The echo and the reply, with colours interpreted.
  ASSERT_TRUE(b.snapshot);
  EXPECT_EQ(b.SnapRow(4), "status");
  EXPECT_EQ(b.SnapRow(5), "Link to QB7  OK");
  EXPECT_EQ(b.snapshot->At(5, 14).fg, 10);  // "OK" in bright green
  EXPECT_EQ(b.snapshot->At(5, 1).fg, 7);
  EXPECT_EQ(b.SnapRow(6), "Alarm        FAN");
  EXPECT_EQ(b.snapshot->At(6, 14).fg, 12);
  EXPECT_EQ(b.snapshot->At(6, 14).bg, 6);
  EXPECT_EQ(b.folder.Read("Term.txt"),
            "status\r\nLink to QB7  OK\r\nAlarm        FAN\r\nDK22S> ");
  EXPECT_TRUE(b.messages.empty());
}

TEST(Session, CursorKeysDelCtrlZAndOtherKeysSendTheirBytes) {
  SessionBench b;
  b.Keys({std::string(keys::KeyUp), std::string(keys::KeyDown), std::string(keys::KeyLeft),
          std::string(keys::KeyRight), std::string(keys::KeyDel), "\x1a",
          std::string(keys::KeyHome), std::string(keys::KeyCtrlF1), "\x08", "\t",
          std::string(keys::KeyShiftTab)});
  EXPECT_EQ(b.RunRoute("2", 3000000), 0);
  EXPECT_EQ(b.ports.Transmitted(), std::string("\x1b[A\x1b[B\x1b[D\x1b[C\x7f\x03") + X(71) +
                                       X(94) + "\x08\t" + X(15));
}

TEST(Session, EachByteSentIsPacedAt10ms) {
  SessionBench b;
  b.Keys({std::string(keys::KeyUp)});
  EXPECT_EQ(b.RunRoute("2"), 0);
  std::vector<uint64_t> times;
  for (const auto& a : b.ports.Register(test::reg::kTx))
    if (a.write) times.push_back(a.atUs);
  ASSERT_EQ(times.size(), 3u);
  EXPECT_GE(times[1] - times[0], 10000u);
  EXPECT_LT(times[1] - times[0], 10200u);
}

TEST(Session, FunctionKeysPlayTheirSlots) {
  std::string config;
  for (int n = 1; n <= 12; ++n) config += "#F" + std::to_string(n) + " $" + std::to_string(n) + "\n";
  for (int n = 1; n <= 12; ++n)
    config += "#SF" + std::to_string(n) + " $" + std::to_string(n + 12) + "\n";
  SessionBench b(config);
  b.Keys({X(59), X(68), X(133), X(134), X(86), X(93), X(135), X(136)});
  EXPECT_EQ(b.RunRoute("2", 3000000), 0);
  EXPECT_EQ(b.ports.Transmitted(), std::string("\x01\x0a\x0b\x0c\x0f\x16\x17\x18"));
  EXPECT_EQ(MacroSlotForKey(X(84)), 13);
  EXPECT_EQ(MacroSlotForKey(X(94)), 0);  // Ctrl-F1 plays nothing
  EXPECT_EQ(MacroSlotForKey(X(69)), 0);
  EXPECT_EQ(MacroSlotForKey("\xff"), 0);
  EXPECT_EQ(MacroSlotForKey("a"), 0);
}

TEST(Session, ShiftF1ShowsTheHelpLines) {
  SessionBench none;
  none.Keys({std::string(keys::KeyShiftF1)});
  none.SnapshotAt(1500000);
  EXPECT_EQ(none.RunRoute("2", 1500000), 0);
  // No help lines: the tool's own keys all the same, after an empty row.
  const std::vector<std::string> tool = SessionKeyRows(false);
  const int toolRows = static_cast<int>(tool.size());
  ASSERT_TRUE(none.snapshot);
  EXPECT_EQ(none.SnapRow(1), "");
  for (int i = 0; i < toolRows; ++i) EXPECT_EQ(none.SnapRow(2 + i), tool[i]);
  EXPECT_NE(none.SnapRow(4).find("Shift-F2  back to the menu"), std::string::npos);
  EXPECT_EQ(none.snapshot->CursorRow(), 3 + toolRows);

  SessionBench some("#HELP\nF1  hello\n\"\nF2  bye\n");
  some.Keys({std::string(keys::KeyShiftF1)});
  some.SnapshotAt(1500000);
  EXPECT_EQ(some.RunRoute("2", 1500000), 0);
  EXPECT_EQ(some.SnapRow(1), "F1  hello");
  EXPECT_EQ(some.SnapRow(2), "");
  EXPECT_EQ(some.SnapRow(3), "F2  bye");
  EXPECT_EQ(some.SnapRow(4), "");
  EXPECT_EQ(some.SnapRow(5), "In a session");
  EXPECT_EQ(some.snapshot->CursorRow(), 6 + toolRows);
}

TEST(Session, ShiftF2ReturnsToTheMenuAndANewSessionEmptiesTheLog) {
  SessionBench b;
  b.Type("version\r");
  b.Keys({std::string(keys::KeyShiftF2), "3"});
  EXPECT_EQ(b.RunRoute("3", 1000000), 0);
  // The second session received nothing: its log is empty.
  EXPECT_EQ(b.folder.Read("Term.txt"), "");
  EXPECT_EQ(b.Row(1).substr(0, 23), "QB7 UART IO port 0x352:");
}

TEST(Session, TheConfiguredBaudReachesTheUartAndTheStatusLine) {
  SessionBench b("#COMMODE 9600\n", 9600);
  b.SnapshotAt(500000);
  b.Type("version\r");
  EXPECT_EQ(b.RunRoute("1", 2000000), 0);
  EXPECT_EQ(b.board->divisor(), 13021);
  EXPECT_NE(b.SnapRow(1).find("Baud: 9600"), std::string::npos);
  EXPECT_NE(b.folder.Read("Term.txt").find("DK22N module console"), std::string::npos);
}

TEST(Session, AWrongSpeedShowsFramingErrorsAndTheSessionGoesOn) {
  SessionBench b("#COMMODE 9600\n", 115200);
  b.board->FarEndOn(3)->outbox().Send("hello", 500000);
  b.frontend.AddKeyAt(700000, "x");  // answers the message
  EXPECT_EQ(b.RunRoute("3", 1000000), 0);
  // The first framing error says the likely cause and its remedy.
  EXPECT_EQ(b.messages, std::vector<std::string>{
                            "UartRcvStr Framing Error: far end not at 9600? #COMMODE, or b in history"});
  EXPECT_EQ(b.folder.Read("Term.txt").size(), 5u);  // what came is still shown and logged
}

TEST(Session, TheLogIsCompleteWhenHomeEndsTheProgramFromAMessageLine) {
  SessionBench b("#F1 Cr\n");
  b.Type("version\r");
  b.Keys({X(59), std::string(keys::KeyHome)}, 1000000);
  b.frontend.AddKeyAt(1000, "3");
  EXPECT_EQ(b.Run(), 0);
  EXPECT_EQ(b.messages, std::vector<std::string>{"Cmd:Cr   Pos2 ??"});
  EXPECT_EQ(b.folder.Read("Term.txt"),
            "version\r\nDK22S module console, version 2.0 (simulated QB7 board)\r\nDK22S> ");
}

TEST(Session, CtrlCEndsTheProgramWithTheLogOnDisk) {
  SessionBench b;
  b.Type("version\r");
  b.frontend.AddKeyAt(1000, "3");
  b.frontend.AddInterruptAt(2000000, 130);
  EXPECT_EQ(b.Run(), 130);
  EXPECT_NE(b.folder.Read("Term.txt").find("DK22S> "), std::string::npos);
}

TEST(Session, AMessageWithABellStaysModalWhileBytesArrive) {
  SessionBench b("#F1 \x07\n");
  b.Keys({X(59)}, 1000000);  // the bell is an unknown macro character: an error report
  b.board->FarEndOn(2)->outbox().Send(std::string(100, 'r'), 1150000);  // during its beep
  b.frontend.AddKeyAt(1600000, "x");
  bool receivedWhileShown = false;
  b.frontend.OnScreen([&](const Screen& s) {
    if (s.At(24, 2).bg != 12) return;
    receivedWhileShown = receivedWhileShown || s.At(4, 1).ch == 'r';
  });
  EXPECT_EQ(b.RunRoute("2", 2000000), 0);
  EXPECT_EQ(b.messages.size(), 1u);
  EXPECT_FALSE(receivedWhileShown);
  EXPECT_EQ(b.folder.Read("Term.txt"), std::string(100, 'r'));
}

TEST(Session, ALogThatCannotBeCreatedIsToldOnceAndTheSessionGoesOn) {
  SessionBench readOnly;
  chmod(readOnly.folder.path().c_str(), 0555);
  test::ObeyFilePermissions obey;
  readOnly.RecordMessages(true);
  readOnly.Type("version\r");
  EXPECT_EQ(readOnly.RunRoute("3", 1000000), 0);
  EXPECT_EQ(readOnly.messages,
            std::vector<std::string>{"Log not written: Term.txt and Term.times (Permission denied)"});
  EXPECT_EQ(readOnly.ports.Transmitted(), "version\r");
  chmod(readOnly.folder.path().c_str(), 0700);
}

// In a folder others may write, a link named Term.txt would have the
// program empty or fill whatever file its user may write: it is told, the
// file it points at is left as it was, and the session goes on.
TEST(Session, ALogThatIsNotARegularFileIsToldAndLeftAlone) {
  SessionBench linked;
  linked.folder.Write("precious.txt", "keep me");
  std::filesystem::create_symlink(linked.folder.path() + "/precious.txt",
                                  linked.folder.path() + "/Term.txt");
  linked.Type("version\r");
  linked.RecordMessages(true);
  EXPECT_EQ(linked.RunRoute("3", 2000000), 0);
  EXPECT_EQ(linked.messages,
            std::vector<std::string>{"Log not written: Term.txt is not a regular file"});
  EXPECT_EQ(linked.folder.Read("precious.txt"), "keep me");
  EXPECT_EQ(linked.ports.Transmitted(), "version\r");

  SessionBench piped;
  ASSERT_EQ(mkfifo((piped.folder.path() + "/Term.txt").c_str(), 0600), 0);
  piped.RecordMessages(true);
  EXPECT_EQ(piped.RunRoute("3", 1000000), 0);  // a pipe with no reader would block an open
  EXPECT_EQ(piped.messages,
            std::vector<std::string>{"Log not written: Term.txt is not a regular file"});
}

TEST(PollTiming, FollowsTheTimeTheFifoTakesToFill) {
  EXPECT_EQ(PollTimingFor(115200).idleUs, 5512u);  // 127 bytes in 11.02 ms
  EXPECT_EQ(PollTimingFor(921600).idleUs, 689u);
  EXPECT_EQ(PollTimingFor(921600).busyUs, 344u);
  EXPECT_EQ(PollTimingFor(115200).busyUs, 2756u);
  EXPECT_EQ(PollTimingFor(9600).idleUs, 30000u);
  EXPECT_EQ(PollTimingFor(0).idleUs, 30000u);
}

}  // namespace
}  // namespace qb7
