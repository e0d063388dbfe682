#include <gtest/gtest.h>

#include <sys/stat.h>

#include "config/config_loader.hpp"
#include "file_permissions.hpp"
#include "harness.hpp"

namespace qb7 {
namespace {

struct ConfigBench : test::Bench {
  ConfigBench() : Bench(false) { std::filesystem::current_path(folder.path()); }
  void Load(const std::string& content) {
    folder.Write("Qb7_Uart.cfg", content);
    LoadFile();
  }
  // Loads what the folder holds; what the loader met, as the operator
  // reads it, goes to messages.
  void LoadFile() {
    for (const ConfigProblem& problem : LoadConfiguration(files, store()))
      messages.push_back(problem.Text());
  }
  Store& store() { return machine.store; }
  std::vector<std::string> Slot(int n) {
    std::vector<std::string> lines;
    for (int i = 1; i <= store().SlotCount(n); ++i) lines.push_back(store().SlotLine(n, i));
    return lines;
  }
};

using Lines = std::vector<std::string>;

const char* const kExample =
    "' QB7 console settings\n"
    "#COMMODE 9600\n"
    "#F1 $13\n"
    "#f2\n"
    "  $3 W500 $13\n"
    "#SF3 $3\n"
    "#HELP\n"
    "F1  Enter\n"
    "\"\n"
    "F2  break, then Enter\n"
    "#F12\n"
    "$13\n"
    "$10\n";

TEST(Config, TheExampleFile) {
  ConfigBench b;
  b.Load(kExample);
  EXPECT_EQ(b.store().baud, 9600);
  EXPECT_EQ(b.Slot(1), Lines{"$13"});
  EXPECT_EQ(b.Slot(2), Lines{"$3 W500 $13"});
  EXPECT_EQ(b.Slot(15), Lines{"$3"});
  EXPECT_EQ(b.Slot(12), (Lines{"$13", "$10"}));
  EXPECT_EQ(b.store().HelpCount(), 3);
  EXPECT_EQ(b.store().HelpLine(1), "F1  Enter");
  EXPECT_EQ(b.store().HelpLine(2), " ");
  EXPECT_EQ(b.store().HelpLine(3), "F2  break, then Enter");
  for (int n : {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 16, 24}) EXPECT_EQ(b.store().SlotCount(n), 0);
  EXPECT_TRUE(b.messages.empty());
}

TEST(Config, CrLfLinesGiveTheSameStore) {
  std::string crlf;
  for (const char* p = kExample; *p; ++p) {
    if (*p == '\n') crlf += '\r';
    crlf += *p;
  }
  ConfigBench b;
  b.Load(crlf);
  EXPECT_EQ(b.store().baud, 9600);
  EXPECT_EQ(b.Slot(12), (Lines{"$13", "$10"}));
  EXPECT_EQ(b.store().HelpLine(2), " ");
}

TEST(Config, SlotNumberFields) {
  ConfigBench b;
  b.Load("#F05 a\n#F5x b\n#SF  c\n#F7b d\n#sf12 e\n#F13 f\n");
  EXPECT_EQ(b.Slot(5), Lines{"b"});  // the second #F5 restarts the slot
  EXPECT_EQ(b.Slot(12), Lines{"c"});  // #SF with no digits: 0 + 12
  EXPECT_EQ(b.Slot(7), Lines{"d"});  // position 4 belongs to the number field
  EXPECT_EQ(b.Slot(24), Lines{"e"});
  EXPECT_EQ(b.Slot(13), Lines{"f"});
}

TEST(Config, BaudSettings) {
  ConfigBench a;
  a.Load("#COMMODE\n115200\n");
  EXPECT_EQ(a.store().baud, 115200);
  ConfigBench b;
  b.Load("#COMMODE 57600 ' the bench default\n");
  EXPECT_EQ(b.store().baud, 57600);
  ConfigBench c;
  c.Load("38400\n");
  EXPECT_EQ(c.store().baud, 38400);
  ConfigBench d;
  d.Load("#commode fast\n");
  EXPECT_EQ(d.store().baud, 0);
  ConfigBench e;
  e.Load("#COMMODE 9600\n#COMMODE 19200\n");
  EXPECT_EQ(e.store().baud, 19200);
  ConfigBench f;
  f.Load("");
  EXPECT_EQ(f.store().baud, 115200);
  for (int n = 1; n <= 24; ++n) EXPECT_EQ(f.store().SlotCount(n), 0);
  EXPECT_EQ(f.store().HelpCount(), 0);
}

TEST(Config, HeaderRestsCommentsAndSpaces) {
  ConfigBench b;
  b.Load("#F3 'only a comment\n   \n'note\nx\n#F4\n\t\n#F6  spaced   \n#HELPme\n");
  EXPECT_EQ(b.Slot(3), Lines{"x"});  // empty lines and comments do not end it
  EXPECT_EQ(b.Slot(4), Lines{"\t"});  // a tab is content
  EXPECT_EQ(b.Slot(6), Lines{"spaced"});
  EXPECT_EQ(b.store().HelpCount(), 1);
  EXPECT_EQ(b.store().HelpLine(1), "me");
}

TEST(Config, ASlotDefinedTwiceKeepsTheLatestCount) {
  ConfigBench b;
  b.Load("#F1\na\nb\nc\n#F1\nz\n#F2\nq\n#F2\n");
  EXPECT_EQ(b.Slot(1), Lines{"z"});
  // A second block with no lines leaves the count as it was.
  EXPECT_EQ(b.Slot(2), Lines{"q"});
}

TEST(Config, UnknownHeadersAreReportedAndTheirLinesGoNowhere) {
  ConfigBench b;
  b.Load("#COMMODE 9600\n#BAUD 300\n1200\n#F0 zero\nlost\n#F25 x\n#SF13 y\n#F1 ok\n");
  EXPECT_EQ(b.messages, (Lines{"Non Valid Command: #BAUD 300", "Non Valid Command: #F0 zero",
                               "Non Valid Command: #F25 x", "Non Valid Command: #SF13 y"}));
  EXPECT_EQ(b.store().baud, 9600);  // neither 1200 nor "lost" reached the baud
  EXPECT_EQ(b.Slot(1), Lines{"ok"});
  EXPECT_EQ(b.store().HelpCount(), 0);
}

// Every problem the file holds, where it stands (line and column of the
// file, the slot), in file order, of what plays; the file loads as written
// all the same.
TEST(Config, ProblemsAreFoundWithTheirLineColumnAndSlot) {
  ConfigBench b;
  b.folder.Write("Qb7_Uart.cfg",
                 "\xEF\xBB\xBF' five kinds of mistakes, and more\n"
                 "#COMMODE fast\n"
                 "#F8 \"version CR\n"
                 "#F9 \"help\" CRR\n"
                 "#F13 $3\n"
                 "   #F10 $300 W5x0\n"
                 "#BAUD 300\n"
                 "lost\n"
                 "#F3 XYZ\n"
                 "#F3 $13\n"
                 "#F12\n"
                 "GP.EXE\n"
                 "GP.EXE\n");
  std::vector<ConfigFinding> findings;
  LoadConfiguration(b.files, b.store(), &findings);
  std::vector<std::string> texts;
  for (const ConfigFinding& f : findings) texts.push_back(f.Text("Qb7_Uart.cfg"));
  EXPECT_EQ(texts, (Lines{
      "Qb7_Uart.cfg:2:10: #COMMODE: no speed in \"fast\": the line speed becomes 0",
      "Qb7_Uart.cfg:3:5: #F8: a quote not closed: the rest of the line goes as text",
      "Qb7_Uart.cfg:4:12: #F9: unknown word CRR",
      "Qb7_Uart.cfg:5:1: #F13: no F key has this number: its lines go to #SF1's slot",
      "Qb7_Uart.cfg:6:9: #F10: $300: beyond 0..255: sends byte 44",
      "Qb7_Uart.cfg:6:14: #F10: W5x0: read as W5",
      "Qb7_Uart.cfg:7:1: #BAUD: unknown header: the headers are #F1..#F12, #SF1..#SF12, "
      "#COMMODE, #HELP, #CTRLC, #KEEP and #PROMPT; its lines go nowhere",
      "Qb7_Uart.cfg:8:1: under an unknown header: goes nowhere",
      // The line replaced never plays: nothing of it is told but that.
      "Qb7_Uart.cfg:10:1: #F3: defined again: the lines from line 9 play no more",
      // A slot of two lines starts GP.EXE: its lines are no macros.
  }));
  EXPECT_EQ(b.Slot(9), Lines{"\"help\" CRR"});  // stored and played as written
  EXPECT_EQ(b.Slot(13), Lines{"$3"});
}

// #CTRLC SEND makes Ctrl-C a key sent to the board; END, or no such line,
// leaves it the order to end; anything else is found and changes nothing.
TEST(Config, CtrlCIsSentOnlyWhenTheFileSaysSo) {
  ConfigBench b;
  b.Load("#F1 $1\n");
  EXPECT_FALSE(b.store().ctrlCSent);
  b.Load("#ctrlc send ' as on the bench\n");
  EXPECT_TRUE(b.store().ctrlCSent);
  b.Load("#CTRLC\nEND\n");
  EXPECT_FALSE(b.store().ctrlCSent);
  b.folder.Write("Qb7_Uart.cfg", "#CTRLC yes\n");
  std::vector<ConfigFinding> findings;
  LoadConfiguration(b.files, b.store(), &findings);
  EXPECT_FALSE(b.store().ctrlCSent);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].Text("Qb7_Uart.cfg"),
            "Qb7_Uart.cfg:1:8: #CTRLC: takes SEND (Ctrl-C goes to the board) or END (it ends the program)");
  EXPECT_TRUE(b.messages.empty());
}

