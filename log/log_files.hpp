// The files of a session's log, as the log's writer keeps them: the log
// (Term.txt, the exact bytes), the file of its times beside it
// (Term.times), and the rotation that keeps the earlier sessions' logs.
// Single-threaded: whichever writer owns them calls everything here.
#pragma once
#include <string>
#include <string_view>

#include "log/log_file.hpp"
#include "log/log_news.hpp"
#include "log/log_store.hpp"
#include "log/times_format.hpp"

namespace qb7 {

class LogFiles final : public LogStore {
 public:
  // Rotates the earlier logs, then starts the log and its times file. When
  // the rotation fails or the log is not a regular file, this session is
  // not logged (and that is news): nothing already there is touched.
  void Open(const std::string& log) override;
  void Write(std::string_view bytes) override { log_.Write(bytes); }
  void Mark(const TimeMark& mark) override;
  void Close() override;
  void CheckStillThere() override;
  LogNews TakeNews() override;

 private:
  LogFile log_;
  LogFile times_;
  LogNews news_;
};

}  // namespace qb7
