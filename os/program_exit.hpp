// Thrown to end the program: unwinds to main, which restores the terminal,
// closes the files and returns the status (or re-raises the signal).
#pragma once
#include <string>

namespace qb7 {

struct ProgramExit {
  int status = 0;
  int signal = 0;  // nonzero: the program ends because of this signal
};

// Thrown when the program cannot go on (the terminal cannot be set up, the
// memory runs out while the configuration is read): main restores the
// terminal, prints "qb7uart: " and the cause on one line, and ends with
// status 1.
struct ProgramFailure {
  std::string cause;
};

}  // namespace qb7
