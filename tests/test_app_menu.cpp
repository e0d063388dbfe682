#include <gtest/gtest.h>

#include "app/route_menu.hpp"
#include "harness.hpp"
#include "keys/keys.hpp"
#include "session/tool_keys_help.hpp"

namespace qb7 {
namespace {

using test::kAux;
using test::kData;
using test::kIndex;
using test::PortAccess;
using test::W;
using Trace = std::vector<PortAccess>;
constexpr uint8_t kRoute = board::kRouteRegister, kReset = board::kResetRegister;

struct ProgramBench : test::Bench {
  ProgramBench() {
    folder.Write("Qb7_Uart.cfg", "' empty\n");
    RecordMessages();
  }
  // Port writes from the first menu key on (after start-up).
  Trace WritesAfterStartUp() const {
    Trace all = ports.Writes();
    auto aux = std::find(all.begin(), all.end(), W(kAux, 0));
    return Trace(aux + 1, all.end());
  }
};

TEST(StartUp, WritesZeroToTheAuxiliaryPortOnceAfterTheConfigurationAndBeforeTheMenu) {
  ProgramBench b;
  std::filesystem::remove(b.folder.path() + "/Qb7_Uart.cfg");
  b.frontend.AddKeyAt(200000, "x");  // answers "Config file not found"
  uint64_t menuDrawnUs = 0;
  b.frontend.OnScreen([&](const Screen& s) {
    if (menuDrawnUs == 0 && s.RowText(1).rfind("QB7 UART IO port 0x352:", 0) == 0)
      menuDrawnUs = b.clock.NowUs();
  });
  b.frontend.AddKeyAt(300000, "q");
  EXPECT_EQ(b.Run(), 0);
  Trace writes = b.ports.Writes();
  EXPECT_EQ(writes, (Trace{W(kAux, 0), W(kIndex, kRoute), W(kData, 0)}));
  EXPECT_GE(b.ports.log[0].atUs, 200000u);  // after the configuration's message
  EXPECT_GE(menuDrawnUs, b.ports.log[0].atUs);
}

TEST(RouteMenu, RowsToTheCharacterAndTheCursorBelow) {
  ProgramBench b;
  b.frontend.AddKey("q");
  EXPECT_EQ(b.Run(), 0);
  const char* const rows[16] = {
      "QB7 UART IO port 0x352:",
      "------------------------           ST1",
      "",
      " <0> UART352 <-> VSC7420           ---  5-pins J27 <-> DK22N Console",
      "                                   JP1  5-pins J27 <-> DK22N Console",
      "                                   JP2  5-pins J27 <-> DK22S Console",
      "                                   1+2  5-pins J27 <-> VSC   Console",
      "",
      " <1> UART352 <-> DK22N Console     XXX  5-pins J27 <-> VSC7420      ",
      " <2> UART352 <-> 5-pins J27        XXX  5-pins J27 <-> UART352      ",
      " <3> UART352 <-> DK22S Console     XXX  5-pins J27 <-> DK22N Console",
      " <4> UART352 <-> VSC7420           XXX  5-pins J27 <-> DK22N Console",
      " <5> UART352 <-> VSC7420           XXX  5-pins J27 <-> DK22S Console",
      "",
      " <R> Reset VSC7420                 <Q> Quit                         ",
      "",
  };
  for (int r = 1; r <= 16; ++r) {
    std::string expected(rows[r - 1]);
    expected.resize(80, ' ');
    EXPECT_EQ(b.Row(r), expected) << "row " << r;
    for (int c = 1; c <= 80; ++c) {
      ASSERT_EQ(b.console.screen().At(r, c).fg, 7);
      ASSERT_EQ(b.console.screen().At(r, c).bg, 0);
    }
  }
  EXPECT_EQ(b.console.CursorRow(), 17);
  EXPECT_EQ(b.console.CursorColumn(), 1);
}

// F1, ? and Shift-F1 list every key of the tool, Ctrl-R among them, until
// a key is pressed; the menu names Ctrl-R and the help key below its own
// rows; none of it touches the board.
TEST(RouteMenu, TheHelpKeysListEveryKeyAndTheMenuNamesCtrlR) {
  for (const std::string_view help : {keys::KeyF1, std::string_view("?"), keys::KeyShiftF1}) {
    ProgramBench b;
    std::vector<std::string> helpRows;
    b.frontend.OnScreen([&](const Screen& s) {
      if (helpRows.empty() && s.RowText(1).rfind("In the menu", 0) == 0)
        for (int r = 1; r <= 25; ++r) helpRows.push_back(s.RowText(r));
    });
    b.frontend.AddKeyAt(100000, std::string(help));
    b.frontend.AddKeyAt(200000, "r");  // dismisses the list: no reset pulse
    b.frontend.AddKeyAt(300000, "q");
    EXPECT_EQ(b.Run(), 0);
    ASSERT_FALSE(helpRows.empty());
    std::string all;
    for (const std::string& row : helpRows) all += row + "\n";
    for (const char* told : {"Ctrl-R ", "Ctrl-Z  sends Ctrl-C", "Ctrl-C    ends the program",
                             "Shift-F2  back to the menu", "q, Esc  back to live", "/  search",
                             "Any key: back to the menu"})
      EXPECT_NE(all.find(told), std::string::npos) << told;
    EXPECT_EQ(b.WritesAfterStartUp(), (Trace{W(kIndex, kRoute), W(kData, 0)}));  // only Q's
    EXPECT_EQ(b.Row(1).substr(0, 23), "QB7 UART IO port 0x352:");
    EXPECT_EQ(b.Text(18), std::string(kMenuHint[0]));
    EXPECT_EQ(b.Text(19), std::string(kMenuHint[1]));
  }
}

TEST(RouteMenu, QuitLeavesRouteZeroAndStatusZero) {
  for (const char* q : {"q", "Q"}) {
    ProgramBench b;
    b.frontend.AddKey(q);
    EXPECT_EQ(b.Run(), 0);
    EXPECT_EQ(b.WritesAfterStartUp(), (Trace{W(kIndex, kRoute), W(kData, 0)}));
  }
}

TEST(RouteMenu, ResetPulseIsTenMilliseconds) {
  for (const char* r : {"r", "R"}) {
    ProgramBench b;
    b.frontend.AddKeys({r, "q"});
    EXPECT_EQ(b.Run(), 0);
    Trace w = b.WritesAfterStartUp();
    ASSERT_EQ(w.size(), 6u);
    EXPECT_EQ(Trace(w.begin(), w.begin() + 4),
              (Trace{W(kIndex, kReset), W(kData, 1), W(kIndex, kReset), W(kData, 0)}));
    EXPECT_GE(w[2].atUs - w[1].atUs, 10000u);
    EXPECT_LT(w[2].atUs - w[1].atUs, 10100u);
  }
}

TEST(RouteMenu, OtherKeysOnlyRedraw) {
  ProgramBench b;
  b.frontend.AddKeys({"6", "\r", keys::KeyUp, keys::KeyF1, "x"});
  b.frontend.AddKey("q");
  EXPECT_EQ(b.Run(), 0);
  EXPECT_EQ(b.WritesAfterStartUp(), (Trace{W(kIndex, kRoute), W(kData, 0)}));
}

// Pasted text is never the menu's keys: a clipboard holding "r", a route's
// digit or "q" pulses no reset, opens no route and quits nothing; it is
// dropped and said on the bottom row, and the next key typed acts.
TEST(RouteMenu, PastedTextIsDroppedWithAWordAndNeverTakenAsTheMenusKeys) {
  ProgramBench b;
  b.frontend.AddPasteAt(100000, "abcr2q");
  std::string bottom;
  b.frontend.AddActionAt(300000, [&] { bottom = b.frontend.Shown().RowText(24); });
  b.frontend.AddKeyAt(400000, "q");
  EXPECT_EQ(b.Run(), 0);
  EXPECT_EQ(b.WritesAfterStartUp(), (Trace{W(kIndex, kRoute), W(kData, 0)}));  // Q's alone
  EXPECT_EQ(bottom.substr(0, 50), "Pasted text is not the menu's keys: 6 bytes droppe");
  EXPECT_GE(b.clock.NowUs(), 400000u);
}

TEST(RouteMenu, EachRouteWritesTheRouteRegisterThenOpensItsSession) {
  const std::string titles[6] = {
      "VSC7420 Console - NEL=f(ST1)", "DK22N Console - NEL=VSC",   "CON-5Pins Console",
      "DK22S Console - NEL=QB7",      "VSC7420 Console - NEL=QB7", "VSC7420 Console - NEL=WJ9",
  };
  for (int route = 0; route <= 5; ++route) {
    ProgramBench b;
    std::string title;
    b.frontend.OnScreen([&](const Screen& s) {
      if (title.empty() && s.RowText(1).find("<SF2>Exit") != std::string::npos) title = s.RowText(1);
    });
    b.frontend.AddKeys({std::to_string(route), keys::KeyShiftF2, "q"});
    EXPECT_EQ(b.Run(), 0);
    Trace w = b.WritesAfterStartUp();
    ASSERT_GE(w.size(), 4u);
    EXPECT_EQ(w[0], W(kIndex, kRoute));
    EXPECT_EQ(w[1], W(kData, route));
    EXPECT_EQ(w[2], W(kIndex, test::reg::kDivisorLow));  // the session programs the UART next
    EXPECT_EQ(title.substr(0, titles[route].size() + 5), titles[route] + "     ") << route;
    EXPECT_EQ(b.board->route(), 0);  // Q left route 0
  }
}

TEST(RouteMenu, TheLogLivesInTheProgramFolderWhereverItStarted) {
  ProgramBench b;
  test::TempFolder elsewhere;
  std::filesystem::current_path(elsewhere.path());
  b.folder.Write("Qb7_Uart.cfg", "#COMMODE 57600\n");
  b.frontend.AddKeys({"3", keys::KeyShiftF2, "q"});
  EXPECT_EQ(b.Run(), 0);
  EXPECT_TRUE(b.folder.Exists("Term.txt"));
  EXPECT_FALSE(elsewhere.Exists("Term.txt"));
  EXPECT_EQ(b.machine.store.baud, 57600);
}

TEST(RouteMenu, HomeInAMessageLineEndsWithStatusZeroAndNoPortWrite) {
  ProgramBench b;
  std::filesystem::remove(b.folder.path() + "/Qb7_Uart.cfg");
  b.frontend.AddKey(KeyCode(keys::KeyHome));
  EXPECT_EQ(b.Run(), 0);
  EXPECT_TRUE(b.ports.log.empty());  // not even the auxiliary port
  EXPECT_EQ(b.messages, std::vector<std::string>{"Config file not found: Qb7_Uart.cfg"});
  EXPECT_EQ(b.Row(1), std::string(80, ' '));
}

// Two keys typed before a message line shows: the first answers it, the
// second goes on in turn (here it opens route 2), neither lost nor held
// back for a later line.
TEST(StartUp, KeysTypedAheadOfAMessageLineAnswerItInTurn) {
  ProgramBench b;
  std::filesystem::remove(b.folder.path() + "/Qb7_Uart.cfg");  // "Config file not found"
  b.frontend.AddKey("x");         // taken in before the line shows
  b.frontend.AddKeyAt(1000, "2");  // and after
  b.frontend.AddKeyAt(600000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(700000, "q");
  EXPECT_EQ(b.Run(), 0);
  EXPECT_EQ(b.messages, std::vector<std::string>{"Config file not found: Qb7_Uart.cfg"});
  const Trace writes = b.ports.Writes();
  EXPECT_NE(std::find(writes.begin(), writes.end(), W(kData, 2)), writes.end())
      << "the second key did not open route 2";
}

// The configuration's problems are listed where they stand before the menu,
// and the menu comes, unchanged, once the list is answered; nothing is sent
// to the board meanwhile.
TEST(StartUp, TheConfigurationsProblemsAreListedBeforeTheMenu) {
  ProgramBench b;
  b.folder.Write("Qb7_Uart.cfg", "#F9 \"help\" CRR\n#F13 $3\n");
  std::vector<std::string> listed;
  bool menuAfterList = false;
  b.frontend.OnScreen([&](const Screen& s) {
    if (listed.empty() && s.RowText(1).rfind("Qb7_Uart.cfg:", 0) == 0)
      for (int row = 1; row <= 3; ++row) listed.push_back(s.RowText(row));
    if (!listed.empty() && s.RowText(1).rfind("QB7 UART IO port 0x352:", 0) == 0) menuAfterList = true;
  });
  b.frontend.AddKeyAt(200000, "x");  // answers the list's message line
  b.frontend.AddKeyAt(300000, "q");
  EXPECT_EQ(b.Run(), 0);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0].substr(0, 40), "Qb7_Uart.cfg:1:12: #F9: unknown word CRR");
  EXPECT_EQ(listed[1].substr(0, 36), "Qb7_Uart.cfg:2:1: #F13: no F key has");
  EXPECT_EQ(b.messages, std::vector<std::string>{"Config file: 2 problems, listed above"});
  EXPECT_TRUE(menuAfterList);
  EXPECT_GE(b.ports.log.at(0).atUs, 200000u);  // the board untouched until answered
}

}  // namespace
}  // namespace qb7
