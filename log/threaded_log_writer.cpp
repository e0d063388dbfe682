#include "log/threaded_log_writer.hpp"

#include <cerrno>
#include <chrono>
#include <new>
#include <mutex>
#include <system_error>
#include <utility>

#include "os/helper_thread.hpp"
#include "os/monotonic.hpp"

namespace qb7 {

namespace {

// The writer takes what waits this often; orders wake it at once.
constexpr auto kTick = std::chrono::milliseconds(100);
// How often it looks whether the log is still where it was opened.
constexpr uint64_t kCheckEveryNs = 500'000'000;

}  // namespace

ThreadedLogWriter::ThreadedLogWriter() : ThreadedLogWriter(std::make_unique<LogFiles>()) {}

ThreadedLogWriter::ThreadedLogWriter(std::unique_ptr<LogStore> store, std::size_t queueBytes)
    : state_(std::make_shared<State>(std::move(store), queueBytes)) {
  auto* held = new std::shared_ptr<State>(state_);
  const int rc = StartHelperThread(thread_, &ThreadedLogWriter::ThreadMain, held, 256 * 1024,
                                   "qb7-log");
  if (rc != 0) {
    delete held;
    throw std::system_error(rc, std::generic_category(), "log writer thread");
  }
  running_ = true;
}

ThreadedLogWriter::~ThreadedLogWriter() { Finish(0); }

void* ThreadedLogWriter::ThreadMain(void* state) {
  const std::unique_ptr<std::shared_ptr<State>> held(static_cast<std::shared_ptr<State>*>(state));
  (*held)->Run();
  return nullptr;
}

// ---- Program thread ----

void ThreadedLogWriter::State::Post(Order order) {
  const bool mark = order.kind == Order::Mark;
  {
    std::lock_guard<PriorityMutex> lock(mutex);
    if (mark) {
      if (marks >= kQueueMarks) {
        ++news.marksDropped;
        return;
      }
      ++marks;
    }
    order.at = appended;
    orders.push_back(std::move(order));
    idle = false;
  }
  // Records wait for the next tick with the bytes; orders wake the writer.
  if (!mark) wake.notify_one();
}

void ThreadedLogWriter::Open(const std::string& name) { state_->Post({Order::Open, 0, name, {}}); }

void ThreadedLogWriter::Mark(const TimeMark& mark) { state_->Post({Order::Mark, 0, {}, mark}); }

void ThreadedLogWriter::Marks(const std::vector<TimeMark>& marks) {
  if (marks.empty()) return;
  State& s = *state_;
  // One lock for a stretch's records; they wait for the next tick.
  std::lock_guard<PriorityMutex> lock(s.mutex);
  for (const TimeMark& mark : marks) {
    if (s.marks >= kQueueMarks) {
      ++s.news.marksDropped;
      continue;
    }
    ++s.marks;
    s.orders.push_back({Order::Mark, s.appended, {}, mark});
  }
  s.idle = false;
}

void ThreadedLogWriter::Append(std::string_view bytes) {
  if (bytes.empty()) return;
  State& s = *state_;
  std::lock_guard<PriorityMutex> lock(s.mutex);
  const std::size_t lost = s.waiting.Append(bytes);
  s.appended += bytes.size() - lost;
  s.news.dropped += lost;
  s.idle = false;
}

void ThreadedLogWriter::Close() { state_->Post({Order::Close, 0, {}, {}}); }

LogNews ThreadedLogWriter::TakeNews() {
  std::lock_guard<PriorityMutex> lock(state_->mutex);
  LogNews news = state_->news;
  state_->news = {};
  return news;
}

uint64_t ThreadedLogWriter::Finish(int waitMs) {
  if (!running_) return 0;
  State& s = *state_;
  std::unique_lock<PriorityMutex> lock(s.mutex);
  s.finishing = true;
  s.wake.notify_one();
  const bool done =
      s.idleChanged.wait_for(lock, std::chrono::milliseconds(waitMs), [&s] { return s.closed; });
  const uint64_t unwritten = s.appended - s.written.load();
  lock.unlock();
  running_ = false;
  if (done) {
    pthread_join(thread_, nullptr);
    return 0;
  }
  // The writer is stuck in the kernel (a frozen disk): the program ends
  // without it, and says what the log lacks. The writer keeps what it shares.
  pthread_detach(thread_);
  return unwritten;
}

// ---- Log writer thread ----

bool ThreadedLogWriter::State::WriteSome() {
  while (!due.empty() && due.front().at <= written.load()) {
    const Order order = std::move(due.front());
    due.pop_front();
    switch (order.kind) {
      case Order::Open: files->Open(order.name); break;
      case Order::Mark: files->Mark(order.mark); break;
      case Order::Close: files->Close(); break;
    }
  }
  if (writing.Empty()) return false;
  const std::string_view front = writing.Front();
  const uint64_t room = due.empty() ? front.size() : due.front().at - written.load();
  const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(front.size(), room));
  files->Write(front.substr(0, n));
  writing.Pop(n);
  written += n;
  return true;
}

void ThreadedLogWriter::State::Run() {
  for (;;) {
    try {
      Serve();
      return;
    } catch (const std::bad_alloc&) {
      // No memory for the writer's own work: what it holds is lost, and
      // told; it goes on with what comes next.
      std::lock_guard<PriorityMutex> lock(mutex);
      news.log.failure = ENOMEM;
      written += writing.Size();
      writing.Clear();
    }
  }
}

void ThreadedLogWriter::State::Serve() {
  uint64_t lastCheckNs = MonotonicNs();
  std::unique_lock<PriorityMutex> lock(mutex);
  for (;;) {
    // Take what waits: the queue changes sides, so its chunks are reused.
    if (writing.Empty()) writing.Swap(waiting);
    while (!orders.empty()) {
      due.push_back(std::move(orders.front()));
      orders.pop_front();
    }
    marks = 0;
    lock.unlock();

    while (WriteSome()) {
    }
    if (MonotonicNs() - lastCheckNs >= kCheckEveryNs) {
      lastCheckNs = MonotonicNs();
      files->CheckStillThere();
    }
    LogNews fresh = files->TakeNews();

    lock.lock();
    news.Merge(fresh);
    idle = writing.Empty() && due.empty() && waiting.Empty() && orders.empty();
    if (idle && finishing) {
      // The file is closed outside the lock: a close that hangs (a lost NFS
      // server) must leave Finish free to give up after its time.
      lock.unlock();
      files->Close();
      const LogNews last = files->TakeNews();
      lock.lock();
      news.Merge(last);
      closed = true;
      idleChanged.notify_all();
      return;
    }
    if (idle) idleChanged.notify_all();
    wake.wait_for(lock, kTick, [this] { return finishing || !orders.empty(); });
  }
}

}  // namespace qb7
