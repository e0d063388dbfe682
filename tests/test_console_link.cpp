// The console line for other programs: the byte ring between the threads,
// the link's thread over a pipe pair, the pace of what it sends to the
// board, its options, and the reset asked through the folder's socket.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "app/link_options.hpp"
#include "bridge/byte_ring.hpp"
#include "bridge/console_link.hpp"
#include "harness.hpp"
#include "os/reset_channel.hpp"

namespace qb7::test {
namespace {

TEST(ByteRing, BytesComeOutInOrderAcrossTheWrapAndAFullRingRefuses) {
  ByteRing ring(10);
  char out[16];
  std::string got;
  for (int round = 0; round < 7; ++round) {
    const std::string in = "abcdefg" + std::to_string(round);
    ASSERT_EQ(ring.Put(in.substr(0, 6)), 6u);
    EXPECT_EQ(ring.Put(in.substr(6)), std::min<std::size_t>(in.size() - 6, 4));
    EXPECT_EQ(ring.Room(), 10u - ring.Waiting());
    const std::size_t n = ring.Take(out, sizeof out);
    got.append(out, n);
    EXPECT_EQ(std::string(out, n), in.substr(0, n));
  }
  EXPECT_EQ(ring.Take(out, sizeof out), 0u);
}

// The link's thread between two pipes: what one end writes comes to the
// program whole, what the program hands on reaches the other, and the
// input's end is seen once everything was taken.
TEST(ConsoleLink, BytesPassBothWaysWholeAndTheInputsEndIsSeen) {
  int toLink[2], fromLink[2];
  ASSERT_EQ(pipe2(toLink, O_CLOEXEC | O_NONBLOCK), 0);
  ASSERT_EQ(pipe2(fromLink, O_CLOEXEC | O_NONBLOCK), 0);
  std::string written(200000, '\0');
  for (std::size_t i = 0; i < written.size(); ++i) written[i] = static_cast<char>(i * 7 + i / 251);
  std::string taken, passed;
  {
    ConsoleLink link(toLink[0], fromLink[1]);
    std::size_t at = 0;
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((taken.size() < written.size() || passed.size() < written.size()) &&
           std::chrono::steady_clock::now() < deadline) {
      if (at < written.size()) {
        const ssize_t n = write(toLink[1], written.data() + at, std::min<std::size_t>(written.size() - at, 8192));
        if (n > 0) at += static_cast<std::size_t>(n);
        if (at == written.size()) close(toLink[1]);
      }
      // The program thread's side: it takes slowly, in small bites.
      const std::size_t n = link.TakeWritten(buffer, 700);
      taken.append(buffer, n);
      link.Received(std::string_view(buffer, n));
      const ssize_t r = read(fromLink[0], buffer, sizeof buffer);
      if (r > 0) passed.append(buffer, static_cast<std::size_t>(r));
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    EXPECT_TRUE(link.InputEnded());
    EXPECT_EQ(link.Undelivered(), 0u);
  }
  EXPECT_TRUE(taken == written) << taken.size();
  EXPECT_TRUE(passed == written) << passed.size();
  close(toLink[0]);
  close(fromLink[0]);
  close(fromLink[1]);
}

// What another program writes goes to the UART a transmit FIFO at a time,
// each after the line has had the time the one before takes: at the
// line's pace, not a paste's 10 ms a byte.
TEST(Outbox, PacedBytesGoAFifoAtATimeAtTheLinesPace) {
  test::Bench b(false);
  const std::string bytes(300, 'x');
  const uint64_t byteNs = board::uart::ByteNs(115200);
  b.loop().outbox.UartSendPaced(bytes, byteNs);
  ASSERT_TRUE(b.Settle());
  EXPECT_EQ(b.ports.Transmitted(), bytes);
  std::vector<uint64_t> waits;  // the transmit status read before each fill
  for (const auto& a : b.ports.log)
    if (!a.write && a.reg == board::kUartBase + reg::kTx) waits.push_back(a.atUs);
  ASSERT_EQ(waits.size(), 3u);  // 128 + 128 + 44
  const uint64_t fifoUs = 128 * byteNs / 1000;
  EXPECT_GE(waits[1] - waits[0], fifoUs);
  EXPECT_LT(waits[1] - waits[0], fifoUs + 600);  // the fill's own port accesses
  EXPECT_LT(b.clock.NowUs(), 300 * byteNs / 1000 + 2000);
}

TEST(LinkOptions, PtyAndStdioTakeTheirOwnAndRefuseWhatDoesNotGo) {
  std::vector<std::string> args = {"--line-baud", "9600", "--pty", "--route", "3", "--link", "/tmp/c"};
  LinkOptions o;
  std::string error;
  ASSERT_TRUE(TakeLinkOptions(args, o, error)) << error;
  EXPECT_EQ(o.kind, LinkOptions::Kind::Pty);
  EXPECT_EQ(o.route, 3);
  EXPECT_EQ(o.link, "/tmp/c");
  EXPECT_EQ(args, (std::vector<std::string>{"--line-baud", "9600"}));
  std::vector<std::string> batch = {"--boots", "2", "--route", "1"};
  LinkOptions none;
  ASSERT_TRUE(TakeLinkOptions(batch, none, error));
  EXPECT_EQ(batch.size(), 4u);  // left for the batch
  for (auto bad : std::vector<std::vector<std::string>>{
           {"--pty", "--stdio"}, {"--stdio", "--link", "/tmp/c"}, {"--link", "/tmp/c"}, {"--pty", "--route", "9"}}) {
    LinkOptions o2;
    error.clear();
    EXPECT_FALSE(TakeLinkOptions(bad, o2, error)) << bad[0];
    EXPECT_FALSE(error.empty());
  }
}

// The reset asked through the folder's socket: the program thread's answer
// reaches the asking process; with nobody listening, the asker is told so.
TEST(ResetChannel, TheHoldersAnswerReachesTheAskerAndNoHolderIsToldApart) {
  TempFolder folder;
  std::string answer;
  EXPECT_EQ(AskReset(folder.path(), answer), 0);
  std::string error;
  auto listener = ResetListener::Listen(folder.path(), error);
  ASSERT_TRUE(listener) << error;
  pid_t asker = 0;
  EXPECT_FALSE(listener->Asked(asker));
  std::thread program([&] {
    // The program thread looks at its turns, and answers.
    for (int i = 0; i < 400; ++i) {
      if (listener->Asked(asker)) {
        listener->Answer("ok: pulsed");
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  EXPECT_EQ(AskReset(folder.path(), answer), 1);
  program.join();
  EXPECT_EQ(answer, "ok: pulsed");
  EXPECT_EQ(asker, getpid());
  listener.reset();
  // The socket goes with the listener: the next asker finds nobody.
  EXPECT_EQ(AskReset(folder.path(), answer), 0);
}

}  // namespace
}  // namespace qb7::test
