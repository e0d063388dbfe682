#include "sim/sim_options.hpp"

#include <cerrno>
#include <cstdlib>

namespace qb7::sim {

namespace {
bool ParseInt(const std::string& s, long lo, long hi, long& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  out = v;
  return true;
}
}  // namespace

std::string SimUsage() {
  return "Usage: qb7uart-sim [--line-baud N] [--attach ROUTE=COMMAND]... [--report FILE]\n"
         "                   [--no-board | --board-off FROM:TO] [--seed N] [--boot-fail F]\n"
         "                   [--boots N ...]\n"
         "       qb7uart-sim --check-config [FILE]\n"
         "       qb7uart-sim --compare [A B] [--threshold MS]\n"
         "\n"
         "Runs qb7uart on a simulated QB7 board. The program itself is the same\n"
         "as on the hardware; these options configure only the simulated board.\n"
         "\n"
         "  --line-baud N           speed of every far end of the console lines\n"
         "                          (default 115200). A UART programmed more than\n"
         "                          3% away from it sees framing errors.\n"
         "  --attach ROUTE=COMMAND  run COMMAND through /bin/sh on a pseudo-terminal\n"
         "                          in raw mode as the far end of route 0..5, e.g.\n"
         "                          --attach 2=/bin/sh or --attach 2=cat. Repeatable,\n"
         "                          once per route. The line is raw: Enter sends CR\n"
         "                          and nothing echoes. For a shell that behaves as\n"
         "                          on a serial console: --attach '2=stty sane; exec sh -i'\n"
         "  --report FILE           at the end, write what the board saw of the looks\n"
         "                          at its receive FIFO: each overflow put down to\n"
         "                          the machine (the look came later than the FIFO\n"
         "                          lasts) or to the program, and the longest gap\n"
         "  --no-board              no board on the bus: every port reads 0xFF, as\n"
         "                          when it is not seated or not powered\n"
         "  --board-off FROM:TO     the board gone from FROM seconds after start until\n"
         "                          TO (e.g. 5:8): a power cycle; it comes back as\n"
         "                          after power-on, the VSC7420 booting again\n"
         "  --seed N                each line of the VSC7420's boot comes after a delay\n"
         "                          that varies (up to 25% either way), the same for\n"
         "                          the same N; without it every boot is the same\n"
         "  --boot-fail F           boots that fail: F a share from 0 to 1 (boots that\n"
         "                          hang before the prompt, drawn from the seed), or\n"
         "                          a pattern used boot by boot and again: '.' good,\n"
         "                          'h' hangs, 'p' panics and boots again (late), 's'\n"
         "                          has one step 800 ms slow, e.g. ....h...p.s. The\n"
         "                          --report FILE lists each boot's fate\n"
         "  --boots N ...           boots in a batch, as qb7uart --boots (qb7uart(1))\n"
         "  --compare [A B]         two boots side by side, as qb7uart --compare\n"
         "  --pty, --stdio, --reset the console for other programs, as qb7uart\n"
         "  --check-config [FILE]   check FILE, or the Qb7_Uart.cfg beside the program,\n"
         "                          as start-up does; print each problem as\n"
         "                          FILE:LINE:COLUMN: SLOT: WHAT; exit 0 when there\n"
         "                          are none, 1 otherwise\n"
         "  --help                  this text\n"
         "  --version               the version\n"
         "\n"
         "Built-in far ends: the VSC7420 console on routes 0, 4 and 5 (boot log\n"
         "after R), the DK22N console on route 1, nothing on J27 (route 2), the\n"
         "DK22S console on route 3. They answer help, version, status, pattern N.\n";
}

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options,
                     std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const std::string& name, std::string& out) {
      if (a.size() > name.size() && a.compare(0, name.size() + 1, name + "=") == 0) {
        out = a.substr(name.size() + 1);
        return true;
      }
      if (a == name) {
        if (i + 1 >= args.size()) {
          error = name + " needs a value";
          return false;
        }
        out = args[++i];
        return true;
      }
      return false;
    };
    std::string v;
    if (a == "--help" || a == "-h") {
      options.help = true;
    } else if (a == "--version") {
      options.version = true;
    } else if (a == "--check-config") {
      options.checkConfig = true;
      if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) options.checkConfigPath = args[++i];
    } else if (a.rfind("--line-baud", 0) == 0) {
      if (!value("--line-baud", v)) {
        if (error.empty()) error = "unknown option: " + a;
        return false;
      }
      long baud = 0;
      if (!ParseInt(v, 1, 10000000, baud)) {
        error = "--line-baud takes a whole number from 1 to 10000000, not '" + v + "'";
        return false;
      }
      options.lineBaud = static_cast<int>(baud);
    } else if (a.rfind("--attach", 0) == 0) {
      if (!value("--attach", v)) {
        if (error.empty()) error = "unknown option: " + a;
        return false;
      }
      auto eq = v.find('=');
      long route = -1;
      if (eq == std::string::npos || !ParseInt(v.substr(0, eq), 0, 5, route) ||
          eq + 1 >= v.size()) {
        error = "--attach takes ROUTE=COMMAND with a route 0..5 and a command, not '" + v + "'";
        return false;
      }
      if (options.attach.count(static_cast<int>(route))) {
        error = "--attach given twice for route " + std::to_string(route);
        return false;
      }
      options.attach[static_cast<int>(route)] = v.substr(eq + 1);
    } else if (a == "--no-board") {
      options.absentFrom = 0;
      options.absentTo = 1e18;
    } else if (a.rfind("--board-off", 0) == 0) {
      if (!value("--board-off", v)) {
        if (error.empty()) error = "unknown option: " + a;
        return false;
      }
      char* end = nullptr;
      errno = 0;
      const double from = std::strtod(v.c_str(), &end);
      const bool colon = end && *end == ':';
      const double to = colon ? std::strtod(end + 1, &end) : 0;
      if (errno != 0 || !colon || *end != '\0' || !(from >= 0) || !(to > from) || to > 1e9) {
        error = "--board-off takes FROM:TO, seconds after start with FROM < TO, not '" + v + "'";
        return false;
      }
      options.absentFrom = from;
      options.absentTo = to;
    } else if (a.rfind("--seed", 0) == 0) {
      if (!value("--seed", v)) {
        if (error.empty()) error = "unknown option: " + a;
        return false;
      }
      char* end = nullptr;
      errno = 0;
      const unsigned long long seed = std::strtoull(v.c_str(), &end, 10);
      if (v.empty() || errno != 0 || *end != '\0' || v[0] == '-') {
        error = "--seed takes a whole number, not '" + v + "'";
        return false;
      }
      options.boots.seed = seed;
      options.boots.jitter = true;
    } else if (a.rfind("--boot-fail", 0) == 0) {
      if (!value("--boot-fail", v)) {
        if (error.empty()) error = "unknown option: " + a;
        return false;
      }
      if (!ParseBootFail(v, options.boots)) {
        error = "--boot-fail takes a share from 0 to 1 or a pattern of '.', 'h', 'p' and 's', not '" + v + "'";
        return false;
      }
    } else if (a.rfind("--report", 0) == 0) {
      if (!value("--report", v)) {
        if (error.empty()) error = "unknown option: " + a;
        return false;
      }
      if (v.empty()) {
        error = "--report needs a file name";
        return false;
      }
      options.report = v;
    } else {
      error = "unknown option: " + a;
      return false;
    }
  }
  return true;
}

}  // namespace qb7::sim
