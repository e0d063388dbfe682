// qb7uart: the program on the real QB7 board.
#include <cstdio>
#include <string>
#include <vector>

#include "app/batch_run.hpp"
#include "app/boot_batch_options.hpp"
#include "app/compare_command.hpp"
#include "app/link_options.hpp"
#include "app/link_run.hpp"
#include "app/reset_command.hpp"
#include "os/files.hpp"
#include "app/launch.hpp"
#include "app/program_locks.hpp"
#include "board/hardware_ports.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // Two boots side by side: files only, no board, no lock.
  if (!args.empty() && args[0] == "--compare")
    return qb7::CompareCommand("qb7uart", {args.begin() + 1, args.end()}, qb7::Files::ExecutableFolder());
  if (args.size() == 1 && args[0] == "--reset") {
    if (const int status = qb7::AskHolderToReset("qb7uart", qb7::Files::ExecutableFolder()); status >= 0)
      return status;
    // No program holds the board: this one takes it, pulses and ends.
    const auto board = qb7::LockBoard("qb7uart");
    if (!board) return 1;
    std::string why;
    auto ports = qb7::HardwarePorts::Open(why);
    if (!ports) {
      std::fprintf(stderr, "%s\n", why.c_str());
      return 1;
    }
    qb7::RealClock clock;
    qb7::PulseResetDirectly(*ports, clock);
    std::printf("qb7uart: the VSC7420's reset pulsed (no program held the board: the boot is not captured)\n");
    return 0;
  }
  qb7::LinkOptions link;
  qb7::BootBatchOptions batch;
  std::string error;
  if (!qb7::TakeLinkOptions(args, link, error) || !qb7::TakeBootBatchOptions(args, batch, error)) {
    std::fprintf(stderr, "qb7uart: %s (see qb7uart --help)\n", error.c_str());
    return 2;
  }
  const bool linked = link.kind != qb7::LinkOptions::Kind::None;
  if (linked && batch.boots != 0) {
    std::fprintf(stderr, "qb7uart: --boots does not go with --pty or --stdio (see qb7uart --help)\n");
    return 2;
  }
  if (batch.boots == 0 && !linked) {
    if (const int status = qb7::AnswerArguments(argc, argv); status >= 0) return status;
  } else if (!args.empty()) {
    std::fprintf(stderr, "qb7uart: %s does not go with %s (see qb7uart --help)\n", args[0].c_str(),
                 linked ? "--pty or --stdio" : "--boots");
    return 2;
  }
  // Before the ports are touched: another copy on the board would
  // interleave its index and data writes with ours.
  const auto board = qb7::LockBoard("qb7uart");
  if (!board) return 1;
  const auto logs = qb7::LockLogs("qb7uart");
  if (!logs) return 1;
  std::string why;
  auto ports = qb7::HardwarePorts::Open(why);
  if (!ports) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
  }
  if (batch.boots != 0 || linked) {
    qb7::SettlePrivileges();
    qb7::RealClock clock;
    return qb7::Leave(linked ? qb7::RunConsoleLink(*ports, clock, link, "qb7uart")
                             : qb7::RunBootBatch(*ports, clock, batch, "qb7uart"));
  }
  if (qb7::RefuseUnusableTerminal("qb7uart")) return 1;
  qb7::SettlePrivileges();
  qb7::RealClock clock;
  return qb7::Leave(qb7::RunInTerminal(*ports, clock, qb7::ChildPolicy{ports->Granted()}));
}
