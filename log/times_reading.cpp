#include "log/times_reading.hpp"

#include <cstdlib>

namespace qb7 {

namespace {

// Milliseconds "12.345" as microseconds; none for "-" or anything else.
int64_t Micros(const std::string& ms) {
  if (ms.empty() || ms == "-") return TimesRecord::kNone;
  char* end = nullptr;
  const double v = std::strtod(ms.c_str(), &end);
  if (end == ms.c_str() || !(v >= 0) || v > 9e12) return TimesRecord::kNone;
  return static_cast<int64_t>(v * 1000.0 + 0.5);
}

}  // namespace

std::vector<TimesRecord> ParseTimesRecords(const std::string& text) {
  std::vector<TimesRecord> records;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string::npos) break;
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::size_t from = 0;
    for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
      f.push_back(line.substr(from, tab - from));
    f.push_back(line.substr(from));
    if ((f.size() != 6 && f.size() != 5) || f[0].empty() || f[0].size() > 19 ||
        f[0].find_first_not_of("0123456789") != std::string::npos)
      continue;
    const std::size_t s = f.size() == 6 ? 2 : 1;
    TimesRecord r;
    r.offset = std::strtoull(f[0].c_str(), nullptr, 10);
    r.sessionUs = Micros(f[s]);
    r.resetUs = Micros(f[s + 1]);
    r.what = f.back();
    records.push_back(std::move(r));
  }
  return records;
}

}  // namespace qb7
