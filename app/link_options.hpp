// The options of the console link, the same for qb7uart and qb7uart-sim:
//   --pty [--route R] [--link PATH]    the console on a pseudo-terminal
//   --stdio [--route R]                the console on standard input and output
// They are taken out of the arguments only when --pty or --stdio is there.
#pragma once
#include <string>
#include <vector>

namespace qb7 {

struct LinkOptions {
  enum class Kind { None, Pty, Stdio };
  Kind kind = Kind::None;
  int route = 0;
  std::string link;  // --pty: a stable path to the pseudo-terminal
};

bool TakeLinkOptions(std::vector<std::string>& args, LinkOptions& options, std::string& error);

std::string LinkUsage();

}  // namespace qb7