TEST(Config, TheShippedSampleHasNoProblems) {
  ConfigBench b;
  std::filesystem::copy_file(std::string(QB7_SOURCE_DIR) + "/config/Qb7_Uart.cfg",
                             b.folder.path() + "/Qb7_Uart.cfg");
  std::vector<ConfigFinding> findings;
  LoadConfiguration(b.files, b.store(), &findings);
  EXPECT_TRUE(findings.empty()) << findings.front().Text("Qb7_Uart.cfg");
  EXPECT_GT(b.store().SlotCount(1), 0);
}

TEST(Config, LimitsOfTheStoreAreFoundOnce) {
  ConfigBench b;
  std::string file = "#F1\n";
  for (int i = 0; i < 101; ++i) file += "$1\n";
  file += "#HELP\n";
  for (int i = 0; i < 26; ++i) file += "h\n";
  b.folder.Write("Qb7_Uart.cfg", file);
  std::vector<ConfigFinding> findings;
  LoadConfiguration(b.files, b.store(), &findings);
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[0].line, 101);
  EXPECT_EQ(findings[0].text, "more than 99 lines: this one and those after it are not played");
  EXPECT_EQ(findings[1].line, 103 + 25);  // the 25th help line
  EXPECT_EQ(findings[1].where, "#HELP");
}

