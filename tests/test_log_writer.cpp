// The log's own writer thread: everything appended reaches the file in
// order, a removed log is noticed and started again, and a disk that does
// not answer holds up nobody but the writer.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
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
    log.HandOver();
    LogNews news = log.TakeNews();
    if (news.Any()) return news;
    std::this_thread::sleep_for(10ms);
  }
  return {};
}

TEST(ThreadedLogWriter, EveryByteReachesItsLogInOrder) {
  TempFolder t;
  ThreadedLogWriter log;
  log.Open(t.path() + "/first.txt", 1u << 30);
  std::string expected;
  std::string expectedRaw;
  std::string expectedTimes;
  for (int i = 0; i < 20000; ++i) {
    // The raw bytes run ahead of the text (a colour sequence the text
    // lacks): each record lands at its place in both files.
    const std::string line = std::to_string(i) + "\r\n";
    const std::string raw = "\x1b[3" + std::to_string(i % 8) + "m" + line;
    log.AppendRaw(raw);
    log.Append(line);
    if (i % 1000 == 0) {
      TimeMark mark{expected.size(), expectedRaw.size() + 5, {}, "event " + std::to_string(i)};
      log.Mark(mark);
      expectedTimes += std::to_string(mark.offset) + "\t" + std::to_string(mark.raw) + "\t";
    }
    expected += line;
    expectedRaw += raw;
  }
  log.Close();
  log.Open(t.path() + "/second.txt", 1u << 30);
  log.Append("second");
  EXPECT_EQ(log.Finish(5000), 0u);
  EXPECT_EQ(t.Read("first.txt"), expected);
  EXPECT_EQ(t.Read("first.raw"), expectedRaw);
  // Each record at where the two files stood when it was carried out.
  std::string times;
  std::istringstream records(t.Read("first.times"));
  for (std::string record; std::getline(records, record);) {
    if (record.empty() || record[0] == '#') continue;
    const std::size_t second = record.find('\t', record.find('\t') + 1);
    times += record.substr(0, second + 1);
  }
  EXPECT_EQ(times, expectedTimes);
  EXPECT_EQ(t.Read("second.txt"), "second");
  EXPECT_FALSE(log.TakeNews().Any());
}

TEST(ThreadedLogWriter, AQuietLineIsOnDiskWithinASecond) {
  TempFolder t;
  ThreadedLogWriter log;
  log.Open(t.path() + "/Term.txt", 1u << 30);
  log.Append("prompt> ");
  // The program thread's loop offers what it gathered at every turn.
  for (int i = 0; i < 100; ++i) {
    std::this_thread::sleep_for(10ms);
    log.HandOver();
  }
  EXPECT_EQ(t.Read("Term.txt"), "prompt> ");
  log.Finish(1000);
}

TEST(ThreadedLogWriter, ARemovedLogIsToldAndWrittenAnew) {
  TempFolder t;
  ThreadedLogWriter log;
  log.Open(t.path() + "/Term.txt", 1u << 30);
  log.Append("old ");
  for (int i = 0; i < 30; ++i) {
    std::this_thread::sleep_for(10ms);
    log.HandOver();
  }
  std::filesystem::remove(t.path() + "/Term.txt");
  const LogNews news = AwaitNews(log);
  EXPECT_TRUE(news.log.removed);
  log.Append("new");
  EXPECT_EQ(log.Finish(3000), 0u);
  EXPECT_EQ(t.Read("Term.txt"), "new");
}

// A disk that stops answering: every call blocks, as a write to a frozen
// file system does, until the test lets it go; what reaches it is kept.
// Shared, so that a writer still blocked when the test ends touches nothing
// freed.
struct Gate {
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
  std::string written;
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    opened.wait(lock, [this] { return open; });
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      open = true;
    }
    opened.notify_all();
  }
  std::size_t Written() {
    std::lock_guard<std::mutex> lock(mutex);
    return written.size();
  }
};
class StalledDisk final : public LogStore {
 public:
  explicit StalledDisk(std::shared_ptr<Gate> gate) : gate_(std::move(gate)) {}
  void Open(const std::string&, uint64_t) override { gate_->Wait(); }
  void Write(std::string_view bytes) override {
    gate_->Wait();
    std::lock_guard<std::mutex> lock(gate_->mutex);
    gate_->written.append(bytes);
  }
  void WriteRaw(std::string_view) override { gate_->Wait(); }
  void Mark(const TimeMark&) override { gate_->Wait(); }
  void Close() override { gate_->Wait(); }
  void CheckStillThere() override {}
  LogNews TakeNews() override { return {}; }

 private:
  std::shared_ptr<Gate> gate_;
};

TEST(ThreadedLogWriter, AStalledDiskHoldsUpOnlyTheWriterAndTheEndSaysWhatIsMissing) {
  auto gate = std::make_shared<Gate>();
  ThreadedLogWriter log(std::make_unique<StalledDisk>(gate));
  log.Open("Term.txt", 1u << 30);
  const std::string block(4096, 'x');
  const uint64_t start = MonotonicUs();
  for (int i = 0; i < 1000; ++i) {
    log.Append(block);
    log.Mark({});
  }
  const uint64_t appendUs = MonotonicUs() - start;
  EXPECT_LT(appendUs, 500000u) << "appending waited for the stalled writer";
  const uint64_t finishStart = MonotonicUs();
  EXPECT_EQ(log.Finish(300), 4096u * 1000);  // nothing was written: the open never returned
  EXPECT_LT(MonotonicUs() - finishStart, 2000000u);
  // The disk answers again: the writer, left to itself, writes it all.
  gate->Release();
  for (int i = 0; i < 500 && gate->Written() < 4096u * 1000; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(gate->Written(), 4096u * 1000);
}

TEST(ThreadedLogWriter, BytesThatFindTheQueueFullAreCountedNotWaitedFor) {
  auto gate = std::make_shared<Gate>();
  constexpr std::size_t kQueue = 8u * 1024 * 1024;  // the queue, smaller than the program's
  ThreadedLogWriter log(std::make_unique<StalledDisk>(gate), kQueue);
  log.Open("Term.txt", 1u << 30);
  // The queue holds kQueue bytes on each side of the hand-over; whatever
  // the writer took before it stalled, three blocks more cannot fit.
  const std::string block(1024 * 1024, 'y');
  const size_t blocks = 2 * kQueue / block.size() + 3;
  const uint64_t start = MonotonicUs();
  for (size_t i = 0; i < blocks; ++i) log.Append(block);
  EXPECT_LT(MonotonicUs() - start, 2000000u);
  const LogNews news = log.TakeNews();
  EXPECT_GE(news.dropped, 3u * block.size());
  EXPECT_LE(news.dropped, 3u * block.size() + kQueue);
  EXPECT_EQ(log.Finish(100), 2 * kQueue + 3 * block.size() - news.dropped);
  gate->Release();
}

}  // namespace
}  // namespace qb7
