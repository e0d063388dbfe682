// The log writer of the real program: a thread of its own owns the file.
// The program thread appends into a bounded queue and never waits for the
// disk; the writer takes what waits every tenth of a second (so the log is
// on disk within a second when the line is quiet), writes it, and looks
// every half second for a log deleted or renamed under it. Bytes that find
// the queue full are counted and told, never waited for.
#pragma once
#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "log/log_store.hpp"
#include "log/log_writer.hpp"
#include "os/priority_mutex.hpp"
#include "queue/byte_queue.hpp"

namespace qb7 {

class ThreadedLogWriter final : public LogWriter {
 public:
  // Bytes the queue holds at most on each side of the hand-over: minutes of
  // the fastest line (921600 baud brings 92 KB a second), and more than a
  // session holds back while a message waits (64 MB), so that the backlog
  // a session hands over at once when it ends finds room.
  static constexpr std::size_t kQueueBytes = 96u * 1024 * 1024;

  // Starts the writer thread at normal scheduling, with every asynchronous
  // signal blocked (they are the program thread's). It writes to the log's
  // files, or to the store given.
  ThreadedLogWriter();
  explicit ThreadedLogWriter(std::unique_ptr<LogStore> store,
                             std::size_t queueBytes = kQueueBytes);
  ~ThreadedLogWriter() override;
  ThreadedLogWriter(const ThreadedLogWriter&) = delete;
  ThreadedLogWriter& operator=(const ThreadedLogWriter&) = delete;

  // Records of Term.times that may wait at most: minutes of short lines.
  static constexpr std::size_t kQueueMarks = 1u << 20;

  void Open(const std::string& name) override;
  void Append(std::string_view bytes) override;
  void Mark(const TimeMark& mark) override;
  void Marks(const std::vector<TimeMark>& marks) override;
  void Close() override;
  LogNews TakeNews() override;
  uint64_t Finish(int waitMs) override;

 private:
  // What the writer carries out besides writing bytes, in the order given:
  // each once the bytes appended before it are written.
  struct Order {
    enum Kind { Open, Mark, Close } kind;
    uint64_t at;       // carried out once this many bytes have been written
    std::string name;  // Open: the log
    TimeMark mark;     // Mark: the record
  };

  // What the two threads share. The writer thread holds it too, so that a
  // writer left stuck in the kernel by a frozen disk when the program ends
  // never touches freed memory, whenever it wakes.
  struct State {
    State(std::unique_ptr<LogStore> s, std::size_t queueBytes)
        : waiting(queueBytes), writing(queueBytes), files(std::move(s)) {}
    void Run();
    void Serve();
    // Log writer thread: writes what it holds up to the next order, carries
    // out the orders that are due. Returns false when nothing could be done.
    bool WriteSome();
    void Post(Order order);

    PriorityMutex mutex;
    std::condition_variable_any wake;
    std::condition_variable_any idleChanged;
    // Under the mutex.
    ByteQueue waiting;
    std::deque<Order> orders;
    std::size_t marks = 0;  // records among the orders
    uint64_t appended = 0;  // every byte ever appended
    LogNews news;
    bool finishing = false;
    bool idle = true;  // the writer holds nothing and has no order to carry out
    bool closed = false;  // finished: everything written and the file closed
    std::atomic<uint64_t> written{0};  // bytes taken out and written (or lost)
    // Log writer thread only.
    ByteQueue writing;
    std::deque<Order> due;
    std::unique_ptr<LogStore> files;
  };

  static void* ThreadMain(void* state);

  std::shared_ptr<State> state_;
  pthread_t thread_{};
  bool running_ = false;
};

}  // namespace qb7
