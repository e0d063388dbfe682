// Line-rate soak: the terminal session, headless, on the simulated board
// with the real clock, while the far end on J27 sends the test pattern
// without a pause; then the same session with a silent line.
//
// Every look at the receive FIFO (a read of its count register) is timed.
// An overflow is found by the first look that sees the error bit; it is the
// machine's loss when that look came more than one fill time after the look
// before (the program was held off the CPU), the program's own loss when it
// came sooner, and counted apart when a message line (which is modal) stood
// between the two looks.
//
//   qb7_soak [SECONDS [BAUD]] [--silent] [--runs N] [--load N] [--realtime]
//
// SECONDS of line time per run (default 5); BAUD runs only the pattern at
// that baud (with --silent: only the silent line); --runs repeats each run;
// --load starts N busy processes beside the runs and ends them after;
// --realtime asks for the program's real-time priority first. Exit status 0
// when no run lost a byte by the program's own fault.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/route_menu.hpp"
#include "board/board_registers.hpp"
#include "board/register_selection.hpp"
#include "console/headless_frontend.hpp"
#include "console/program_exit.hpp"
#include "keys/keys.hpp"
#include "machine/machine.hpp"
#include "os/privileges.hpp"
#include "os/threaded_log_writer.hpp"
#include "sim/pattern.hpp"
#include "sim/simulated_board.hpp"
#include "terminal/term_session.hpp"

namespace {

using namespace qb7;

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Result {
  uint64_t sent = 0, logged = 0, inOrder = 0;
  uint64_t machineLosses = 0, programLosses = 0, afterMessage = 0;
  uint64_t longestGapUs = 0;
  double cpuPerSecond = 0;
};

// Passes every access on to the board and times the looks at the FIFO.
class LookTimer final : public PortIo {
 public:
  LookTimer(PortIo& board, Clock& clock, uint64_t fillUs, Result& result)
      : board_(board), clock_(clock), fillUs_(fillUs), result_(result) {}

  void Write(uint16_t port, uint8_t value) override {
    selection_.Follow(true, port, value);
    board_.Write(port, value);
  }
  uint8_t Read(uint16_t port) override {
    const uint8_t value = board_.Read(port);
    if (selection_.Follow(false, port, value) == board::kUartBase + board::uart::kRxCount)
      Look(value);
    return value;
  }
  // A message line was shown: the next look is not the program's to judge.
  void MessageShown() { messageSinceLook_ = true; }

 private:
  // Reads of the count register that follow each other closely (the
  // session's count, then the driver's own) are one look; a look's gap is
  // the time since the look before.
  void Look(uint8_t value) {
    const uint64_t now = clock_.NowUs();
    const bool error = value & board::uart::kRxErrorPending;
    if (lastReadUs_ == 0 || now - lastReadUs_ > kSameLookUs) {
      gapUs_ = lastReadUs_ == 0 ? 0 : now - lastLookUs_;
      // A message line waits for its key: that gap is not the scheduler's.
      if (lastLookUs_ != 0 && !messageSinceLook_)
        result_.longestGapUs = std::max(result_.longestGapUs, gapUs_);
      afterMessage_ = messageSinceLook_;
      messageSinceLook_ = false;
      lastLookUs_ = now;
    }
    if (error && !lastError_ && lastReadUs_ != 0) {
      if (afterMessage_)
        ++result_.afterMessage;
      else if (gapUs_ > fillUs_)
        ++result_.machineLosses;
      else
        ++result_.programLosses;
    }
    lastReadUs_ = now;
    lastError_ = error;
  }

  static constexpr uint64_t kSameLookUs = 50;

