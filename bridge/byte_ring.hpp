// A bounded hand-over of bytes between exactly two threads, one that puts
// and one that takes, with no lock: neither ever waits for the other. What
// finds it full is refused (the putter holds it back or counts it lost).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace qb7 {

class ByteRing {
 public:
  explicit ByteRing(std::size_t capacity) : bytes_(capacity) {}
  ByteRing(const ByteRing&) = delete;
  ByteRing& operator=(const ByteRing&) = delete;

  // The putting thread: as many bytes as fit; returns how many.
  std::size_t Put(std::string_view in) {
    const uint64_t head = head_.load(std::memory_order_relaxed);
    const uint64_t room = bytes_.size() - (head - tail_.load(std::memory_order_acquire));
    const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(room, in.size()));
    for (std::size_t done = 0; done < n;) {
      const std::size_t at = static_cast<std::size_t>((head + done) % bytes_.size());
      const std::size_t run = std::min(n - done, bytes_.size() - at);
      std::memcpy(bytes_.data() + at, in.data() + done, run);
      done += run;
    }
    head_.store(head + n, std::memory_order_release);
    return n;
  }
  // The putting thread: how many bytes fit now.
  std::size_t Room() const {
    return bytes_.size() -
           static_cast<std::size_t>(head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire));
  }

  // The taking thread: up to `most` of the oldest bytes into out; how many.
  std::size_t Take(char* out, std::size_t most) {
    const uint64_t tail = tail_.load(std::memory_order_relaxed);
    const uint64_t waiting = head_.load(std::memory_order_acquire) - tail;
    const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(waiting, most));
    for (std::size_t done = 0; done < n;) {
      const std::size_t at = static_cast<std::size_t>((tail + done) % bytes_.size());
      const std::size_t run = std::min(n - done, bytes_.size() - at);
      std::memcpy(out + done, bytes_.data() + at, run);
      done += run;
    }
    tail_.store(tail + n, std::memory_order_release);
    return n;
  }
  // Either thread: how many bytes wait.
  std::size_t Waiting() const {
    return static_cast<std::size_t>(head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_acquire));
  }

 private:
  std::vector<char> bytes_;
  std::atomic<uint64_t> head_{0};
  std::atomic<uint64_t> tail_{0};
};

}  // namespace qb7
