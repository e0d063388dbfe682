// The board's console line offered to other programs: the thread that
// owns the descriptors the other program reads and writes (a
// pseudo-terminal's master, or standard input and output) and moves bytes
// between them and two rings, one to the program thread (what the other
// program wrote, for the board) and one from it (what the board sent).
// The program thread only puts and takes at the rings and never waits;
// this thread reads only while the ring to the program has room, so a
// writer faster than the UART is held back by its own write, not dropped.
#pragma once
#include <atomic>
#include <string>
#include <string_view>
#include <pthread.h>

#include "bridge/byte_ring.hpp"

namespace qb7 {

class ConsoleLink {
 public:
  static constexpr std::size_t kRingBytes = 64 * 1024;
  // What the board sends is gathered so long after a write before the
  // next: the reader sees it within this, at a system call per this.
  static constexpr uint64_t kGatherUs = 5000;
  // At the end, what the board sent last is passed on for at most this.
  static constexpr uint64_t kLastBytesUs = 500000;

  // in and out: the descriptors to read and write (the same for a pty's
  // master); they stay the caller's to close, after the link is gone.
  // readerComesAndGoes: a pseudo-terminal's master, whose other end
  // programs open and close; while none has it open, what the board sends
  // is not kept for the next (the log has it), and each coming and going
  // is counted.
  ConsoleLink(int in, int out, bool readerComesAndGoes = false);
  ~ConsoleLink();
  ConsoleLink(const ConsoleLink&) = delete;
  ConsoleLink& operator=(const ConsoleLink&) = delete;

  // Program thread: what the other program wrote, up to `most` bytes.
  std::size_t TakeWritten(char* out, std::size_t most) { return toBoard_.Take(out, most); }
  // Program thread: what the board sent, for the other program; the bytes
  // that found no room (it does not read) are counted, never waited for.
  void Received(std::string_view bytes);
  uint64_t Undelivered() const { return undelivered_; }
  // Whether the other program's input has ended (standard input closed)
  // and everything it wrote has been taken.
  bool InputEnded() const { return inputEnded_.load(std::memory_order_acquire) && toBoard_.Waiting() == 0; }
  // How many times a reader has come to the pseudo-terminal, and gone.
  uint64_t ReadersCame() const { return came_.load(std::memory_order_acquire); }
  uint64_t ReadersLeft() const { return left_.load(std::memory_order_acquire); }
  // Bytes the board sent while nobody had the pseudo-terminal open.
  uint64_t UnreadWhileAway() const { return away_.load(std::memory_order_acquire); }

 private:
  static void* ThreadMain(void* self);
  void Run();
  void Wake();

  int in_, out_;
  bool comesAndGoes_;
  std::atomic<uint64_t> came_{0}, left_{0}, away_{0};
  int wake_ = -1;  // an eventfd: bytes to write, or the end
  ByteRing toBoard_{kRingBytes};
  ByteRing toReader_{kRingBytes};
  uint64_t undelivered_ = 0;
  std::atomic<bool> inputEnded_{false};
  std::atomic<bool> sleeping_{false};  // the thread waits with nothing to do: wake it
  std::atomic<bool> stop_{false};
  pthread_t thread_{};
  bool started_ = false;
};

}  // namespace qb7
