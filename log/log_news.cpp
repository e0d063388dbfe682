#include "log/log_news.hpp"

#include <cstring>
#include <string_view>

#include "log/log_names.hpp"

namespace qb7 {

namespace {
constexpr std::string_view kNotWritten = "Log not written: ";
constexpr std::string_view kNotRegular = " is not a regular file";
constexpr std::string_view kRemoved = "Log removed; a new one is written: ";
constexpr std::string_view kTooSlow = "Log too slow: ";
constexpr std::string_view kResumed = "Log written again: ";
constexpr std::string_view kNotRotated = "Old log kept, this session not logged: ";

// "Term.txt", "Term.times", or both when both have the news.
std::string Names(bool log, bool times) {
  if (log && times) return std::string(kLogFileName) + " and " + std::string(kTimesFileName);
  return std::string(log ? kLogFileName : kTimesFileName);
}
}  // namespace

void FileNews::Merge(const FileNews& later) {
  if (later.failure != 0) {
    failure = later.failure;
    resumed = false;
  }
  if (later.resumed) {
    resumed = true;
    missing += later.missing;
  }
  notRegular = notRegular || later.notRegular;
  removed = removed || later.removed;
}

void LogNews::Merge(const LogNews& later) {
  log.Merge(later.log);
  times.Merge(later.times);
  raw.Merge(later.raw);
  keptRemoved.insert(keptRemoved.end(), later.keptRemoved.begin(), later.keptRemoved.end());
  if (later.keepMB != 0) keepMB = later.keepMB;
  dropped += later.dropped;
  marksDropped += later.marksDropped;
  rawDropped += later.rawDropped;
  if (later.rotationFailure != 0) {
    rotationFailure = later.rotationFailure;
    rotationFile = later.rotationFile;
  }
}

std::vector<std::string> LogNewsLines(const LogNews& news) {
  std::vector<std::string> lines;
  const FileNews& log = news.log;
  const FileNews& times = news.times;
  if (news.rotationFailure != 0)
    lines.push_back(std::string(kNotRotated) + news.rotationFile + " (" +
                    std::strerror(news.rotationFailure) + ")");
  // A trouble both files share (a full disk, a folder that may not be
  // written) is told once, naming both.
  if (log.notRegular || times.notRegular)
    lines.push_back(std::string(kNotWritten) + Names(log.notRegular, times.notRegular) +
                    std::string(kNotRegular));
  if (log.failure != 0 && log.failure == times.failure) {
    lines.push_back(std::string(kNotWritten) + Names(true, true) + " (" +
                    std::strerror(log.failure) + ")");
  } else {
    if (log.failure != 0)
      lines.push_back(std::string(kNotWritten) + Names(true, false) + " (" +
                      std::strerror(log.failure) + ")");
    if (times.failure != 0)
      lines.push_back(std::string(kNotWritten) + Names(false, true) + " (" +
                      std::strerror(times.failure) + ")");
  }
  if (log.removed || times.removed)
    lines.push_back(std::string(kRemoved) + Names(log.removed, times.removed));
  if (news.dropped != 0)
    lines.push_back(std::string(kTooSlow) + std::to_string(news.dropped) + " bytes not in " +
                    std::string(kLogFileName));
  if (news.rawDropped != 0)
    lines.push_back(std::string(kTooSlow) + std::to_string(news.rawDropped) + " bytes not in " +
                    std::string(kRawFileName));
  if (news.marksDropped != 0)
    lines.push_back(std::string(kTooSlow) + std::to_string(news.marksDropped) +
                    " records not in " + std::string(kTimesFileName));
  // The raw file's troubles, told apart: Term.txt may be whole meanwhile.
  const FileNews& raw = news.raw;
  const std::string rawName(kRawFileName);
  if (raw.notRegular) lines.push_back(std::string(kNotWritten) + rawName + std::string(kNotRegular));
  if (raw.failure != 0 && raw.failure != log.failure)
    lines.push_back(std::string(kNotWritten) + rawName + " (" + std::strerror(raw.failure) + ")");
  if (raw.removed) lines.push_back(std::string(kRemoved) + rawName);
  if (raw.resumed)
    lines.push_back(std::string(kResumed) + rawName + " lacks " + std::to_string(raw.missing) + " bytes");
  if (!news.keptRemoved.empty()) {
    // Each one named in Term.times; the screen names the oldest and says
    // how many more.
    std::string line = "Over #KEEP " + std::to_string(news.keepMB) + " MB: kept sessions removed: " +
                       news.keptRemoved.front();
    if (news.keptRemoved.size() > 1)
      line += " and " + std::to_string(news.keptRemoved.size() - 1) + " more";
    lines.push_back(line);
  }
  if (log.resumed || times.resumed) {
    std::string line = std::string(kResumed);
    if (log.resumed) line += std::string(kLogFileName) + " lacks " + std::to_string(log.missing) + " bytes";
    if (log.resumed && times.resumed) line += ", ";
    if (times.resumed)
      line += std::string(kTimesFileName) + " lacks " + std::to_string(times.missing) + " bytes";
    lines.push_back(line);
  }
  return lines;
}

}  // namespace qb7
