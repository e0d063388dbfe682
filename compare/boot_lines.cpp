#include "compare/boot_lines.hpp"

namespace qb7 {

namespace {

bool StartsBoot(const std::string& what) { return what == "reset" || what.rfind("power-on", 0) == 0; }

}  // namespace

Boot BootOfSession(const std::string& text, const std::vector<TimesRecord>& records) {
  Boot boot;
  // The last reset or power-on that lines came after.
  std::size_t from = records.size();
  for (std::size_t i = 0; i < records.size(); ++i)
    if (StartsBoot(records[i].what)) from = i;
  if (from == records.size()) return boot;
  boot.found = true;
  const uint64_t start = records[from].offset;
  // The boot ends where its report was recorded: the line open then (the
  // prompt) is its last.
  uint64_t end = UINT64_MAX;
  for (std::size_t i = from + 1; i < records.size(); ++i)
    if (records[i].what.rfind("boot: ", 0) == 0) {
      end = records[i].offset;
      boot.report = records[i].what;
      break;
    }
  std::size_t next = from + 1;
  uint64_t time = 0;
  std::size_t at = static_cast<std::size_t>(std::min<uint64_t>(start, text.size()));
  // A line under way at the reset belongs to the session before it.
  if (at > 0 && text[at - 1] != '\n') {
    const std::size_t nl = text.find('\n', at);
    at = nl == std::string::npos ? text.size() : nl + 1;
  }
  while (at < text.size() && at < end) {
    std::size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    while (next < records.size() && records[next].offset <= at) {
      const TimesRecord& r = records[next++];
      if (r.what == "line" && r.resetUs != TimesRecord::kNone) time = static_cast<uint64_t>(r.resetUs);
    }
    BootLine line;
    line.offset = at;
    line.us = time;
    for (std::size_t i = at; i < nl; ++i)
      if (text[i] != '\r') line.text.push_back(text[i]);
    boot.lines.push_back(std::move(line));
    at = nl + 1;
  }
  return boot;
}

}  // namespace qb7
