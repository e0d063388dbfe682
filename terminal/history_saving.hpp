// The history written to a file without holding up the terminal thread: a
// disk that stops answering must not stop the terminal's keys, Ctrl-C among
// them. The file is written by a helper job, which owns the text and the
// file.
#pragma once
#include <optional>
#include <string>

#include "os/whole_file.hpp"
#include "terminal/helper_job.hpp"

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
    return job_.Start(
        [name = std::move(name), text = std::move(text), rows]() {
          return Result{name, rows, WriteWholeFile(name, text)};
        },
        "qb7-save");
  }
  bool Busy() const { return job_.Busy(); }
  // The result, once the file is written or has failed.
  std::optional<Result> Poll() { return job_.Poll(); }

 private:
  HelperJob<Result> job_;
};

}  // namespace qb7
