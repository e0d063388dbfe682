// The log's own writer thread: everything appended reaches the file in
// order, a removed log is noticed and started again, and a disk that does
// not answer holds up nobody but the writer.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "harness.hpp"
#include "os/monotonic.hpp"
#include "log/threaded_log_writer.hpp"

namespace qb7 {
namespace {

using namespace std::chrono_literals;
using test::TempFolder;

// Waits (a few seconds at most) until the writer has news.
LogNews AwaitNews(LogWriter& log) {
  for (int i = 0; i < 300; ++i) {
    LogNews news = log.TakeNews();
    if (news.Any()) return news;
    std::this_thread::sleep_for(10ms);
  }
  return {};
}

TEST(ThreadedLogWriter, EveryByteReachesItsLogInOrder) {
  TempFolder t;
  ThreadedLogWriter log;
  log.Open(t.path() + "/first.txt");
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    const std::string line = std::to_string(i) + "\r\n";
    log.Append(line);
    expected += line;
  }
  log.Close();
  log.Open(t.path() + "/second.txt");
  log.Append("second");
  EXPECT_EQ(log.Finish(5000), 0u);
  EXPECT_EQ(t.Read("first.txt"), expected);
  EXPECT_EQ(t.Read("second.txt"), "second");
  EXPECT_FALSE(log.TakeNews().Any());
}

TEST(ThreadedLogWriter, AQuietLineIsOnDiskWithinASecond) {
  TempFolder t;
  ThreadedLogWriter log;
  log.Open(t.path() + "/Term.txt");
  log.Append("prompt> ");
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(t.Read("Term.txt"), "prompt> ");
  log.Finish(1000);
}

TEST(ThreadedLogWriter, ARemovedLogIsToldAndWrittenAnew) {
  TempFolder t;
  ThreadedLogWriter log;
  log.Open(t.path() + "/Term.txt");
  log.Append("old ");
  std::this_thread::sleep_for(300ms);
  std::filesystem::remove(t.path() + "/Term.txt");
  const LogNews news = AwaitNews(log);
  EXPECT_TRUE(news.removed);
  log.Append("new");
  EXPECT_EQ(log.Finish(3000), 0u);
  EXPECT_EQ(t.Read("Term.txt"), "new");
}

// A named pipe that nobody reads plays a disk that stopped answering: the
// writer blocks in the kernel, as on a frozen file system.
TEST(ThreadedLogWriter, AStalledDiskHoldsUpOnlyTheWriterAndTheEndSaysWhatIsMissing) {
  TempFolder t;
  const std::string fifo = t.path() + "/Term.txt";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // The writer, still blocked when the test ends, keeps what it shares.
  ThreadedLogWriter log;
  log.Open(fifo);
  const std::string block(4096, 'x');
  const uint64_t start = MonotonicUs();
  for (int i = 0; i < 1000; ++i) log.Append(block);  // 4 MB: far past a pipe's 64 KB
  const uint64_t appendUs = MonotonicUs() - start;
  EXPECT_LT(appendUs, 500000u) << "appending waited for the stalled writer";
  const uint64_t finishStart = MonotonicUs();
  EXPECT_EQ(log.Finish(300), 4096u * 1000);  // nothing was written: open() never returned
  EXPECT_LT(MonotonicUs() - finishStart, 2000000u);
  // The writer may now run to its end: a reader takes what it writes.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  char buf[65536];
  size_t got = 0;
  for (int i = 0; i < 500 && got < 4096u * 1000; ++i) {
    const ssize_t n = read(reader, buf, sizeof buf);
    if (n > 0) got += static_cast<size_t>(n);
    else std::this_thread::sleep_for(5ms);
  }
  close(reader);
  EXPECT_EQ(got, 4096u * 1000);
}

TEST(ThreadedLogWriter, BytesThatFindTheQueueFullAreCountedNotWaitedFor) {
  TempFolder t;
  const std::string fifo = t.path() + "/Term.txt";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Left blocked in open() for good; it keeps what it shares.
  ThreadedLogWriter log;
  log.Open(fifo);
  // The queue holds kQueueBytes on each side of the hand-over; whatever
  // the writer took before it stalled, three blocks more cannot fit.
  const std::string block(1024 * 1024, 'y');
  const size_t blocks = 2 * ThreadedLogWriter::kQueueBytes / block.size() + 3;
  const uint64_t start = MonotonicUs();
  for (size_t i = 0; i < blocks; ++i) log.Append(block);
  EXPECT_LT(MonotonicUs() - start, 2000000u);
  const LogNews news = log.TakeNews();
  EXPECT_GE(news.dropped, 3u * block.size());
  EXPECT_LE(news.dropped, 3u * block.size() + ThreadedLogWriter::kQueueBytes);
  EXPECT_EQ(log.Finish(100), 2 * ThreadedLogWriter::kQueueBytes + 3 * block.size() - news.dropped);
}

}  // namespace
}  // namespace qb7
