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

ThreadedLogWriter::ThreadedLogWriter() : state_(std::make_shared<State>()) {
  auto* held = new std::shared_ptr<State>(state_);
  const int rc = StartHelperThread(thread_, &ThreadedLogWriter::ThreadMain, held, 256 * 1024);
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

void ThreadedLogWriter::Open(const std::string& name) {
  {
    std::lock_guard<PriorityMutex> lock(state_->mutex);
    state_->orders.push_back({Order::Open, name, state_->appended});
    state_->idle = false;
  }
  state_->wake.notify_one();
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

void ThreadedLogWriter::Close() {
  {
    std::lock_guard<PriorityMutex> lock(state_->mutex);
    state_->orders.push_back({Order::Close, {}, state_->appended});
    state_->idle = false;
  }
  state_->wake.notify_one();
}

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
    if (order.kind == Order::Open)
      file.Open(order.name);
    else
      file.Close();
  }
  if (writing.Empty()) return false;
  const std::string_view front = writing.Front();
  const uint64_t room = due.empty() ? front.size() : due.front().at - written.load();
  const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(front.size(), room));
  file.Write(front.substr(0, n));
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
      news.failure = ENOMEM;
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
    lock.unlock();

    while (WriteSome()) {
    }
    if (MonotonicNs() - lastCheckNs >= kCheckEveryNs) {
      lastCheckNs = MonotonicNs();
      file.CheckStillThere();
    }
    LogNews fresh = file.TakeNews();

    lock.lock();
    news.Merge(fresh);
    idle = writing.Empty() && due.empty() && waiting.Empty() && orders.empty();
    if (idle && finishing) {
      // The file is closed outside the lock: a close that hangs (a lost NFS
      // server) must leave Finish free to give up after its time.
      lock.unlock();
      file.Close();
      const LogNews last = file.TakeNews();
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
