#include "app/batch_run.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <exception>
#include <vector>

#include "app/boot_batch.hpp"
#include "config/config_loader.hpp"
#include "console/unattended_frontend.hpp"
#include "log/log_names.hpp"
#include "log/session_keeping.hpp"
#include "log/threaded_log_writer.hpp"
#include "log/times_format.hpp"
#include "machine/machine.hpp"
#include "os/program_exit.hpp"
#include "os/signal_watch.hpp"

namespace qb7 {

namespace {

constexpr int kLogFinishMs = 3000;

// The JSON lines as each boot ends, and the progress on a terminal. A line
// is written between two boots, when no session is open: a slow disk or
// reader delays the next boot and loses nothing.
class ReportSink final : public BootSink {
 public:
  ReportSink(std::FILE* json, bool progress) : json_(json), progress_(progress) {}
  void Boot(const BootRecord& record, int total, int failures) override {
    ClearProgress();
    std::fprintf(json_, "%s\n", JsonLine(record).c_str());
    std::fflush(json_);
    if (progress_) {
      std::fprintf(stderr, "%s", ProgressText(record.index, total, record, failures).c_str());
      std::fflush(stderr);
      shown_ = true;
    }
  }
  void ClearProgress() {
    if (!shown_) return;
    std::fputs("\r\x1b[K", stderr);
    shown_ = false;
  }

 private:
  std::FILE* json_;
  bool progress_;
  bool shown_ = false;
};

struct OpenFile {
  std::FILE* f = nullptr;
  bool own = false;
  ~OpenFile() {
    if (own && f) std::fclose(f);
  }
};

}  // namespace

Ending RunBootBatch(PortIo& ports, Clock& clock, const BootBatchOptions& options,
                    const std::string& program) {
  // The report's files are named from where the program was started: they
  // are opened before it moves to its own folder.
  OpenFile json, junit;
  json.f = stdout;
  if (!options.json.empty()) {
    json.f = std::fopen(options.json.c_str(), "w");
    json.own = true;
    if (!json.f) {
      std::fprintf(stderr, "%s: --json %s: %s\n", program.c_str(), options.json.c_str(), std::strerror(errno));
      return {2, 0};
    }
  }
  if (!options.junit.empty()) {
    junit.f = std::fopen(options.junit.c_str(), "w");
    junit.own = true;
    if (!junit.f) {
      std::fprintf(stderr, "%s: --junit %s: %s\n", program.c_str(), options.junit.c_str(), std::strerror(errno));
      return {2, 0};
    }
  }
  ReportSink sink(json.f, isatty(STDERR_FILENO) == 1);
  std::vector<BootRecord> records;
  int status = 1;
  int stoppedBy = 0;
  std::string failure;
  const std::string startDate = FormatDate(clock.WallUs());
  try {
    ThreadedLogWriter log;
    UnattendedFrontend frontend;
    SignalWatch::Install();
    Console console(frontend, clock);
    Files files(Files::ExecutableFolder());
    Machine machine(console, files, ports, log);
    // The logs and the configuration live beside the program.
    if (chdir(files.ProgramFolder().c_str()) != 0)
      std::fprintf(stderr, "%s: cannot work in %s (%s): the logs go to the folder it was started in\n",
                   program.c_str(), files.ProgramFolder().c_str(), std::strerror(errno));
    for (const ConfigProblem& problem : LoadConfiguration(files, machine.store))
      std::fprintf(stderr, "%s: %s\n", program.c_str(), problem.Text().c_str());
    ProgramLoop loop(machine);
    // Nobody is there to answer a message line: each is told on stderr
    // (and, by the session, in Term.times).
    loop.messages.Unattended([&](std::string_view text) {
      sink.ClearProgress();
      std::fprintf(stderr, "%s: %.*s\n", program.c_str(), static_cast<int>(text.size()), text.data());
    });
    BootBatch batch(machine, loop, options, sink, [] { return SignalWatch::PendingTermination(); });
    try {
      loop.Run(batch);
    } catch (const ProgramExit&) {
    }
    files.CloseAll();
    if (const uint64_t unlogged = log.Finish(kLogFinishMs); unlogged != 0)
      std::fprintf(stderr, "%s: %llu bytes received did not reach the log: the disk did not answer within %d s\n",
                   program.c_str(), static_cast<unsigned long long>(unlogged), kLogFinishMs / 1000);
    // The last boot is kept under its own name too, as the report says.
    const Keeping kept = KeepLastSession(std::string(kLogFileName),
                                         std::min<uint64_t>(machine.store.keepMB, uint64_t{1} << 40) << 20);
    if (kept.Failed())
      std::fprintf(stderr, "%s: the last boot's log stays as %s: %s could not be moved (%s)\n", program.c_str(),
                   std::string(kLogFileName).c_str(), kept.file.c_str(), std::strerror(kept.error));
    records = batch.Records();
    status = batch.Status();
    stoppedBy = batch.StoppedBy();
  } catch (const ProgramFailure& e) {
    failure = e.cause;
  } catch (const std::exception& e) {
    failure = e.what();
  }
  sink.ClearProgress();
  if (!failure.empty()) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), failure.c_str());
    return {1, 0};
  }
  const BootSummary summary = Summarize(records, stoppedBy != 0);
  std::fprintf(json.f, "%s\n", SummaryJsonLine(summary).c_str());
  std::fflush(json.f);
  std::fprintf(stderr, "%s: %s\n", program.c_str(), SummaryText(summary).c_str());
  if (junit.f) {
    const std::string xml = JUnitXml(records, summary, "qb7uart boots route " + std::to_string(options.route), startDate);
    if (std::fwrite(xml.data(), 1, xml.size(), junit.f) != xml.size() || std::fflush(junit.f) != 0) {
      std::fprintf(stderr, "%s: --junit %s: %s\n", program.c_str(), options.junit.c_str(), std::strerror(errno));
      status = 2;
    }
  }
  if (std::ferror(json.f)) {
    std::fprintf(stderr, "%s: the JSON report was not written whole\n", program.c_str());
    status = 2;
  }
  return {status, stoppedBy};
}

}  // namespace qb7
