// qb7uart-sim: the same program on the simulated QB7 board.
#include <unistd.h>

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
#include "app/config_report.hpp"
#include "app/launch.hpp"
#include "app/program_locks.hpp"
#include "sim/pty_far_end.hpp"
#include "sim/sim_options.hpp"
#include "sim/simulated_board.hpp"

int main(int argc, char** argv) {
  qb7::sim::SimOptions options;
  if (argc == 2 && std::string(argv[1]) == "--reset") {
    if (const int status = qb7::AskHolderToReset("qb7uart-sim", qb7::Files::ExecutableFolder()); status >= 0)
      return status;
    // No program holds the simulated board: one of its own takes the pulse
    // (the folder's lock first: a batch there holds the board too).
    const auto logs = qb7::LockLogs("qb7uart-sim");
    if (!logs) return 1;
    qb7::RealClock clock;
    qb7::sim::SimulatedBoard board(clock);
    qb7::PulseResetDirectly(board, clock);
    std::printf("qb7uart-sim: the VSC7420's reset pulsed (no program held the board: the boot is not captured)\n");
    return 0;
  }
  qb7::BootBatchOptions batch;
  qb7::LinkOptions link;
  std::string error;
  std::vector<std::string> args(argv + 1, argv + argc);
  // Two boots side by side: files only, no board, no lock.
  if (!args.empty() && args[0] == "--compare")
    return qb7::CompareCommand("qb7uart-sim", {args.begin() + 1, args.end()}, qb7::Files::ExecutableFolder());
  if (!qb7::TakeLinkOptions(args, link, error) || !qb7::TakeBootBatchOptions(args, batch, error) ||
      !qb7::sim::ParseSimOptions(args, options, error)) {
    std::fprintf(stderr, "qb7uart-sim: %s\n\n%s", error.c_str(), qb7::sim::SimUsage().c_str());
    return 2;
  }
  if (options.help) {
    std::fputs((qb7::sim::SimUsage() + "\nBoots in a batch:\n" + qb7::BootBatchUsage() +
                "\nThe console for other programs:\n" + qb7::LinkUsage()).c_str(),
               stdout);
    return 0;
  }
  if (options.version) {
    std::printf("%s\n", qb7::VersionLine("qb7uart-sim").c_str());
    return 0;
  }
  // The program works in its own folder: a report named from where it was
  // started is written there all the same.
  if (!options.report.empty() && options.report[0] != '/') {
    char here[4096];
    if (getcwd(here, sizeof here)) options.report = std::string(here) + "/" + options.report;
  }
  if (options.checkConfig) return qb7::CheckConfigCommand("qb7uart-sim", options.checkConfigPath);
  // Two copies in one folder would write over each other's logs.
  const auto logs = qb7::LockLogs("qb7uart-sim");
  if (!logs) return 1;
  const bool linked = link.kind != qb7::LinkOptions::Kind::None;
  if (linked && batch.boots != 0) {
    std::fprintf(stderr, "qb7uart-sim: --boots does not go with --pty or --stdio\n");
    return 2;
  }
  if (batch.boots == 0 && !linked && qb7::RefuseUnusableTerminal("qb7uart-sim")) return 1;
  qb7::SettlePrivileges();
  qb7::RealClock clock;
  qb7::sim::SimulatedBoard board(clock, options.lineBaud, options.boots);
  if (options.absentFrom >= 0)
    board.SetAbsent(static_cast<uint64_t>(options.absentFrom * 1e6),
                    options.absentTo >= 1e17 ? UINT64_MAX
                                             : static_cast<uint64_t>(options.absentTo * 1e6));
  for (const auto& [route, command] : options.attach) {
    auto farEnd = qb7::sim::PtyFarEnd::Start(command, options.lineBaud, error);
    if (!farEnd) {
      std::fprintf(stderr, "qb7uart-sim: --attach %d=%s: %s\n", route, command.c_str(),
                   error.c_str());
      return 2;
    }
    board.Attach(route, std::move(farEnd));
  }
  const qb7::Ending ending = linked ? qb7::RunConsoleLink(board, clock, link, "qb7uart-sim")
                             : batch.boots != 0 ? qb7::RunBootBatch(board, clock, batch, "qb7uart-sim")
                                                : qb7::RunInTerminal(board, clock, qb7::ChildPolicy{});
  // Written however the program ended, a signal's ending too.
  if (!options.report.empty()) {
    const qb7::sim::LineReport& r = board.report();
    if (std::FILE* f = std::fopen(options.report.c_str(), "w")) {
      std::fprintf(f, "overflows by the machine: %llu\noverflows by the program: %llu\n"
                      "longest gap between looks: %.3f ms\n",
                   static_cast<unsigned long long>(r.machineOverflows),
                   static_cast<unsigned long long>(r.programOverflows),
                   static_cast<double>(r.longestGapUs) / 1000.0);
      // Each boot of the VSC7420 and what the board made of it.
      const auto& boots = board.boots();
      std::size_t failed = 0;
      for (auto fate : boots) failed += fate != qb7::sim::BootFate::Good;
      std::fprintf(f, "boots: %zu, made to fail: %zu\n", boots.size(), failed);
      for (std::size_t i = 0; i < boots.size(); ++i)
        std::fprintf(f, "boot %zu: %s\n", i + 1, qb7::sim::FateName(boots[i]));
      std::fclose(f);
    }
  }
  return qb7::Leave(ending);
}
