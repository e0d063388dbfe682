#include "app/link_run.hpp"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "app/route_menu.hpp"
#include "bridge/console_link.hpp"
#include "bridge/link_frontend.hpp"
#include "bridge/pseudo_terminal.hpp"
#include "config/config_loader.hpp"
#include "log/threaded_log_writer.hpp"
#include "machine/machine.hpp"
#include "os/program_exit.hpp"
#include "os/signal_watch.hpp"

namespace qb7 {

namespace {

constexpr int kLogFinishMs = 3000;

// The one session on the route, opened at once; the program ends with a
// signal, or when the other program's input ends.
class LinkMode final : public Mode {
 public:
  LinkMode(Machine& m, ProgramLoop& loop, int route) : m_(m), loop_(loop), route_(route) {}
  void Step() override {
    if (opened_) throw ProgramExit{0, 0};  // the session has ended
    opened_ = true;
    PrepareBoard(m_);
    m_.board.WriteRegister(board::kRouteRegister, route_);
    SessionStart start = SessionStart::On(route_);
    start.linked = true;
    loop_.OpenSession(std::string(kRouteTitles[static_cast<std::size_t>(route_)]), m_.store.baud, start);
  }
  uint64_t NextStepUs() const override { return 0; }

 private:
  Machine& m_;
  ProgramLoop& loop_;
  int route_;
  bool opened_ = false;
};

}  // namespace

Ending RunConsoleLink(PortIo& ports, Clock& clock, const LinkOptions& options, const std::string& program) {
  std::unique_ptr<PseudoTerminal> pty;
  int in = STDIN_FILENO, out = STDOUT_FILENO;
  if (options.kind == LinkOptions::Kind::Pty) {
    std::string error;
    pty = PseudoTerminal::Open(options.link, error);
    if (!pty) {
      std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
      return {1, 0};
    }
    in = out = pty->master();
    // The path, for the program that reads it (a script starts us, reads one line).
    std::printf("%s\n", options.link.empty() ? pty->path().c_str() : options.link.c_str());
    std::fflush(stdout);
  } else {
    // Neither side may wait: the link's thread polls them.
    fcntl(in, F_SETFL, fcntl(in, F_GETFL) | O_NONBLOCK);
    fcntl(out, F_SETFL, fcntl(out, F_GETFL) | O_NONBLOCK);
  }
  // A terminal on standard input (ssh -t) passes every byte as it is for
  // as long as the link runs: no echo, no line editing, CR stays CR.
  termios saved{};
  const bool rawInput = options.kind == LinkOptions::Kind::Stdio && isatty(in) == 1 && tcgetattr(in, &saved) == 0;
  if (rawInput) {
    termios raw = saved;
    cfmakeraw(&raw);
    tcsetattr(in, TCSANOW, &raw);
  }
  struct Restore {
    bool on;
    int fd;
    const termios& mode;
    ~Restore() {
      if (on) tcsetattr(fd, TCSANOW, &mode);
    }
  } restore{rawInput, in, saved};
  std::string failure;
  int status = 0, signal = 0;
  uint64_t undelivered = 0;
  try {
    ThreadedLogWriter log;
    SignalWatch::Install();
    ConsoleLink link(in, out, pty != nullptr);
    std::unique_ptr<ProgramLoop> loopHolder;
    LinkFrontend frontend(
        link, [&loopHolder] { return loopHolder && !loopHolder->outbox.Busy(); },
        [&loopHolder](const std::string& what) { return loopHolder && loopHolder->Note(what); });
    Console console(frontend, clock);
    Files files(Files::ExecutableFolder());
    Machine machine(console, files, ports, log);
    machine.received = [&link](std::string_view bytes) { link.Received(bytes); };
    std::string why;
    const auto resets = ResetListener::Listen(files.ProgramFolder(), why);
    if (!resets) std::fprintf(stderr, "%s: qb7uart --reset will not reach this program: %s\n", program.c_str(), why.c_str());
    machine.outsideResets = resets.get();
    if (chdir(files.ProgramFolder().c_str()) != 0)
      std::fprintf(stderr, "%s: cannot work in %s (%s): the logs go to the folder it was started in\n",
                   program.c_str(), files.ProgramFolder().c_str(), std::strerror(errno));
    for (const ConfigProblem& problem : LoadConfiguration(files, machine.store))
      std::fprintf(stderr, "%s: %s\n", program.c_str(), problem.Text().c_str());
    loopHolder = std::make_unique<ProgramLoop>(machine);
    ProgramLoop& loop = *loopHolder;
    loop.messages.Unattended([&](std::string_view text) {
      std::fprintf(stderr, "%s: %.*s\n", program.c_str(), static_cast<int>(text.size()), text.data());
    });
    LinkMode mode(machine, loop, options.route);
    try {
      loop.Run(mode);
    } catch (const ProgramExit& e) {
      status = e.status;
      signal = e.signal;
    }
    machine.received = nullptr;
    // The loop, and the session in it, go while the console and the
    // machine they use are still there.
    loopHolder.reset();
    undelivered = link.Undelivered();
    files.CloseAll();
    if (const uint64_t unlogged = log.Finish(kLogFinishMs); unlogged != 0)
      std::fprintf(stderr, "%s: %llu bytes received did not reach the log: the disk did not answer within %d s\n",
                   program.c_str(), static_cast<unsigned long long>(unlogged), kLogFinishMs / 1000);
  } catch (const ProgramFailure& e) {
    failure = e.cause;
  } catch (const std::exception& e) {
    failure = e.what();
  }
  if (!failure.empty()) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), failure.c_str());
    return {1, 0};
  }
  if (undelivered != 0)
    std::fprintf(stderr, "%s: %llu bytes received were not passed on: the console's reader did not read them (Term.txt has them)\n",
                 program.c_str(), static_cast<unsigned long long>(undelivered));
  return {status, signal};
}

}  // namespace qb7
