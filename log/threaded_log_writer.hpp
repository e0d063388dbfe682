// The log writer of the real program: a thread of its own owns the files.
// The program thread gathers what it logs in a batch of its own (bytes,
// and the orders placed among them: open, a record of Term.times at the
// byte it tells of, close) and hands the whole batch over (HandOver: after
// each stretch, and at every turn of its loop) by swapping it with an
// empty one under a lock held only for the swap: nothing is allocated and nothing is moved
// one by one under the lock. The writer takes a batch every tenth of a
// second (orders wake it at once), writes it outside the lock, and looks
// every half second for a log deleted or renamed under it. The program
// never waits for the disk: bytes beyond what may be in flight between it
// and the disk are counted and told, never waited for.
#pragma once
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "log/log_store.hpp"
#include "log/log_writer.hpp"
#include "os/priority_mutex.hpp"
#include "queue/byte_queue.hpp"

namespace qb7 {

class ThreadedLogWriter final : public LogWriter {
 public:
  // Bytes in flight at most, appended and not yet written: minutes of the
  // fastest line (921600 baud brings 92 KB a second), and more than a
  // session holds back while a message waits (64 MB), so that the backlog
  // a session hands over at once when it ends finds room.
  static constexpr std::size_t kQueueBytes = 96u * 1024 * 1024;
  // Records of Term.times that may wait in one batch: minutes of short lines.
  static constexpr std::size_t kQueueMarks = 1u << 20;

  // Starts the writer thread at normal scheduling, with every asynchronous
  // signal blocked (they are the program thread's). It writes to the log's
  // files, or to the store given.
  ThreadedLogWriter();
  explicit ThreadedLogWriter(std::unique_ptr<LogStore> store,
                             std::size_t queueBytes = kQueueBytes);
  ~ThreadedLogWriter() override;
  ThreadedLogWriter(const ThreadedLogWriter&) = delete;
  ThreadedLogWriter& operator=(const ThreadedLogWriter&) = delete;

  void Open(const std::string& name, uint64_t keepBytes) override;
  void Append(std::string_view bytes) override;
  void AppendRaw(std::string_view bytes) override;
  void Mark(const TimeMark& mark) override;
  void Marks(const std::vector<TimeMark>& marks) override;
  void Close() override;
  void HandOver() override;
  LogNews TakeNews() override;
  uint64_t Finish(int waitMs) override;

 private:
  // What the writer carries out besides writing bytes, in the order given:
  // each once the bytes appended before it are written.
  struct Order {
    enum Kind { Open, Mark, Close } kind;
    uint64_t at;       // carried out once this many bytes have been written
    uint64_t rawAt;    // and this many raw bytes
    std::string name;  // Open: the log
    TimeMark mark;     // Mark: the record
    uint64_t keepBytes = 0;  // Open: the kept sessions' budget
  };
  // What crosses in one hand-over.
  struct Batch {
    ByteQueue bytes{SIZE_MAX};  // bounded by what is in flight, not here
    ByteQueue raw{SIZE_MAX};
    std::vector<Order> orders;
    bool Empty() const { return bytes.Empty() && raw.Empty() && orders.empty(); }
    bool BytesEmpty() const { return bytes.Empty() && raw.Empty(); }
    void Swap(Batch& other) noexcept {
      bytes.Swap(other.bytes);
      raw.Swap(other.raw);
      orders.swap(other.orders);
    }
  };

  // What the two threads share. The writer thread holds it too, so that a
  // writer left stuck in the kernel by a frozen disk when the program ends
  // never touches freed memory, whenever it wakes.
  struct State {
    explicit State(std::unique_ptr<LogStore> s) : files(std::move(s)) {}
    void Run();
    void Serve();
    // Log writer thread: writes what it holds up to the next order, carries
    // out the orders that are due. Returns false when nothing could be done.
    bool WriteSome();

    PriorityMutex mutex;
    std::condition_variable_any wake;
    std::condition_variable_any idleChanged;
    // Under the mutex.
    Batch handed;      // handed over, not yet taken by the writer
    Batch tail;        // what the program left when it ended before the writer
    bool wakeNow = false;  // the batch holds an order
    LogNews news;      // for the program; swapped out, never copied
    bool finishing = false;
    bool idle = true;  // the writer holds nothing and nothing is handed over
    bool closed = false;  // finished: everything written and the file closed
    std::atomic<uint64_t> written{0};  // bytes taken out and written (or lost)
    std::atomic<uint64_t> rawWritten{0};  // raw bytes the same
    // Log writer thread only.
    Batch writing;
    std::size_t nextOrder = 0;  // the first order of writing not yet carried out
    LogNews fresh;              // news not yet handed to the program
    std::unique_ptr<LogStore> files;
  };

  static void* ThreadMain(void* state);
  void Post(Order order);
  // What may still be taken of n bytes: the bound is on all that is in
  // flight, in this batch, the one handed over and the one being written.
  std::size_t Room(std::size_t n) const;

  std::shared_ptr<State> state_;
  pthread_t thread_{};
  bool running_ = false;
  // Program thread only: the batch being gathered.
  const std::size_t queueBytes_;
  Batch gathering_;
  bool ordersGathered_ = false;
  std::size_t marksGathered_ = 0;
  uint64_t appended_ = 0;  // every byte accepted
  uint64_t rawAppended_ = 0;  // every raw byte accepted
  uint64_t sessionBase_ = 0;  // appended_ when the log was opened
  uint64_t rawBase_ = 0;      // rawAppended_ then
  uint64_t dropped_ = 0;
  uint64_t rawDropped_ = 0;
  uint64_t marksDropped_ = 0;
};

}  // namespace qb7
