// What the operator must hear of the session log, gathered by whoever owns
// the log's files, and the message lines that tell it: each text in this
// one place.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qb7 {

// The news of one file (Term.txt, or Term.times beside it).
struct FileNews {
  int failure = 0;          // errno of a failure to open or write; 0: none
  bool notRegular = false;  // a link, a pipe, a folder: not opened, not written
  bool resumed = false;     // writes succeed again after a failure
  uint64_t missing = 0;     // with resumed: the bytes the file lacks
  bool removed = false;     // deleted or renamed: a new one was started
  bool Any() const { return failure != 0 || notRegular || resumed || removed; }
  // Adds later news to this: a new failure replaces an earlier resumption.
  void Merge(const FileNews& later);
};

struct LogNews {
  FileNews log;
  FileNews times;
  FileNews raw;
  // Kept sessions the budget took to make room, oldest first, and the budget.
  std::vector<std::string> keptRemoved;
  uint64_t keepMB = 0;
  uint64_t dropped = 0;       // log bytes the writer had no room to keep
  uint64_t rawDropped = 0;    // raw bytes the same
  uint64_t marksDropped = 0;  // records of Term.times it had no room to keep
  // The last session's log could not be moved to make room for this one's:
  // it is kept, and this session is not logged.
  int rotationFailure = 0;
  std::string rotationFile;
  bool Any() const {
    return log.Any() || times.Any() || raw.Any() || dropped != 0 || rawDropped != 0 || marksDropped != 0 ||
           rotationFailure != 0 || !keptRemoved.empty();
  }
  void Merge(const LogNews& later);
};

// The message lines for the news, in the order they are told.
std::vector<std::string> LogNewsLines(const LogNews& news);

}  // namespace qb7
