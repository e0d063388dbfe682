#include "os/threaded_log_writer.hpp"

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

void Merge(LogNews& into, const LogNews& news) {
  if (news.failure != 0) {
    into.failure = news.failure;
    into.resumed = false;
  }
  if (news.resumed) {
    into.resumed = true;
    into.missing += news.missing;
  }
  into.removed = into.removed || news.removed;
  into.dropped += news.dropped;
}

}  // namespace

ThreadedLogWriter::ThreadedLogWriter() {
  const int rc = StartHelperThread(thread_, &ThreadedLogWriter::ThreadMain, this, 256 * 1024);
  if (rc != 0) throw std::system_error(rc, std::generic_category(), "log writer thread");
  running_ = true;
}

ThreadedLogWriter::~ThreadedLogWriter() { Finish(0); }

void* ThreadedLogWriter::ThreadMain(void* self) {
  static_cast<ThreadedLogWriter*>(self)->Run();
  return nullptr;
}

// ---- Program thread ----

void ThreadedLogWriter::Open(const std::string& name) {
  {
    std::lock_guard<PriorityMutex> lock(mutex_);
    orders_.push_back({Order::Open, name, appended_});
    idle_ = false;
  }
  wake_.notify_one();
}

void ThreadedLogWriter::Append(std::string_view bytes) {
  if (bytes.empty()) return;
  std::lock_guard<PriorityMutex> lock(mutex_);
  const std::size_t lost = waiting_.Append(bytes);
  appended_ += bytes.size() - lost;
  news_.dropped += lost;
  idle_ = false;
}

void ThreadedLogWriter::Close() {
  {
    std::lock_guard<PriorityMutex> lock(mutex_);
    orders_.push_back({Order::Close, {}, appended_});
    idle_ = false;
  }
  wake_.notify_one();
}

LogNews ThreadedLogWriter::TakeNews() {
  std::lock_guard<PriorityMutex> lock(mutex_);
  LogNews news = news_;
  news_ = {};
  return news;
}

uint64_t ThreadedLogWriter::Finish(int waitMs) {
  if (!running_) return 0;
  std::unique_lock<PriorityMutex> lock(mutex_);
  finishing_ = true;
  wake_.notify_one();
  const bool done = idleChanged_.wait_for(lock, std::chrono::milliseconds(waitMs),
                                          [this] { return idle_; });
  const uint64_t unwritten = appended_ - written_.load();
  lock.unlock();
  running_ = false;
  if (done) {
    pthread_join(thread_, nullptr);
    return 0;
  }
  // The writer is stuck in the kernel (a frozen disk): the program ends
  // without it, and says what the log lacks.
  pthread_detach(thread_);
  return unwritten;
}

// ---- Writer thread ----

bool ThreadedLogWriter::WriteSome() {
  while (!due_.empty() && due_.front().at <= written_.load()) {
    const Order order = std::move(due_.front());
    due_.pop_front();
    if (order.kind == Order::Open)
      file_.Open(order.name);
    else
      file_.Close();
  }
  if (writing_.Empty()) return false;
  const std::string_view front = writing_.Front();
  const uint64_t room = due_.empty() ? front.size() : due_.front().at - written_.load();
  const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(front.size(), room));
  file_.Write(front.substr(0, n));
  writing_.Pop(n);
  written_ += n;
  return true;
}

void ThreadedLogWriter::Run() {
  for (;;) {
    try {
      Serve();
      return;
    } catch (const std::bad_alloc&) {
      // No memory for the writer's own work: what it holds is lost, and
      // told; it goes on with what comes next.
      std::lock_guard<PriorityMutex> lock(mutex_);
      news_.failure = ENOMEM;
      written_ += writing_.Size();
      writing_.Clear();
    }
  }
}

void ThreadedLogWriter::Serve() {
  uint64_t lastCheckNs = MonotonicNs();
  std::unique_lock<PriorityMutex> lock(mutex_);
  for (;;) {
    // Take what waits: the queue changes sides, so its chunks are reused.
    if (writing_.Empty()) writing_.Swap(waiting_);
    while (!orders_.empty()) {
      due_.push_back(std::move(orders_.front()));
      orders_.pop_front();
    }
    lock.unlock();

    while (WriteSome()) {
    }
    if (MonotonicNs() - lastCheckNs >= kCheckEveryNs) {
      lastCheckNs = MonotonicNs();
      file_.CheckStillThere();
    }
    LogNews news = file_.TakeNews();

    lock.lock();
    Merge(news_, news);
    idle_ = writing_.Empty() && due_.empty() && waiting_.Empty() && orders_.empty();
    if (idle_) {
      if (finishing_) {
        file_.Close();
        Merge(news_, file_.TakeNews());
        idleChanged_.notify_all();
        return;
      }
      idleChanged_.notify_all();
    }
    wake_.wait_for(lock, kTick, [this] { return finishing_ || !orders_.empty(); });
  }
}

}  // namespace qb7
