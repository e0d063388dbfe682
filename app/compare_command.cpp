#include "app/compare_command.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "compare/boot_compare.hpp"
#include "log/log_names.hpp"
#include "log/session_keeping.hpp"
#include "session/kept_boots.hpp"

namespace qb7 {

namespace {

constexpr uint64_t kDefaultThresholdUs = 100000;

bool Exists(const std::string& name) {
  struct stat st {};
  return stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// "Term-...-r0.txt", "dir/Term-...-r0" or "Term.txt": the path without
// extension, found where it was named or in the logs' folder.
std::string SessionPath(std::string name, const std::string& logFolder) {
  for (const char* ext : {".txt", ".times", ".raw"}) {
    const std::size_t n = std::strlen(ext);
    if (name.size() > n && name.compare(name.size() - n, n, ext) == 0) {
      name.erase(name.size() - n);
      break;
    }
  }
  if (Exists(name + ".times") || name.empty() || name[0] == '/') return name;
  return logFolder + "/" + name;
}

std::string Shown(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int CompareCommand(const std::string& program, const std::vector<std::string>& args,
                   const std::string& logFolder) {
  std::vector<std::string> names;
  uint64_t threshold = kDefaultThresholdUs;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--threshold" && i + 1 < args.size()) {
      char* end = nullptr;
      errno = 0;
      const double ms = std::strtod(args[i + 1].c_str(), &end);
      if (errno != 0 || *end != '\0' || !std::isfinite(ms) || ms <= 0 || ms > 1e7) {
        std::fprintf(stderr, "%s: --threshold takes milliseconds above 0, not '%s'\n", program.c_str(),
                     args[i + 1].c_str());
        return 2;
      }
      threshold = static_cast<uint64_t>(std::llround(ms * 1000));
      ++i;
    } else if (args[i].rfind("--", 0) == 0) {
      std::fprintf(stderr, "%s: --compare takes [A B] [--threshold MS], not %s\n", program.c_str(),
                   args[i].c_str());
      return 2;
    } else {
      names.push_back(args[i]);
    }
  }
  if (names.size() == 1 || names.size() > 2) {
    std::fprintf(stderr, "%s: --compare takes two sessions, or none for the last two boots of route 0\n",
                 program.c_str());
    return 2;
  }
  std::vector<std::string> paths;
  std::vector<Boot> boots;
  std::string error;
  if (names.empty()) {
    // The newest first: the last session, then the kept ones.
    std::vector<std::string> candidates = {logFolder + "/Term"};
    const std::vector<std::string> kept = KeptSessions(logFolder + "/" + std::string(kLogFileName));
    candidates.insert(candidates.end(), kept.rbegin(), kept.rend());
    for (const std::string& c : candidates) {
      if (RouteOfSession(c) != 0) continue;
      Boot boot;
      std::string skipped;
      if (!ReadSessionBoot(c, boot, skipped)) continue;
      paths.insert(paths.begin(), c);
      boots.insert(boots.begin(), std::move(boot));
      if (boots.size() == 2) break;
    }
    if (boots.size() < 2) {
      std::fprintf(stderr, "%s: fewer than two boots of route 0 are kept in %s\n", program.c_str(),
                   logFolder.c_str());
      return 2;
    }
  } else {
    for (const std::string& name : names) {
      paths.push_back(SessionPath(name, logFolder));
      boots.emplace_back();
      if (!ReadSessionBoot(paths.back(), boots.back(), error)) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
        return 2;
      }
    }
  }
  const BootComparison c = CompareBoots(boots[0], boots[1], threshold);
  const std::string text = ComparisonText(c, Shown(paths[0]), boots[0], Shown(paths[1]), boots[1], threshold);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return c.flagged + c.added + c.missing == 0 ? 0 : 1;
}

}  // namespace qb7
