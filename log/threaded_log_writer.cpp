#include "log/threaded_log_writer.hpp"

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <mutex>
#include <new>
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

bool NoNews(const LogNews& n) { return !n.Any(); }

}  // namespace

ThreadedLogWriter::ThreadedLogWriter() : ThreadedLogWriter(std::make_unique<LogFiles>()) {}

ThreadedLogWriter::ThreadedLogWriter(std::unique_ptr<LogStore> store, std::size_t queueBytes)
    : state_(std::make_shared<State>(std::move(store))), queueBytes_(queueBytes) {
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

void ThreadedLogWriter::Post(Order order) {
  if (order.kind == Order::Mark) {
    if (marksGathered_ >= kQueueMarks) {
      ++marksDropped_;
      return;
    }
    ++marksGathered_;
    // A record is carried out where its byte stands among the bytes, so
    // that the files place it there; never before what was carried out.
    order.at = std::min(appended_, sessionBase_ + order.mark.offset);
    order.rawAt = std::min(rawAppended_, rawBase_ + order.mark.raw);
    if (!gathering_.orders.empty()) {
      order.at = std::max(order.at, gathering_.orders.back().at);
      order.rawAt = std::max(order.rawAt, gathering_.orders.back().rawAt);
    }
  } else {
    ordersGathered_ = true;
    order.at = appended_;
    order.rawAt = rawAppended_;
  }
  gathering_.orders.push_back(std::move(order));
}

void ThreadedLogWriter::Open(const std::string& name, uint64_t keepBytes) {
  // A session's records count their bytes from its files' start.
  sessionBase_ = appended_;
  rawBase_ = rawAppended_;
  Post({Order::Open, 0, 0, name, {}, keepBytes});
  HandOver();
}

void ThreadedLogWriter::Mark(const TimeMark& mark) { Post({Order::Mark, 0, 0, {}, mark}); }

void ThreadedLogWriter::Marks(const std::vector<TimeMark>& marks) {
  for (const TimeMark& mark : marks) Post({Order::Mark, 0, 0, {}, mark});
}

std::size_t ThreadedLogWriter::Room(std::size_t n) const {
  const uint64_t inFlight = appended_ - state_->written.load(std::memory_order_acquire) +
                            rawAppended_ - state_->rawWritten.load(std::memory_order_acquire);
  return static_cast<std::size_t>(std::min<uint64_t>(n, inFlight < queueBytes_ ? queueBytes_ - inFlight : 0));
}

void ThreadedLogWriter::Append(std::string_view bytes) {
  if (bytes.empty()) return;
  const std::size_t taken = Room(bytes.size());
  gathering_.bytes.Append(bytes.substr(0, taken));
  appended_ += taken;
  dropped_ += bytes.size() - taken;
}

void ThreadedLogWriter::AppendRaw(std::string_view bytes) {
  if (bytes.empty()) return;
  const std::size_t taken = Room(bytes.size());
  gathering_.raw.Append(bytes.substr(0, taken));
  rawAppended_ += taken;
  rawDropped_ += bytes.size() - taken;
}

void ThreadedLogWriter::Close() {
  Post({Order::Close, 0, 0, {}, {}});
  HandOver();
}

void ThreadedLogWriter::HandOver() {
  if (gathering_.Empty()) return;
  State& s = *state_;
  bool wake = false;
  {
    std::lock_guard<PriorityMutex> lock(s.mutex);
    // The writer has not taken the last batch yet: this one waits here and
    // goes at a later hand-over (the loop offers one at every turn).
    if (!s.handed.Empty()) return;
    s.handed.Swap(gathering_);
    s.idle = false;
    wake = ordersGathered_;
  }
  marksGathered_ = 0;
  ordersGathered_ = false;
  // Records wait for the next tick with the bytes; orders wake the writer.
  if (wake) s.wake.notify_one();
}

LogNews ThreadedLogWriter::TakeNews() {
  LogNews news;
  {
    std::lock_guard<PriorityMutex> lock(state_->mutex);
    std::swap(news, state_->news);
  }
  news.dropped += std::exchange(dropped_, 0);
  news.marksDropped += std::exchange(marksDropped_, 0);
  news.rawDropped += std::exchange(rawDropped_, 0);
  return news;
}

uint64_t ThreadedLogWriter::Finish(int waitMs) {
  if (!running_) return 0;
  State& s = *state_;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  // What is still gathered goes as soon as the writer has taken the batch
  // before; only then is the writer told to finish, so that it closes the
  // log after the last batch, not before it.
  std::unique_lock<PriorityMutex> lock(s.mutex);
  bool handedAll = true;
  while (!gathering_.Empty()) {
    if (s.handed.Empty()) {
      s.handed.Swap(gathering_);
      s.idle = false;
      break;
    }
    s.wake.notify_one();
    if (s.idleChanged.wait_until(lock, deadline) == std::cv_status::timeout) {
      // The writer is stuck: the rest is left for it to write whenever the
      // disk answers again, after the program has gone.
      s.tail.Swap(gathering_);
      handedAll = false;
      break;
    }
  }
  s.finishing = true;
  s.wake.notify_one();
  const bool done = handedAll && s.idleChanged.wait_until(lock, deadline, [&] { return s.closed; });
  const uint64_t unwritten = appended_ - s.written.load();
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
  std::vector<Order>& orders = writing.orders;
  // An order is carried out once the bytes of both files before it are written.
  while (nextOrder < orders.size() && orders[nextOrder].at <= written.load() &&
         orders[nextOrder].rawAt <= rawWritten.load()) {
    Order& order = orders[nextOrder++];
    switch (order.kind) {
      case Order::Open: files->Open(order.name, order.keepBytes); break;
      case Order::Mark: files->Mark(order.mark); break;
      case Order::Close: files->Close(); break;
    }
  }
  const Order* next = nextOrder < orders.size() ? &orders[nextOrder] : nullptr;
  // Each stream up to where the next order stands in it.
  const auto write = [this](ByteQueue& queue, std::atomic<uint64_t>& done, uint64_t until,
                            void (LogStore::*to)(std::string_view)) -> std::size_t {
    if (queue.Empty()) return 0;
    const std::string_view front = queue.Front();
    const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(front.size(), until - done.load()));
    (files.get()->*to)(front.substr(0, n));
    queue.Pop(n);
    done += n;
    return n;
  };
  const std::size_t n = write(writing.bytes, written, next ? next->at : UINT64_MAX, &LogStore::Write);
  const std::size_t r = write(writing.raw, rawWritten, next ? next->rawAt : UINT64_MAX, &LogStore::WriteRaw);
  return n + r > 0 || (nextOrder < orders.size() && orders[nextOrder].at <= written.load() &&
                       orders[nextOrder].rawAt <= rawWritten.load());
}

