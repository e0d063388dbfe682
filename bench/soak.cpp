// Line-rate soak: the terminal session, headless, on the simulated board
// with the real clock, while the far end sends the test pattern without a
// pause; then the same session with a silent line. Prints a table of bytes
// sent, bytes logged, line errors, and CPU seconds per second of line time.
//   qb7_soak [seconds of line time per run, default 5] [only this baud]
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/machine.hpp"
#include "app/route_menu.hpp"
#include "console/headless_frontend.hpp"
#include "console/keys.hpp"
#include "console/program_exit.hpp"
#include "sim/pattern.hpp"
#include "sim/simulated_board.hpp"

namespace {

using namespace qb7;

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Result {
  uint64_t sent = 0, logged = 0, inOrder = 0, overflows = 0, framing = 0, messages = 0;
  double cpuPerSecond = 0;
};

Result Run(int baud, double seconds, bool silent) {
  char dir[] = "/tmp/qb7soak.XXXXXX";
  mkdtemp(dir);
  std::ofstream(std::string(dir) + "/Qb7_Uart.cfg") << "#COMMODE " << baud << "\n";

  RealClock clock;
  HeadlessFrontend frontend;
  sim::SimulatedBoard board(clock, baud);
  Console console(frontend, clock);
  Files files(dir);
  Machine machine(console, files, board);

  Result r;
  r.sent = silent ? 0 : static_cast<uint64_t>(seconds * baud / 10);
  const uint64_t startUs = clock.NowUs() + 200000;
  const uint64_t lineUs = static_cast<uint64_t>(seconds * 1e6);
  frontend.AddKeyAt(startUs - 100000, "2");  // J27: only the pattern on the line
  board.FarEndOn(2)->outbox().SendPattern(r.sent, startUs);
  frontend.AddKeyAt(startUs + lineUs + 300000, std::string(keys::KeyShiftF2));
  frontend.AddKeyAt(startUs + lineUs + 400000, "q");

  // A message line (an overflow, say) is answered at once and counted, so
  // the run goes on and the table tells.
  frontend.OnPresent([&](const Screen& screen) {
    if (screen.At(24, 2).bg == 12 && screen.At(24, 2).fg == 15) {
      ++r.messages;
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
  const double cpu = CpuSeconds() - cpuStart;
  const double wall = static_cast<double>(clock.NowUs() - wallStart) / 1e6;

  std::ifstream in(std::string(dir) + "/Term.txt", std::ios::binary);
  std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  r.logged = log.size();
  while (r.inOrder < log.size() &&
         static_cast<uint8_t>(log[r.inOrder]) == sim::PatternByte(r.inOrder))
    ++r.inOrder;
  r.overflows = board.overflowEvents();
  r.framing = board.framingEvents();
  r.cpuPerSecond = cpu / wall;
  std::filesystem::remove_all(dir);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  const int onlyBaud = argc > 2 ? std::atoi(argv[2]) : 0;
  std::printf("%-22s %10s %10s %10s %10s %8s %8s %8s %10s\n", "run", "sent", "logged",
              "in order", "lost", "overflow", "framing", "messages", "CPU s/s");
  bool ok = true;
  struct RunPlan {
    const char* name;
    int baud;
    bool silent;
  };
  for (RunPlan s : {RunPlan{"pattern at 115200", 115200, false}, RunPlan{"pattern at 921600", 921600, false},
                 RunPlan{"silent line, 115200", 115200, true}}) {
    if (onlyBaud != 0 && (s.baud != onlyBaud || s.silent)) continue;
    Result r = Run(s.baud, seconds, s.silent);
    const uint64_t lost = r.sent - std::min(r.sent, r.inOrder);
    std::printf("%-22s %10llu %10llu %10llu %10llu %8llu %8llu %8llu %10.4f\n", s.name,
                (unsigned long long)r.sent, (unsigned long long)r.logged,
                (unsigned long long)r.inOrder, (unsigned long long)lost,
                (unsigned long long)r.overflows, (unsigned long long)r.framing,
                (unsigned long long)r.messages, r.cpuPerSecond);
    std::fflush(stdout);
    ok = ok && lost == 0 && r.overflows == 0 && r.framing == 0 && r.messages == 0;
  }
  return ok ? 0 : 1;
}
