// Term.times stays aligned with the Term.txt on disk whatever befalls the
// log: a Term.txt removed (a new one starts, its records count from its
// own start), a full disk (the hole is a record of its own, the records
// after it count the file as written), a record cut by the disk filling
// (taken back whole). The whole program, headless, on the simulated board.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "harness.hpp"
#include "keys/keys.hpp"
#include "times_alignment.hpp"

namespace qb7 {
namespace {

// J27 sends numbered lines of a given length, one every 20 ms from 300 ms.
struct LinesBench : test::Bench {
  LinesBench(int lines, int width) {
    folder.Write("Qb7_Uart.cfg", "' nothing\n");
    RecordMessages(true);
    for (int i = 1; i <= lines; ++i) {
      std::string text = "line " + std::to_string(i) + " ";
      text.resize(static_cast<std::size_t>(width - 2), '.');
      board->FarEndOn(2)->outbox().Send(text + "\r\n", 300000 + static_cast<uint64_t>(i) * 20000);
    }
    frontend.AddKeyAt(1000, "2");
  }
  int Leave(uint64_t atUs) {
    frontend.AddKeyAt(atUs, std::string(keys::KeyShiftF2));
    frontend.AddKeyAt(atUs + 100000, "q");
    return Run();
  }
  test::Alignment Check() {
    return test::CheckAlignment(folder.Read("Term.txt"), folder.Read("Term.times"));
  }
};

TEST(TimesAlignment, ANewTermTxtInPlaceOfOneRemovedCountsFromItsOwnStart) {
  LinesBench b(150, 40);
  b.frontend.AddActionAt(1500000, [&] { std::filesystem::remove(b.folder.path() + "/Term.txt"); });
  ASSERT_EQ(b.Leave(4000000), 0);
  const test::Alignment a = b.Check();
  EXPECT_TRUE(a.Aligned()) << a.atLineStart << " of " << a.lines << ", " << a.broken << " broken";
  EXPECT_GT(a.lines, 50u);
  EXPECT_EQ(a.restarts, 1u);
  EXPECT_EQ(b.folder.Read("Term.txt").substr(0, 5), "line ");
}

TEST(TimesAlignment, AHoleAFullDiskLeftIsARecordAndTheRecordsAfterItCountTheFileAsWritten) {
  // The file-size limit plays a full disk: writes past it fail with EFBIG.
  // Lines of 300 bytes make Term.txt reach it first; Term.times, a record of
  // 60 bytes a line, stays under it.
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  LinesBench b(150, 300);
  rlimit full = saved;
  full.rlim_cur = 12000;  // Term.txt reaches it at its 40th line
  b.frontend.AddActionAt(1000000, [&] { setrlimit(RLIMIT_FSIZE, &full); });
  b.frontend.AddActionAt(2000000, [&] { setrlimit(RLIMIT_FSIZE, &saved); });
  ASSERT_EQ(b.Leave(4000000), 0);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_DFL);
  const test::Alignment a = b.Check();
  EXPECT_TRUE(a.Aligned()) << a.atLineStart << " of " << a.lines << ", " << a.broken << " broken";
  EXPECT_EQ(a.holes, 1u);
  EXPECT_GT(a.lines, 80u);
  const std::string times = b.folder.Read("Term.times");
  EXPECT_NE(times.find("\thole: "), std::string::npos);
}

TEST(TimesAlignment, ARecordTheDiskCutIsTakenBackWholeNotGluedToTheNext) {
  // The limit falls in the middle of a record of Term.times (and Term.txt,
  // larger, meets it too): that record goes whole, the next ones are whole.
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  LinesBench b(150, 20);
  rlimit full = saved;
  full.rlim_cur = 2050;  // Term.times passes it within its 30th record or so
  b.frontend.AddActionAt(600000, [&] { setrlimit(RLIMIT_FSIZE, &full); });
  b.frontend.AddActionAt(2000000, [&] { setrlimit(RLIMIT_FSIZE, &saved); });
  ASSERT_EQ(b.Leave(4000000), 0);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_DFL);
  const test::Alignment a = b.Check();
  EXPECT_EQ(a.broken, 0u);
  EXPECT_TRUE(a.Aligned()) << a.atLineStart << " of " << a.lines << ", " << a.broken << " broken";
  EXPECT_GT(a.lines, 50u);
}

}  // namespace
}  // namespace qb7
