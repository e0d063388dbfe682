// The options of boots in a batch, the same for qb7uart and qb7uart-sim:
//   --boots N [--route R] [--until TEXT] [--timeout S] [--json FILE] [--junit FILE]
// They are taken out of the arguments; the rest is left for the program's
// own options.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qb7 {

struct BootBatchOptions {
  int boots = 0;        // 0: no batch, the full-screen program
  int route = 0;        // the console line the boots are read on
  std::string until;    // the prompt; empty: the route's #PROMPT, else a line left open then quiet
  uint64_t timeOutUs = 60000000;
  std::string json;     // where the JSON lines go; empty: standard output
  std::string junit;    // where the JUnit XML goes; empty: nowhere
};

// Takes the batch's options out of args. False with a one-line reason on
// a bad value, or on a batch option without --boots.
bool TakeBootBatchOptions(std::vector<std::string>& args, BootBatchOptions& options, std::string& error);

// The options' lines for a usage text.
std::string BootBatchUsage();

}  // namespace qb7
