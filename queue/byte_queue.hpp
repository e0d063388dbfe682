// A bounded first-in first-out queue of bytes, kept in fixed chunks that
// are allocated only as the queue grows and reused after: what holds the
// received bytes while the operator reads a message, and what waits for the
// log writer. Appending costs a copy, never an allocation per byte; a byte
// that does not fit under the bound is not stored, and the caller is told
// how many did not fit. Not thread-safe: one owner at a time.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

namespace qb7 {

class ByteQueue {
 public:
  static constexpr std::size_t kChunkBytes = 64 * 1024;

  explicit ByteQueue(std::size_t limitBytes) : limit_(limitBytes) {}

  // Appends what fits under the bound; returns how many bytes did not.
  std::size_t Append(std::string_view bytes) {
    const std::size_t room = limit_ > size_ ? limit_ - size_ : 0;
    const std::size_t taken = std::min(room, bytes.size());
    std::size_t done = 0;
    while (done < taken) {
      if (chunks_.empty() || tailFill_ == kChunkBytes) {
        chunks_.push_back(NewChunk());
        tailFill_ = 0;
      }
      const std::size_t n = std::min(taken - done, kChunkBytes - tailFill_);
      std::memcpy(chunks_.back()->bytes + tailFill_, bytes.data() + done, n);
      tailFill_ += n;
      done += n;
    }
    size_ += taken;
    return bytes.size() - taken;
  }

  std::size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  std::size_t Limit() const { return limit_; }

  // The oldest bytes that lie together in one chunk (empty when none wait).
  std::string_view Front() const {
    if (chunks_.empty()) return {};
    const std::size_t end = chunks_.size() == 1 ? tailFill_ : kChunkBytes;
    return {chunks_.front()->bytes + head_, end - head_};
  }
  // Drops the n oldest bytes (at most what Front showed).
  void Pop(std::size_t n) {
    head_ += n;
    size_ -= n;
    const bool last = chunks_.size() == 1;
    if (head_ == (last ? tailFill_ : kChunkBytes)) {
      spare_.push_back(std::move(chunks_.front()));
      chunks_.pop_front();
      head_ = 0;
      if (last) tailFill_ = 0;
    }
  }
  // Trades contents with another queue, without allocating.
  void Swap(ByteQueue& other) noexcept {
    std::swap(limit_, other.limit_);
    chunks_.swap(other.chunks_);
    spare_.swap(other.spare_);
    std::swap(head_, other.head_);
    std::swap(tailFill_, other.tailFill_);
    std::swap(size_, other.size_);
  }

  // Empties the queue; its chunks are kept for reuse.
  void Clear() {
    while (!chunks_.empty()) {
      spare_.push_back(std::move(chunks_.front()));
      chunks_.pop_front();
    }
    head_ = tailFill_ = size_ = 0;
  }

 private:
  struct Chunk {
    char bytes[kChunkBytes];
  };
  std::unique_ptr<Chunk> NewChunk() {
    if (spare_.empty()) return std::make_unique<Chunk>();
    std::unique_ptr<Chunk> c = std::move(spare_.back());
    spare_.pop_back();
    return c;
  }

  std::size_t limit_;
  std::deque<std::unique_ptr<Chunk>> chunks_;
  std::vector<std::unique_ptr<Chunk>> spare_;
  std::size_t head_ = 0;      // read position in the first chunk
  std::size_t tailFill_ = 0;  // bytes used in the last chunk
  std::size_t size_ = 0;
};

}  // namespace qb7
