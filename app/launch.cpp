#include "app/launch.hpp"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <cerrno>
#include <exception>
#include <new>
#include <string>
#include <system_error>

#include "app/boot_batch_options.hpp"
#include "app/link_options.hpp"
#include "app/config_report.hpp"
#include "app/route_menu.hpp"
#include "os/program_exit.hpp"
#include "machine/machine.hpp"
#include "process/privileges.hpp"
#include "log/threaded_log_writer.hpp"
#include "os/signal_watch.hpp"
#include "terminal/curses_terminal.hpp"
#include "terminal/terminal_thread.hpp"

namespace qb7 {

namespace {
// How long the end of the program waits for the log's writer.
constexpr int kLogFinishMs = 3000;
}  // namespace

bool RefuseUnusableTerminal(const std::string& program) {
  auto why = CursesTerminal::Unusable(program);
  if (!why) return false;
  std::fprintf(stderr, "%s\n", why->c_str());
  return true;
}

std::string VersionLine(const std::string& program) { return program + " " + QB7_VERSION; }

int AnswerArguments(int argc, char** argv) {
  static const char kUsage[] =
      "Usage: qb7uart [--help | --version | --check-config [FILE]]\n"
      "       qb7uart --boots N [--route R] [--until TEXT] [--timeout S] [--json FILE]\n"
      "               [--junit FILE]\n"
      "       qb7uart --compare [A B] [--threshold MS]\n"
      "       qb7uart --pty [--route R] [--link PATH] | --stdio [--route R]\n"
      "       qb7uart --reset\n"
      "\n"
      "The full-screen bench tool for the QB7 board: wires the board's UART to a\n"
      "console line, pulses the VSC7420's reset and runs a terminal session over\n"
      "the line; with --boots, it captures boots in a batch with no screen. It\n"
      "reads Qb7_Uart.cfg in its own folder and writes Term.txt there. It needs\n"
      "the board's I/O ports (0x352,\n"
      "0x353, 0x2A4): run it as root, or grant it once with\n"
      "  setcap cap_sys_rawio,cap_sys_nice+ep qb7uart\n"
      "qb7uart-sim runs the same program on a simulated board. See qb7uart(1).\n"
      "\n"
      "  --check-config [FILE]   check FILE, or the Qb7_Uart.cfg beside the program,\n"
      "                          as start-up does; print each problem as\n"
      "                          FILE:LINE:COLUMN: SLOT: WHAT; exit 0 when there\n"
      "                          are none, 1 otherwise\n"
      "  --compare [A B]         two boots side by side (kept sessions, by default\n"
      "                          the last two of route 0): each line's time in\n"
      "                          both, the difference, and the change of its step,\n"
      "                          flagged ! from --threshold MS (default 100); new\n"
      "                          lines +, missing -; exit 0 when none, 1 otherwise\n";
  const std::string usage = kUsage + BootBatchUsage() + LinkUsage() +
                            "  --reset                 ask the program holding the board to pulse the\n"
                            "                          VSC7420's reset (logged, its boot captured); with\n"
                            "                          none, pulse it here; exit 0 pulsed, 1 refused\n";
  if (argc <= 1) return -1;
  const std::string a = argv[1];
  if (argc == 2 && (a == "--help" || a == "-h")) {
    std::fputs(usage.c_str(), stdout);
    return 0;
  }
  if (argc == 2 && a == "--version") {
    std::printf("%s\n", VersionLine("qb7uart").c_str());
    return 0;
  }
  if (a == "--check-config" && argc <= 3)
    return CheckConfigCommand("qb7uart", argc == 3 ? argv[2] : std::string());
  std::fprintf(stderr, "qb7uart: unknown argument: %s\n\n%s", a.c_str(), usage.c_str());
  return 2;
}

void SettlePrivileges() {
  RequestRealTime();
  DropAllCapabilities();
}

Ending RunInTerminal(PortIo& ports, Clock& clock, const ChildPolicy& children) {
  ProgramExit ending;
  uint64_t unlogged = 0;  // the disk did not take them in time
  uint64_t untold = 0;    // no room was left for them, and nobody was told
  std::string failure;
  try {
    // The threads first, then the terminal: whatever fails before the screen
    // is set up leaves the terminal untouched.
    ThreadedLogWriter log;
    CursesTerminal terminal;
    SignalWatch::Install();
    TerminalThread terminalThread(terminal);
    Console console(terminalThread, clock);
    Files files(Files::ExecutableFolder());
    Machine machine(console, files, ports, log);
    machine.children = children;
    // qb7uart --reset from another shell reaches this program here; without
    // the socket the program runs as before, and --reset finds the board held.
    std::string why;
    const auto resets = ResetListener::Listen(files.ProgramFolder(), why);
    machine.outsideResets = resets.get();
    try {
      RunQb7Uart(machine);
    } catch (const ProgramExit& e) {
      ending = e;
    }
    // Everything received so far reaches the disk before the terminal goes
    // (a terminal that stopped reading may hold up what follows), but a
    // disk that does not answer holds the end up only so long.
    files.CloseAll();
    unlogged = log.Finish(kLogFinishMs);
    untold = machine.untoldLoss + log.TakeNews().dropped;
    terminalThread.Shutdown();
  } catch (const ProgramFailure& e) {
    failure = e.cause;
  } catch (const std::bad_alloc&) {
    failure = "out of memory";
  } catch (const std::system_error& e) {
    // A thread or a pipe the platform would not give.
    const int code = e.code().value();
    if (code == EMFILE || code == ENFILE)
      failure = std::string("too many open files (") + e.what() + ")";
    else if (code == EAGAIN || code == ENOMEM)
      failure = std::string("out of memory (") + e.what() + ")";
    else
      failure = e.what();
  } catch (const std::exception& e) {
    failure = e.what();
  }
  // By now the terminal is given back, whatever happened.
  if (!failure.empty()) {
    std::fprintf(stderr, "qb7uart: %s\n", failure.c_str());
    return {1, 0};
  }
  if (unlogged != 0)
    std::fprintf(stderr,
                 "qb7uart: %llu bytes received did not reach Term.txt: the disk did not "
                 "answer within %d s\n",
                 static_cast<unsigned long long>(unlogged), kLogFinishMs / 1000);
  if (untold != 0)
    std::fprintf(stderr,
                 "qb7uart: %llu bytes received did not reach Term.txt: there was no room to "
                 "hold them\n",
                 static_cast<unsigned long long>(untold));
  return {ending.status, ending.signal};
}

int Leave(const Ending& ending) {
  std::fflush(nullptr);
  if (ending.signal != 0) {
    std::signal(ending.signal, SIG_DFL);
    std::raise(ending.signal);
  }
  return ending.status;
}

}  // namespace qb7