  PortIo& board_;
  Clock& clock_;
  const uint64_t fillUs_;
  Result& result_;
  board::RegisterSelection selection_;
  uint64_t lastReadUs_ = 0;
  uint64_t lastLookUs_ = 0;
  uint64_t gapUs_ = 0;
  bool lastError_ = false;
  bool messageSinceLook_ = false;
  bool afterMessage_ = false;
};

Result Run(int baud, double seconds, bool silent) {
  char dir[] = "/tmp/qb7soak.XXXXXX";
  if (!mkdtemp(dir)) {
    std::perror("mkdtemp");
    std::exit(2);
  }
  std::ofstream(std::string(dir) + "/Qb7_Uart.cfg") << "#COMMODE " << baud << "\n";

  Result r;
  const uint64_t fillUs = board::uart::FifoFillUs(baud);
  RealClock clock;
  HeadlessFrontend frontend;
  sim::SimulatedBoard board(clock, baud);
  LookTimer looks(board, clock, fillUs, r);
  Console console(frontend, clock);
  Files files(dir);
  ThreadedLogWriter logWriter;
  Machine machine(console, files, looks, logWriter);

  r.sent = silent ? 0 : static_cast<uint64_t>(seconds * baud / 10);
  const uint64_t startUs = clock.NowUs() + 200000;
  const uint64_t lineUs = static_cast<uint64_t>(seconds * 1e6);
  frontend.AddKeyAt(startUs - 100000, "2");  // J27: only the pattern on the line
  board.FarEndOn(2)->outbox().SendPattern(r.sent, startUs);
  frontend.AddKeyAt(startUs + lineUs + 300000, std::string(keys::KeyShiftF2));
  frontend.AddKeyAt(startUs + lineUs + 400000, "q");

  // A message line (an overflow, say) is answered at once, so the run goes
  // on and the table tells.
  frontend.OnPresent([&](const Screen& screen) {
    if (screen.At(24, 2).bg == 12 && screen.At(24, 2).fg == 15) {
      looks.MessageShown();
      frontend.AddKey("x");
    }
  });

  // CPU over the whole run (start-up, session, exit), per second of wall
  // time: the session is nearly all of it.
  const double cpuStart = CpuSeconds();
  const uint64_t wallStart = clock.NowUs();
  try {
    RunQb7Uart(machine);
  } catch (const ProgramExit&) {
  }
  files.CloseAll();
  logWriter.Finish(3000);
  const double cpu = CpuSeconds() - cpuStart;
  const double wall = static_cast<double>(clock.NowUs() - wallStart) / 1e6;

  std::ifstream in(std::string(dir) + "/Term.txt", std::ios::binary);
  std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  r.logged = log.size();
  while (r.inOrder < log.size() &&
         static_cast<uint8_t>(log[r.inOrder]) == sim::PatternByte(r.inOrder))
    ++r.inOrder;
  r.cpuPerSecond = cpu / wall;
  std::filesystem::remove_all(dir);
  return r;
}

// Busy processes beside the runs, as other work on the bench PC would be.
class Load {
 public:
  explicit Load(int n) {
    for (int i = 0; i < n; ++i) {
      const pid_t pid = fork();
      if (pid == 0) {
        volatile unsigned long spin = 0;
        for (;;) spin = spin + 1;
      }
      if (pid > 0) pids_.push_back(pid);
    }
  }
  ~Load() {
    for (pid_t pid : pids_) kill(pid, SIGKILL);
    for (pid_t pid : pids_) waitpid(pid, nullptr, 0);
  }

 private:
  std::vector<pid_t> pids_;
};

struct Options {
  double seconds = 5.0;
  int baud = 0;
  bool silent = false;
  int runs = 1;
  int load = 0;
  bool realtime = false;
};

bool Parse(int argc, char** argv, Options& o) {
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--silent") {
      o.silent = true;
    } else if (a == "--realtime") {
      o.realtime = true;
    } else if (a == "--runs" && hasValue) {
      o.runs = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--load" && hasValue) {
      o.load = std::max(0, std::atoi(argv[++i]));
    } else if (a.rfind("--", 0) != 0 && positional == 0) {
      o.seconds = std::atof(a.c_str());
      ++positional;
    } else if (a.rfind("--", 0) != 0 && positional == 1) {
      o.baud = std::atoi(a.c_str());
      ++positional;
    } else {
      return false;
    }
  }
  return o.seconds > 0 && o.baud >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!Parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: qb7_soak [SECONDS [BAUD]] [--silent] [--runs N] [--load N] [--realtime]\n");
    return 2;
  }
  if (o.realtime) {
    const RealTimeGrant grant = RequestRealTime();
    std::printf("real-time priority: %s; memory %s\n",
                grant.fifo ? "SCHED_FIFO granted" : "refused, normal scheduling",
                grant.locked ? "locked" : "not locked");
  }
  Load load(o.load);
  if (o.load > 0) std::printf("load: %d busy processes beside the runs\n", o.load);

  std::printf("%-20s %9s %9s %9s %9s | %8s %8s %8s | %8s %8s\n", "run", "sent", "logged",
              "in order", "lost", "machine", "program", "after-msg", "gap ms", "CPU s/s");
  struct Plan {
    const char* name;
    int baud;
    bool silent;
  };
  std::vector<Plan> plans;
  if (o.baud == 0)
    plans = {{"pattern at 115200", 115200, false}, {"pattern at 921600", 921600, false},
             {"silent line, 115200", 115200, true}};
  else
    plans = {{o.silent ? "silent line" : "pattern", o.baud, o.silent}};

  bool ok = true;
  for (const Plan& p : plans) {
    for (int run = 0; run < o.runs; ++run) {
      const Result r = Run(p.baud, o.seconds, p.silent);
      const uint64_t lost = r.sent - std::min(r.sent, r.inOrder);
      std::string name = p.name;
      if (o.baud != 0) name += " at " + std::to_string(p.baud);
      std::printf("%-20s %9llu %9llu %9llu %9llu | %8llu %8llu %8llu | %8.3f %8.4f\n",
                  name.c_str(), (unsigned long long)r.sent, (unsigned long long)r.logged,
                  (unsigned long long)r.inOrder, (unsigned long long)lost,
                  (unsigned long long)r.machineLosses, (unsigned long long)r.programLosses,
                  (unsigned long long)r.afterMessage, static_cast<double>(r.longestGapUs) / 1000.0,
                  r.cpuPerSecond);
      std::fflush(stdout);
      ok = ok && r.programLosses == 0;
    }
  }
  return ok ? 0 : 1;
}