void ThreadedLogWriter::State::Run() {
  for (;;) {
    try {
      Serve();
      return;
    } catch (const std::bad_alloc&) {
      // No memory for the writer's own work: what it holds is lost, and
      // told; it goes on with what comes next.
      fresh.log.failure = ENOMEM;
      written += writing.bytes.Size();
      rawWritten += writing.raw.Size();
      writing.bytes.Clear();
      writing.raw.Clear();
      writing.orders.clear();
      nextOrder = 0;
    }
  }
}

void ThreadedLogWriter::State::Serve() {
  uint64_t lastCheckNs = MonotonicNs();
  std::unique_lock<PriorityMutex> lock(mutex);
  for (;;) {
    // Its own batch done, the writer takes the one handed over: the
    // batches change places, so their memory is reused.
    if (writing.BytesEmpty() && nextOrder == writing.orders.size()) {
      writing.orders.clear();  // the strings freed: this thread's, outside the hand-over
      nextOrder = 0;
      writing.Swap(handed.Empty() ? tail : handed);
    }
    lock.unlock();

    while (WriteSome()) {
    }
    if (MonotonicNs() - lastCheckNs >= kCheckEveryNs) {
      lastCheckNs = MonotonicNs();
      files->CheckStillThere();
    }
    fresh.Merge(files->TakeNews());

    lock.lock();
    // News goes to the program once it has taken the last: swapped, never
    // copied under the lock.
    if (NoNews(news)) std::swap(news, fresh);
    const bool holding = !writing.BytesEmpty() || nextOrder < writing.orders.size();
    idle = !holding && handed.Empty() && tail.Empty();
    if (idle && finishing) {
      // The file is closed outside the lock: a close that hangs (a lost NFS
      // server) must leave Finish free to give up after its time.
      lock.unlock();
      files->Close();
      fresh.Merge(files->TakeNews());
      lock.lock();
      if (NoNews(news))
        std::swap(news, fresh);
      else
        news.Merge(fresh);  // once, at the very end
      closed = true;
      idleChanged.notify_all();
      return;
    }
    // A batch written: Finish may hand over the next.
    idleChanged.notify_all();
    if (idle) wake.wait_for(lock, kTick, [this] { return finishing || !handed.Empty(); });
  }
}

}  // namespace qb7
