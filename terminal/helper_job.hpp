// Work the terminal thread must not wait for (a file written or read on a
// disk that may stop answering), done on a short-lived helper thread of its
// own: the work takes what it needs with it; the terminal thread looks for
// the result at its next looks (one small hand-over, under a lock held only
// to move the result). A helper still stuck when the program ends keeps
// what it shares, and the program ends without it. One job at a time.
#pragma once
#include <pthread.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "os/helper_thread.hpp"

namespace qb7 {

template <typename Result>
class HelperJob {
 public:
  // Terminal thread. False when a job is already under way, or no thread
  // could be had (then the work is not done).
  bool Start(std::function<Result()> work, const char* name) {
    if (busy_) return false;
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    auto* held = new std::shared_ptr<Job>(job);
    pthread_t thread;
    if (StartHelperThread(thread, &HelperJob::Run, held, 256 * 1024, name) != 0) {
      delete held;
      return false;
    }
    pthread_detach(thread);
    job_ = std::move(job);
    busy_ = true;
    return true;
  }
  bool Busy() const { return busy_; }
  // The result, once the work is done.
  std::optional<Result> Poll() {
    if (!busy_) return std::nullopt;
    std::lock_guard<std::mutex> lock(job_->mutex);
    if (!job_->result) return std::nullopt;
    busy_ = false;
    return std::move(job_->result);
  }

 private:
  struct Job {
    std::mutex mutex;
    std::optional<Result> result;  // under the mutex
    std::function<Result()> work;  // the helper's alone
  };
  static void* Run(void* held) {
    const std::unique_ptr<std::shared_ptr<Job>> job(static_cast<std::shared_ptr<Job>*>(held));
    Job& j = **job;
    Result result = j.work();
    std::lock_guard<std::mutex> lock(j.mutex);
    j.result = std::move(result);
    return nullptr;
  }

  std::shared_ptr<Job> job_;
  bool busy_ = false;
};

}  // namespace qb7
