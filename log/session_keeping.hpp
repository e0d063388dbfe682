// Every session kept: before a session's log is opened, the last one's
// files (Term.txt, Term.times, Term.raw) take a name of their own that
// sorts by time and says what it was, Term-20261209-205844-r0.txt (its
// start's date and time, and its route), with its .times and .raw. A
// session that received nothing and logged no event worth keeping is
// not kept: its files are removed. The kept sessions live within a budget
// of bytes: when they hold more, the oldest go, each named for the
// operator. Nothing else is ever deleted (the Term.1..9 files of earlier
// versions are left as they are); a move that fails leaves every file
// under a name of its own, and the caller must then leave the log alone.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qb7 {

struct Keeping {
  std::string keptAs;  // the name the last session now has, without extension ("": none)
  bool dropped = false;  // the last session received nothing: its files removed
  std::vector<std::string> removed;  // kept sessions the budget took, oldest first
  int error = 0;       // errno of the move that failed; 0: none
  std::string file;    // the file that could not be moved
  bool notRegular = false;  // the log is not a regular file: left alone
  bool Failed() const { return error != 0 || notRegular; }
};

// Keeps the last session's files under their own name (or drops them),
// then takes the oldest kept sessions away until the rest fit the budget
// (the newest is never taken).
Keeping KeepLastSession(const std::string& log, uint64_t budgetBytes);

// The kept sessions of the folder the log stands in, oldest first: each as
// its path without extension ("dir/Term-20261209-205844-r0").
std::vector<std::string> KeptSessions(const std::string& log);

// The name a session is kept under, from its times file's first record:
// "Term-20261209-205844-r0"; from the fallback date (seconds since 1970)
// when the file tells nothing. Pure but for the clock's time zone.
std::string KeptName(const std::string& timesStart, int64_t fallbackSeconds);
// The name a session that started at this wall time (microseconds since
// 1970) on this route is kept under, when no other started in its second.
std::string KeptNameAt(uint64_t startWallUs, int route);

}  // namespace qb7
