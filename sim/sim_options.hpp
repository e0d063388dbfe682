// Options of qb7uart-sim; they configure only the simulated board.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "sim/boot_plan.hpp"

namespace qb7::sim {

struct SimOptions {
  int lineBaud = 115200;
  std::map<int, std::string> attach;  // route -> shell command
  bool help = false;
  bool version = false;
  // --check-config [FILE]: check the configuration (FILE, or the program's
  // own) and end, as qb7uart does.
  bool checkConfig = false;
  std::string checkConfigPath;
  std::string report;  // where to write the line report at the end
  // The board gone from the bus from absentFrom until absentTo seconds
  // after start (to forever with --no-board); negative: never.
  double absentFrom = -1;
  double absentTo = -1;
  BootPlan boots;  // --seed, --boot-fail: how the VSC7420's boots vary
};

// Parses the arguments (without the program name). On a bad option returns
// false with a one-line reason in error.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options,
                     std::string& error);

std::string SimUsage();

}  // namespace qb7::sim
