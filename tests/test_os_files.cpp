#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "harness.hpp"
#include "os/files.hpp"
#include "os/whole_file.hpp"

namespace qb7 {
namespace {

using test::TempFolder;

TEST(Files, CrLfAndLfLinesReadTheSameAndTheLastLineNeedsNoLineFeed) {
  TempFolder t;
  t.Write("crlf.txt", "one\r\ntwo\r\n\r\nthree");
  t.Write("lf.txt", "one\ntwo\n\nthree");
  Files f(t.path());
  for (const char* name : {"crlf.txt", "lf.txt"}) {
    int n = f.FreeFileNumber();
    f.OpenForReading(t.path() + "/" + name, n);
    std::vector<std::string> lines;
    while (!f.EndOfFile(n)) lines.push_back(f.ReadLine(n));
    f.CloseFile(n);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "", "three"})) << name;
  }
}

TEST(Files, LongLinesAndLoneCarriageReturnsSurvive) {
  TempFolder t;
  std::string big(200000, 'a');
  t.Write("big.txt", big + "\nx\ry\n");
  Files f(t.path());
  f.OpenForReading(t.path() + "/big.txt", 1);
  EXPECT_EQ(f.ReadLine(1), big);
  EXPECT_EQ(f.ReadLine(1), "x\ry");
  EXPECT_TRUE(f.EndOfFile(1));
}

TEST(Files, EmptyOrMissingFilesAreAtEndAtOnce) {
  TempFolder t;
  t.Write("empty.txt", "");
  Files f(t.path());
  f.OpenForReading(t.path() + "/empty.txt", 1);
  EXPECT_TRUE(f.EndOfFile(1));
  f.OpenForReading(t.path() + "/missing.txt", 2);
  EXPECT_FALSE(f.IsOpen(2));
  EXPECT_TRUE(f.EndOfFile(2));
  EXPECT_EQ(f.ReadLine(2), "");
  f.WriteFile(2, "dropped");  // not open: nothing happens
}

TEST(Files, NumbersAreTheLowestFreeOneAndRunOutAt255) {
  TempFolder t;
  Files f(t.path());
  for (int i = 1; i <= 255; ++i) {
    ASSERT_EQ(f.FreeFileNumber(), i);
    f.OpenForOutput(t.path() + "/f" + std::to_string(i), i);
  }
  EXPECT_EQ(f.FreeFileNumber(), 0);
  f.CloseFile(17);
  EXPECT_EQ(f.FreeFileNumber(), 17);
  f.OpenForOutput(t.path() + "/x", 256);  // out of range: ignored
  EXPECT_FALSE(f.IsOpen(256));
}

TEST(Files, OutputEmptiesAnOldFileAndWritesRawBytes) {
  TempFolder t;
  t.Write("Term.txt", "an older log");
  Files f(t.path());
  f.OpenForOutput(t.path() + "/Term.txt", 3);
  EXPECT_EQ(t.Read("Term.txt"), "");
  f.WriteFile(3, std::string("a\r\n\0b", 5));
  f.WriteByte(3, 200);
  f.CloseFile(3);
  EXPECT_EQ(t.Read("Term.txt"), std::string("a\r\n\0b\xc8", 6));
}

TEST(Files, FileExistsIgnoresCaseDirectoriesAndHiddenFiles) {
  TempFolder t;
  std::filesystem::current_path(t.path());
  t.Write("QB7_UART.CFG", "x");
  EXPECT_EQ(Files::FileExists("Qb7_Uart.cfg").value_or(""), "QB7_UART.CFG");
  mkdir((t.path() + "/Term.txt").c_str(), 0755);
  EXPECT_FALSE(Files::FileExists("term.txt"));
  t.Write(".hidden", "x");
  EXPECT_FALSE(Files::FileExists(".hidden"));
  EXPECT_FALSE(Files::FileExists("nothing"));
}

// A pipe named like the file of a save in progress is neither opened
// through nor waited on: it is left alone and told, and the file is written
// whole under its own name (in a child, which an alarm ends should the
// write block). A leftover of a save cut short is simply replaced.
TEST(WholeFileDeathTest, APipeInTheWayIsLeftAloneAndToldAndTheFileWrittenWhole) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test::TempFolder t;
  ASSERT_EQ(mkfifo((t.path() + "/h.txt.part").c_str(), 0600), 0);
  EXPECT_EXIT(
      {
        alarm(5);
        const WholeFile w = WriteWholeFile(t.path() + "/h.txt", "abc");
        struct stat st {};
        const bool pipeLeft = lstat((t.path() + "/h.txt.part").c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
        std::_Exit(w.error == 0 && t.Read("h.txt") == "abc" && w.inTheWay == t.path() + "/h.txt.part" &&
                           pipeLeft
                       ? 0
                       : 1);
      },
      ::testing::ExitedWithCode(0), "");
  t.Write("g.txt.part", "half a save");
  const WholeFile w = WriteWholeFile(t.path() + "/g.txt", "whole");
  EXPECT_EQ(w.error, 0);
  EXPECT_TRUE(w.inTheWay.empty());
  EXPECT_EQ(t.Read("g.txt"), "whole");
  EXPECT_FALSE(t.Exists("g.txt.part"));
}

}  // namespace
}  // namespace qb7
