#include "log/log_news.hpp"

#include <cstring>

namespace qb7 {

namespace {
constexpr std::string_view kNotWritten = "Log not written: ";
constexpr std::string_view kRemoved = "Log removed; a new one is written: ";
constexpr std::string_view kTooSlow = "Log too slow: ";
constexpr std::string_view kResumed = "Log written again: ";
}  // namespace

void LogNews::Merge(const LogNews& later) {
  if (later.failure != 0) {
    failure = later.failure;
    resumed = false;
  }
  if (later.resumed) {
    resumed = true;
    missing += later.missing;
  }
  removed = removed || later.removed;
  dropped += later.dropped;
}

std::vector<std::string> LogNewsLines(const LogNews& news) {
  std::vector<std::string> lines;
  const std::string log(kLogFileName);
  if (news.failure != 0)
    lines.push_back(std::string(kNotWritten) + log + " (" + std::strerror(news.failure) + ")");
  if (news.removed) lines.push_back(std::string(kRemoved) + log);
  if (news.dropped != 0)
    lines.push_back(std::string(kTooSlow) + std::to_string(news.dropped) + " bytes not in " + log);
  if (news.resumed)
    lines.push_back(std::string(kResumed) + log + " lacks " + std::to_string(news.missing) +
                    " bytes");
  return lines;
}

}  // namespace qb7
