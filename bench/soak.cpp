// Line-rate soak: the terminal session, headless, on the simulated board
// with the real clock, while the far end on J27 sends the test pattern
// without a pause; the same with a message line that the operator answers
// only after a while; then a silent line.
//
// The board sees every look at its receive FIFO (a read of its count
// register) and puts each overflow down to whoever let it happen: the
// machine's loss when the look that found it came more than one fill time
// after the look before (the program was held off the CPU), the program's
// own loss when it came sooner.
//
//   qb7_soak [SECONDS [BAUD]] [--silent] [--held S] [--runs N] [--load N] [--realtime]
//
// SECONDS of line time per run (default 5); BAUD runs only the pattern at
// that baud (with --silent: only the silent line; with --held S: a message
// line waits S seconds for its key in the middle of it); --runs repeats
// each run; --load starts N busy processes beside the runs and ends them
// after; --realtime asks for the program's real-time priority first. Exit
// status 0 when no run lost a byte by the program's own fault.
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
#include "console/headless_frontend.hpp"
#include "os/program_exit.hpp"
#include "keys/keys.hpp"
#include "machine/machine.hpp"
#include "process/privileges.hpp"
#include "log/threaded_log_writer.hpp"
#include "sim/pattern.hpp"
#include "sim/simulated_board.hpp"
#include "session/term_session.hpp"

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
  uint64_t machineLosses = 0, programLosses = 0;
  uint64_t longestGapUs = 0;
  double cpuPerSecond = 0;
};

Result Run(int baud, double seconds, bool silent, double heldSeconds) {
  char dir[] = "/tmp/qb7soak.XXXXXX";
  if (!mkdtemp(dir)) {
    std::perror("mkdtemp");
    std::exit(2);
  }
  // F1 plays a character no macro knows: a message line.
  std::ofstream(std::string(dir) + "/Qb7_Uart.cfg") << "#COMMODE " << baud << "\n#F1 ?\n";

  Result r;
  RealClock clock;
  HeadlessFrontend frontend;
  sim::SimulatedBoard board(clock, baud);
  Console console(frontend, clock);
  Files files(dir);
  ThreadedLogWriter logWriter;
  Machine machine(console, files, board, logWriter);

  r.sent = silent ? 0 : static_cast<uint64_t>(seconds * baud / 10);
  const uint64_t startUs = clock.NowUs() + 200000;
  const uint64_t lineUs = static_cast<uint64_t>(seconds * 1e6);
  frontend.AddKeyAt(startUs - 100000, "2");  // J27: only the pattern on the line
  board.FarEndOn(2)->outbox().SendPattern(r.sent, startUs);
  frontend.AddKeyAt(startUs + lineUs + 300000, std::string(keys::KeyShiftF2));
  frontend.AddKeyAt(startUs + lineUs + 400000, "q");
  if (heldSeconds > 0) {
    // The message waits from a quarter of the line time on, the pattern
    // flowing all the while.
    const uint64_t at = startUs + lineUs / 4;
    frontend.AddKeyAt(at, std::string(keys::KeyF1));
    frontend.AddKeyAt(at + static_cast<uint64_t>(heldSeconds * 1e6), "x");
  }

  // Any other message line (an overflow, say) is answered at once, so the
  // run goes on and the table tells.
  frontend.OnScreen([&](const Screen& screen) {
    if (screen.At(24, 2).bg == 12 && screen.At(24, 2).fg == 15 &&
        screen.RowText(24).find("Cmd:") == std::string::npos)
      frontend.AddKey("x");
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
  r.machineLosses = board.report().machineOverflows;
  r.programLosses = board.report().programOverflows;
  r.longestGapUs = board.report().longestGapUs;
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
  double held = 0;
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
    } else if (a == "--held" && hasValue) {
      o.held = std::max(0.0, std::atof(argv[++i]));
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
                 "usage: qb7_soak [SECONDS [BAUD]] [--silent] [--held S] [--runs N] [--load N] "
                 "[--realtime]\n");
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

  std::printf("%-26s %9s %9s %9s %9s | %8s %8s | %8s %8s\n", "run", "sent", "logged",
              "in order", "missing", "machine", "program", "gap ms", "CPU s/s");
  struct Plan {
    const char* name;
    int baud;
    bool silent;
    double held;
  };
  std::vector<Plan> plans;
  if (o.baud == 0)
    plans = {{"pattern at 115200", 115200, false, 0},
             {"pattern at 921600", 921600, false, 0},
             {"message held 5 s, 921600", 921600, false, 5},
             {"silent line, 115200", 115200, true, 0}};
  else
    plans = {{o.silent ? "silent line" : o.held > 0 ? "message held" : "pattern", o.baud,
              o.silent, o.held}};

  bool ok = true;
  for (const Plan& p : plans) {
    for (int run = 0; run < o.runs; ++run) {
      // A held message needs line time around it.
      const double seconds = p.held > 0 ? std::max(o.seconds, p.held * 2) : o.seconds;
      const Result r = Run(p.baud, seconds, p.silent, p.held);
      // The bytes sent that never reached Term.txt; those after the first
      // one missing are still counted as logged.
      const uint64_t missing = r.sent - std::min(r.sent, r.logged);
      std::string name = p.name;
      if (o.baud != 0) name += " at " + std::to_string(p.baud);
      std::printf("%-26s %9llu %9llu %9llu %9llu | %8llu %8llu | %8.3f %8.4f\n", name.c_str(),
                  (unsigned long long)r.sent, (unsigned long long)r.logged,
                  (unsigned long long)r.inOrder, (unsigned long long)missing,
                  (unsigned long long)r.machineLosses, (unsigned long long)r.programLosses,
                  static_cast<double>(r.longestGapUs) / 1000.0, r.cpuPerSecond);
      std::fflush(stdout);
      ok = ok && r.programLosses == 0;
    }
  }
  return ok ? 0 : 1;
}
