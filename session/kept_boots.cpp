#include "session/kept_boots.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "log/log_names.hpp"
#include "log/session_keeping.hpp"
#include "log/times_reading.hpp"
#include "os/whole_file.hpp"

namespace qb7 {

namespace {

// A session's files are read whole up to this; a boot is far smaller.
constexpr std::size_t kMostBytes = 64u << 20;
// Sessions looked into per route at start-up, newest first.
constexpr int kMostLooked = 8;

int ReadUpTo(const std::string& file, std::string& out) {
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) return errno;
  return ReadFileRange(file, 0, static_cast<std::size_t>(std::min<off_t>(st.st_size, kMostBytes)), out);
}

}  // namespace

bool ReadSessionBoot(const std::string& path, Boot& boot, std::string& error) {
  std::string text, times;
  for (auto [file, into] : {std::pair{path + ".txt", &text}, std::pair{path + ".times", &times}}) {
    if (const int e = ReadUpTo(file, *into); e != 0) {
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

int RouteOfSession(const std::string& path) {
  std::string start;
  ReadFileRange(path + ".times", 0, 4096, start);
  constexpr std::string_view kStart = "\tstart: route ";
  const std::size_t at = start.find(kStart);
  if (at == std::string::npos) return -1;
  const char* digits = start.c_str() + at + kStart.size();
  if (*digits < '0' || *digits > '9') return -1;
  return std::atoi(digits);
}

std::array<Boot, Store::kRoutes> ReadLastBoots(const std::string& log) {
  std::array<Boot, Store::kRoutes> boots{};
  std::array<int, Store::kRoutes> looked{};
  // Newest first: the last run's own log, then the kept sessions.
  std::vector<std::string> sessions;
  std::string base = log;
  if (base.size() > 4 && base.compare(base.size() - 4, 4, ".txt") == 0) base.erase(base.size() - 4);
  sessions.push_back(base);
  const std::vector<std::string> kept = KeptSessions(log);
  sessions.insert(sessions.end(), kept.rbegin(), kept.rend());
  std::string ignored;
  for (const std::string& path : sessions) {
    const int route = RouteOfSession(path);
    if (route < 0 || route >= Store::kRoutes) continue;
    const auto r = static_cast<std::size_t>(route);
    if (boots[r].found || looked[r] >= kMostLooked) continue;
    ++looked[r];
    Boot boot;
    if (ReadSessionBoot(path, boot, ignored)) boots[r] = std::move(boot);
  }
  return boots;
}

}  // namespace qb7
