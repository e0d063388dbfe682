#include "app/boot_batch_options.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace qb7 {

std::string BootBatchUsage() {
  return "  --boots N               no screen: reset the VSC7420 N times (1..100000),\n"
         "                          capture each boot as a kept session and report\n"
         "                          each as a JSON line and a summary; exit 0 when\n"
         "                          every boot reached the prompt, 1 otherwise\n"
         "  --route R               the console line the boots are read on (0..5,\n"
         "                          default 0, the VSC7420)\n"
         "  --until TEXT            the prompt that ends a boot (default: the route's\n"
         "                          #PROMPT, else a line left open, then quiet)\n"
         "  --timeout S             seconds a boot may take to the prompt (default 60)\n"
         "  --json FILE             the JSON lines to FILE instead of standard output\n"
         "  --junit FILE            a JUnit XML report too, one test case per boot\n";
}

bool TakeBootBatchOptions(std::vector<std::string>& args, BootBatchOptions& options, std::string& error) {
  std::vector<std::string> rest;
  std::string given;  // a batch option seen, for the error without --boots
  bool boots = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string name = a, v;
    bool inlineValue = false;
    if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = a.substr(0, eq);
      v = a.substr(eq + 1);
      inlineValue = true;
    }
    if (name != "--boots" && name != "--route" && name != "--until" && name != "--timeout" &&
        name != "--json" && name != "--junit") {
      rest.push_back(a);
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return false;
      }
      v = args[++i];
    }
    if (given.empty()) given = name;
    char* end = nullptr;
    errno = 0;
    if (name == "--boots") {
      const long n = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || errno != 0 || *end != '\0' || n < 1 || n > 100000) {
        error = "--boots takes a whole number from 1 to 100000, not '" + v + "'";
        return false;
      }
      options.boots = static_cast<int>(n);
      boots = true;
    } else if (name == "--route") {
      const long r = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || errno != 0 || *end != '\0' || r < 0 || r > 5) {
        error = "--route takes a route from 0 to 5, not '" + v + "'";
        return false;
      }
      options.route = static_cast<int>(r);
    } else if (name == "--until") {
      if (v.empty()) {
        error = "--until needs the text of the prompt";
        return false;
      }
      options.until = v;
    } else if (name == "--timeout") {
      const double s = std::strtod(v.c_str(), &end);
      if (v.empty() || errno != 0 || *end != '\0' || !std::isfinite(s) || s < 0.1 || s > 86400) {
        error = "--timeout takes seconds from 0.1 to 86400, not '" + v + "'";
        return false;
      }
      options.timeOutUs = static_cast<uint64_t>(std::llround(s * 1e6));
    } else if (name == "--json" || name == "--junit") {
      if (v.empty()) {
        error = name + " needs a file name";
        return false;
      }
      (name == "--json" ? options.json : options.junit) = v;
    }
  }
  if (!given.empty() && !boots) {
    error = given + " goes with --boots N";
    return false;
  }
  args = std::move(rest);
  return true;
}

}  // namespace qb7
