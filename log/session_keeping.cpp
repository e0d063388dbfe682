#include "log/session_keeping.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <map>

#include "log/log_names.hpp"
#include "os/whole_file.hpp"

namespace qb7 {

namespace {

enum class Found { Missing, Empty, Holds, NotRegular, Unknown };

struct Look {
  Found found = Found::Missing;
  uint64_t size = 0;
  int64_t mtime = 0;
  int error = 0;
};

// What stands under the name, without following a link.
Look LookAt(const std::string& name) {
  Look look;
  struct stat st {};
  if (lstat(name.c_str(), &st) != 0) {
    look.error = errno;
    look.found = errno == ENOENT ? Found::Missing : Found::Unknown;
    return look;
  }
  if (!S_ISREG(st.st_mode)) {
    look.found = Found::NotRegular;
    return look;
  }
  look.size = static_cast<uint64_t>(st.st_size);
  look.mtime = static_cast<int64_t>(st.st_mtime);
  look.found = st.st_size == 0 ? Found::Empty : Found::Holds;
  return look;
}

// Up to most bytes of the start of a regular file, never through a link
// or a pipe.
std::string ReadStart(const std::string& name, std::size_t most) {
  std::string text;
  ReadFileRange(name, 0, most, text);
  return text;
}

// "20261209-205844": the second, in local time as the start records say it.
std::string LocalSecond(int64_t secondsSince1970) {
  const time_t seconds = static_cast<time_t>(secondsSince1970);
  tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

// The record's event: its last field.
std::string_view What(std::string_view record) {
  const std::size_t tab = record.rfind('\t');
  return tab == std::string_view::npos ? record : record.substr(tab + 1);
}

// Whether the times of a session that received nothing tell anything
// worth keeping: a message (a board that did not answer), a receive error,
// GP.EXE, a speed changed; not its start, a reset, its leaving, or what
// the keeping of the sessions before it did.
bool EventsWorthKeeping(std::string_view times) {
  std::size_t at = 0;
  while (at < times.size()) {
    std::size_t end = times.find('\n', at);
    if (end == std::string_view::npos) end = times.size();
    const std::string_view record = times.substr(at, end - at);
    at = end + 1;
    if (record.empty() || record.front() == '#') continue;
    const std::string_view what = What(record);
    if (what == "line" || what == "reset" || what.rfind("start:", 0) == 0 ||
        what.rfind("session left", 0) == 0 || what.rfind("the session before kept as ", 0) == 0 ||
        what.rfind("kept session removed", 0) == 0)
      continue;
    return true;
  }
  return false;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// "Term-YYYYMMDD-HHMMSS" and what follows, up to the extension: a kept
// session's file. The saved history's Term-history-.. is none.
bool IsKeptFile(const std::string& name, std::string& stem) {
  static constexpr std::string_view kExtensions[] = {".txt", ".times", ".raw"};
  if (name.size() < 20 || name.compare(0, 5, "Term-") != 0 || name[13] != '-') return false;
  for (std::size_t i = 5; i < 20; ++i)
    if (i != 13 && (name[i] < '0' || name[i] > '9')) return false;
  for (std::string_view ext : kExtensions) {
    if (name.size() > ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0) {
      stem = name.substr(0, name.size() - ext.size());
      return true;
    }
  }
  return false;
}

struct KeptGroup {
  std::vector<std::string> files;
  uint64_t bytes = 0;
};

// The kept sessions of a folder, by name (which sorts by time).
std::map<std::string, KeptGroup> ListKept(const std::string& folder) {
  std::map<std::string, KeptGroup> groups;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return groups;
  while (const dirent* entry = readdir(dir)) {
    std::string stem;
    const std::string name = entry->d_name;
    if (!IsKeptFile(name, stem)) continue;
    const Look look = LookAt(folder + name);
    if (look.found != Found::Empty && look.found != Found::Holds) continue;
    KeptGroup& group = groups[stem];
    group.files.push_back(folder + name);
    group.bytes += look.size;
  }
  closedir(dir);
  return groups;
}

}  // namespace

std::string KeptName(const std::string& timesStart, int64_t fallbackSeconds) {
  // The first record that starts a session: "...\t2026-12-09T20:58:44.123+00:00\tstart: route 0 ..."
  std::string date;
  std::string route;
  std::size_t at = 0;
  while (at < timesStart.size()) {
    std::size_t end = timesStart.find('\n', at);
    if (end == std::string::npos) break;  // a record cut short tells nothing
    const std::string record = timesStart.substr(at, end - at);
    at = end + 1;
    const std::string_view what = What(record);
    if (what.rfind("start: route ", 0) != 0) continue;
    const std::size_t whatAt = record.rfind('\t');
    const std::size_t dateAt = record.rfind('\t', whatAt - 1);
    if (dateAt == std::string::npos) continue;
    const std::string d = record.substr(dateAt + 1, whatAt - dateAt - 1);
    // 2026-12-09T20:58:44: the digits of the date and of the time.
    if (d.size() < 19 || d[4] != '-' || d[10] != 'T') continue;
    date = d.substr(0, 4) + d.substr(5, 2) + d.substr(8, 2) + "-" + d.substr(11, 2) + d.substr(14, 2) +
           d.substr(17, 2);
    if (date.find_first_not_of("0123456789-") != std::string::npos) {
      date.clear();
      continue;
    }
    std::string_view number = what.substr(13);
    route = std::string(number.substr(0, number.find(' ')));
    if (route.empty() || route.find_first_not_of("-0123456789") != std::string::npos) route = "x";
    break;
  }
  if (date.empty()) return "Term-" + LocalSecond(fallbackSeconds) + "-rx";
  return "Term-" + date + "-r" + route;
}

std::string KeptNameAt(uint64_t startWallUs, int route) {
  return "Term-" + LocalSecond(static_cast<int64_t>(startWallUs / 1000000)) + "-r" + std::to_string(route);
}

std::vector<std::string> KeptSessions(const std::string& log) {
  std::vector<std::string> stems;
  const std::string folder = FolderOf(log);
  for (const auto& [stem, group] : ListKept(folder)) stems.push_back(folder + stem);
  return stems;
}

Keeping KeepLastSession(const std::string& log, uint64_t budgetBytes) {
  Keeping k;
  const std::string times = TimesFileName(log);
  const std::string raw = RawFileName(log);
  const Look logLook = LookAt(log);
  if (logLook.found == Found::NotRegular) {
    k.notRegular = true;
    k.file = log;
    return k;
  }
  if (logLook.found == Found::Unknown) {
    k.error = logLook.error;
    k.file = log;
    return k;
  }
  const Look timesLook = LookAt(times);
  const Look rawLook = LookAt(raw);
  // A times or raw file that is something else (a folder, a link) is left
  // where it is, and with it the session: nothing is moved.
  for (const auto& [name, look] : {std::pair{times, timesLook}, std::pair{raw, rawLook}}) {
    if (look.found == Found::NotRegular || look.found == Found::Unknown) {
      struct stat st {};
      k.error = look.found == Found::Unknown ? look.error
                : lstat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? EISDIR
                                                                       : EINVAL;
      k.file = name;
      return k;
    }
  }
  const bool received = logLook.found == Found::Holds || rawLook.found == Found::Holds;
  // Only a session that received nothing has its times read whole: they are short.
  if (!received && timesLook.found == Found::Holds &&
      !EventsWorthKeeping(ReadStart(times, 1u << 20))) {
    for (const std::string& file : {log, times, raw})
      if (LookAt(file).found == Found::Empty || LookAt(file).found == Found::Holds) unlink(file.c_str());
    k.dropped = true;
  } else if (received || timesLook.found == Found::Holds) {
    const std::string folder = FolderOf(log);
    const std::string base = KeptName(ReadStart(times, 16 * 1024),
                                      std::max({logLook.mtime, timesLook.mtime, rawLook.mtime}));
    // Two sessions started in one second: the later is -2, -3, ..
    std::string name = base;
    for (int n = 2; LookAt(folder + name + ".txt").found != Found::Missing ||
                    LookAt(folder + name + ".times").found != Found::Missing ||
                    LookAt(folder + name + ".raw").found != Found::Missing;
         ++n)
      name = base + "-" + std::to_string(n);
    const std::pair<std::string, std::string> moves[] = {
        {log, folder + name + ".txt"}, {times, folder + name + ".times"}, {raw, folder + name + ".raw"}};
    for (const auto& [from, to] : moves) {
      if (LookAt(from).found == Found::Missing) continue;
      // The name was free when looked at, and the folder's lock keeps
      // every other copy of the program out of it meanwhile.
      if (rename(from.c_str(), to.c_str()) != 0) {
        k.error = errno;
        k.file = from;
        return k;
      }
    }
    k.keptAs = name;
  }
  // The budget: the oldest go until the rest fit; the newest stays.
  std::map<std::string, KeptGroup> kept = ListKept(FolderOf(log));
  uint64_t total = 0;
  for (const auto& [stem, group] : kept) total += group.bytes;
  for (auto it = kept.begin(); total > budgetBytes && std::next(it) != kept.end(); ++it) {
    for (const std::string& file : it->second.files) unlink(file.c_str());
    total -= it->second.bytes;
    k.removed.push_back(it->first);
  }
  return k;
}

}  // namespace qb7
