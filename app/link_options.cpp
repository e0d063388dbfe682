#include "app/link_options.hpp"

#include <algorithm>
#include <cstdlib>

namespace qb7 {

std::string LinkUsage() {
  return "  --pty [--link PATH]     no screen: the console line as a pseudo-terminal\n"
         "                          for other programs (picocom, pexpect, ser2net,\n"
         "                          labgrid); prints its path, or keeps a link at\n"
         "                          PATH; the session logged as always; SIGTERM ends\n"
         "  --stdio                 the same on standard input and output; ends when\n"
         "                          standard input does\n"
         "  --route R               with --pty or --stdio: the console line (0..5,\n"
         "                          default 0)\n";
}

bool TakeLinkOptions(std::vector<std::string>& args, LinkOptions& options, std::string& error) {
  const bool pty = std::find(args.begin(), args.end(), "--pty") != args.end();
  const bool stdio = std::find(args.begin(), args.end(), "--stdio") != args.end();
  if (!pty && !stdio) {
    if (std::find(args.begin(), args.end(), "--link") != args.end()) {
      error = "--link goes with --pty";
      return false;
    }
    return true;
  }
  if (pty && stdio) {
    error = "--pty and --stdio do not go together";
    return false;
  }
  options.kind = pty ? LinkOptions::Kind::Pty : LinkOptions::Kind::Stdio;
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--pty" || a == "--stdio") continue;
    if (a == "--route" || a == "--link") {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      const std::string v = args[++i];
      if (a == "--link") {
        if (!pty || v.empty()) {
          error = "--link takes a path, and goes with --pty";
          return false;
        }
        options.link = v;
        continue;
      }
      char* end = nullptr;
      const long r = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || r < 0 || r > 5) {
        error = "--route takes a route from 0 to 5, not '" + v + "'";
        return false;
      }
      options.route = static_cast<int>(r);
      continue;
    }
    rest.push_back(a);
  }
  args = std::move(rest);
  return true;
}

}  // namespace qb7
