// Thrown to end the program: unwinds to main, which restores the terminal,
// closes the files and returns the status (or re-raises the signal).
#pragma once

namespace qb7 {

struct ProgramExit {
  int status = 0;
  int signal = 0;  // nonzero: the program ends because of this signal
};

}  // namespace qb7
