// The bytes of Term.raw that x in the history asks for, read without
// holding up the terminal thread: a disk that stops answering must not stop
// the terminal's keys. Read by a helper job, as the history is saved.
#pragma once
#include <optional>
#include <string>

#include "os/whole_file.hpp"
#include "terminal/helper_job.hpp"
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
    return job_.Start(
        [name = std::move(name), request = std::move(request)]() {
          Result r{request, {}, 0};
          r.error = ReadFileRange(name, request.from, static_cast<std::size_t>(request.to - request.from),
                                  r.bytes);
          return r;
        },
        "qb7-raw");
  }
  bool Busy() const { return job_.Busy(); }
  std::optional<Result> Poll() { return job_.Poll(); }

 private:
  HelperJob<Result> job_;
};

}  // namespace qb7
