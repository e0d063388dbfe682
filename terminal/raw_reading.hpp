// The bytes of Term.raw that x in the history asks for, read without
// holding up the terminal thread: a disk that stops answering must not stop
// the terminal's keys. Read on a short-lived helper thread of its own, as
// the history is saved; the terminal thread looks for the result at its
// next look. A helper still stuck when the program ends keeps what it
// shares, and the program ends without it.
#pragma once
#include <pthread.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "os/helper_thread.hpp"
#include "os/whole_file.hpp"
#include "view/viewer.hpp"

namespace qb7 {

class RawReading {
 public:
  struct Result {
    Viewer::HexRequest request;
    std::string bytes;
    int error = 0;
  };

  // Terminal thread. False when a read is already under way, or no thread
  // could be had.
  bool Start(std::string name, Viewer::HexRequest request) {
    if (busy_) return false;
    auto job = std::make_shared<Job>();
    job->name = std::move(name);
    job->result.request = std::move(request);
    auto* held = new std::shared_ptr<Job>(job);
    pthread_t thread;
    if (StartHelperThread(thread, &RawReading::Run, held, 256 * 1024, "qb7-raw") != 0) {
      delete held;
      return false;
    }
    pthread_detach(thread);
    job_ = std::move(job);
    busy_ = true;
    return true;
  }
  bool Busy() const { return busy_; }
  std::optional<Result> Poll() {
    if (!busy_) return std::nullopt;
    std::lock_guard<std::mutex> lock(job_->mutex);
    if (!job_->done) return std::nullopt;
    busy_ = false;
    return std::move(job_->result);
  }

 private:
  struct Job {
    std::mutex mutex;
    bool done = false;  // under the mutex, with the result
    Result result;
    std::string name;
  };
  static void* Run(void* held) {
    const std::unique_ptr<std::shared_ptr<Job>> job(static_cast<std::shared_ptr<Job>*>(held));
    Job& j = **job;
    std::string bytes;
    const Viewer::HexRequest& r = j.result.request;
    const int error = ReadFileRange(j.name, r.from, static_cast<std::size_t>(r.to - r.from), bytes);
    std::lock_guard<std::mutex> lock(j.mutex);
    j.result.bytes = std::move(bytes);
    j.result.error = error;
    j.done = true;
    return nullptr;
  }

  std::shared_ptr<Job> job_;
  bool busy_ = false;
};

}  // namespace qb7
