// The history written to a file without holding up the terminal thread: a
// disk that stops answering must not stop the terminal's keys, Ctrl-C among
// them. The file is written on a short-lived helper thread of its own,
// which owns the text and the file; the terminal thread looks for the
// result at its next look (one small hand-over, under a lock held only to
// move the result). A helper still stuck when the program ends keeps what
// it shares, and the program ends without it.
#pragma once
#include <pthread.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "os/helper_thread.hpp"
#include "os/whole_file.hpp"

namespace qb7 {

class HistorySaving {
 public:
  struct Result {
    std::string name;
    uint64_t rows = 0;
    WholeFile file;
  };

  // Terminal thread. False when a save is already under way, or no thread
  // could be had (then nothing is written).
  bool Start(std::string name, std::string text, uint64_t rows) {
    if (busy_) return false;
    auto job = std::make_shared<Job>();
    job->result.name = std::move(name);
    job->result.rows = rows;
    job->text = std::move(text);
    auto* held = new std::shared_ptr<Job>(job);
    pthread_t thread;
    if (StartHelperThread(thread, &HistorySaving::Run, held, 256 * 1024, "qb7-save") != 0) {
      delete held;
      return false;
    }
    pthread_detach(thread);
    job_ = std::move(job);
    busy_ = true;
    return true;
  }
  bool Busy() const { return busy_; }
  // The result, once the file is written or has failed.
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
    std::string text;   // the helper's alone
  };
  static void* Run(void* held) {
    const std::unique_ptr<std::shared_ptr<Job>> job(static_cast<std::shared_ptr<Job>*>(held));
    Job& j = **job;
    const WholeFile file = WriteWholeFile(j.result.name, j.text);
    std::lock_guard<std::mutex> lock(j.mutex);
    j.result.file = file;
    j.done = true;
    return nullptr;
  }

  std::shared_ptr<Job> job_;
  bool busy_ = false;
};

}  // namespace qb7