TEST(Config, NegativeAndHugeSlotNumbersCorruptNothing) {
  ConfigBench b;
  b.Load("#F-5 a\n#F99999999999 b\n#F-1\nc\n#F2 fine\n");
  EXPECT_EQ(b.messages.size(), 3u);
  EXPECT_EQ(b.Slot(2), Lines{"fine"});
  EXPECT_EQ(b.store().baud, 115200);
  EXPECT_EQ(b.store().HelpCount(), 0);
}

TEST(Config, LinesBeyondTheStoreAreIgnored) {
  std::string file = "#F1\n";
  for (int i = 1; i <= 120; ++i) file += "line" + std::to_string(i) + "\n";
  file += "#F2 next\n#HELP\n";
  for (int i = 1; i <= 30; ++i) file += "help" + std::to_string(i) + "\n";
  ConfigBench b;
  b.Load(file);
  EXPECT_EQ(b.store().SlotCount(1), 99);
  EXPECT_EQ(b.store().SlotLine(1, 99), "line99");
  EXPECT_EQ(b.Slot(2), Lines{"next"});
  EXPECT_EQ(b.store().HelpCount(), 24);
  EXPECT_EQ(b.store().HelpLine(24), "help24");
}

TEST(Config, AMissingFileIsReportedAndDefaultsStay) {
  ConfigBench b;
  b.LoadFile();
  EXPECT_EQ(b.messages, Lines{"Config file not found: Qb7_Uart.cfg"});
  EXPECT_EQ(b.store().baud, 115200);
}

TEST(Config, AFileThatCannotBeReadIsToldAndDefaultsStay) {
  ConfigBench b;
  b.folder.Write("Qb7_Uart.cfg", "#COMMODE 9600\n");
  chmod((b.folder.path() + "/Qb7_Uart.cfg").c_str(), 0);
  test::ObeyFilePermissions obey;
  b.LoadFile();
  EXPECT_EQ(b.messages, Lines{"Config file not readable: Qb7_Uart.cfg (Permission denied)"});
  EXPECT_EQ(b.store().baud, 115200);
}

TEST(Config, AByteOrderMarkBeforeTheFirstLineIsSkipped) {
  ConfigBench b;
  b.Load("\xEF\xBB\xBF#COMMODE 9600\r\n#F1 $13\r\n");
  EXPECT_EQ(b.store().baud, 9600);
  EXPECT_EQ(b.Slot(1), Lines{"$13"});
  EXPECT_TRUE(b.messages.empty());
}

TEST(Config, TheNameIsFoundWhateverItsCase) {
  ConfigBench b;
  b.folder.Write("QB7_UART.CFG", "#COMMODE 4800\n");
  b.LoadFile();
  EXPECT_EQ(b.store().baud, 4800);
  EXPECT_TRUE(b.messages.empty());
}

TEST(Config, BinaryGarbageLoadsWithoutHarm) {
  std::string junk;
  uint32_t x = 12345;
  for (int i = 0; i < 20000; ++i) {
    x = x * 1103515245 + 12345;
    char c = static_cast<char>(x >> 16);
    junk += c == '#' ? '+' : c;  // no headers, so no messages to answer
  }
  ConfigBench b;
  b.Load(junk);
  EXPECT_TRUE(b.messages.empty());
  for (int n = 1; n <= 24; ++n) EXPECT_EQ(b.store().SlotCount(n), 0);
}

}  // namespace
}  // namespace qb7

namespace qb7 {
namespace {

TEST(ConfigBadInput, AMegabyteLineAndThousandsOfHeadersLoadIntact) {
  std::string file = "#F1 " + std::string(1 << 20, 'x') + "\n";
  for (int i = 0; i < 5000; ++i) file += "#F2 \"again " + std::to_string(i) + "\"\n";
  file += "#HELP\nlast\n";
  ConfigBench b;
  b.Load(file);
  EXPECT_EQ(b.store().SlotLine(1, 1).size(), 1u << 20);
  EXPECT_EQ(b.Slot(2), Lines{"\"again 4999\""});
  EXPECT_EQ(b.store().HelpLine(1), "last");
  EXPECT_TRUE(b.messages.empty());
}

}  // namespace
}  // namespace qb7
