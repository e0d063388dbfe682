// Every session's log kept: before a session's log is opened, the logs of
// the sessions before it move one place down (Term.txt to Term.1.txt,
// Term.1.txt to Term.2.txt, ... up to Term.9.txt; the oldest goes), each
// with its times file. Nothing is emptied: a move that fails stops the
// rotation there, with every file still under a name of its own, and the
// caller must then leave the log alone.
#pragma once
#include <string>

namespace qb7 {

struct Rotation {
  bool rotated = false;  // the last session's log is now the first earlier one
  int error = 0;         // errno of the move that failed; 0: none
  std::string file;      // the file that could not be moved
  bool notRegular = false;  // the log is not a regular file: left alone
  bool Failed() const { return error != 0 || notRegular; }
};

// Rotates when the log or its times file holds anything; an empty or
// missing pair is simply written again.
Rotation RotateLogs(const std::string& log, const std::string& times, int keep);

}  // namespace qb7
