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
#include "log/times_reading.hpp"
#include "os/whole_file.hpp"

namespace qb7 {

namespace {

// A session's files are read whole up to this; a boot is far smaller.
constexpr std::size_t kMostBytes = 256u << 20;
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

bool ReadBoot(const std::string& path, Boot& boot, std::string& error) {
  std::string text, times;
  for (auto [file, into] : {std::pair{path + ".txt", &text}, std::pair{path + ".times", &times}}) {
    struct stat st {};
    const std::size_t size =
        stat(file.c_str(), &st) == 0 ? static_cast<std::size_t>(std::min<off_t>(st.st_size, kMostBytes)) : 0;
    const int e = ReadFileRange(file, 0, size, *into);
    if (e != 0) {
      error = file + ": " + std::strerror(e);
      return false;
    }
  }
  boot = BootOfSession(text, ParseTimesRecords(times));
  if (!boot.found || boot.lines.empty()) {
    error = path + ": no boot in this session (no reset or power-on with lines after it)";
    return false;
  }
  return true;
}

// The session's route, from its name ("...-r0", "...-r0-2"), or -1.
int RouteOf(const std::string& path) {
  const std::size_t r = path.rfind("-r");
  if (r == std::string::npos) return -1;
  return std::atoi(path.c_str() + r + 2);
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
    std::vector<std::string> candidates;
    const std::string log = logFolder + "/" + std::string(kLogFileName);
    if (Exists(log) && Exists(TimesFileName(log))) {
      std::string start;
      ReadFileRange(TimesFileName(log), 0, 4096, start);
      if (start.find("\tstart: route 0 ") != std::string::npos) candidates.push_back(logFolder + "/Term");
    }
    const std::vector<std::string> kept = KeptSessions(log);
    for (auto it = kept.rbegin(); it != kept.rend(); ++it)
      if (RouteOf(*it) == 0) candidates.push_back(*it);
    for (const std::string& c : candidates) {
      Boot boot;
      std::string skipped;
      if (!ReadBoot(c, boot, skipped)) continue;
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
      if (!ReadBoot(paths.back(), boots.back(), error)) {
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
