// Running an external program by name and waiting for it to end.
#pragma once
#include <string>

#include "process/child_start.hpp"
#include "process/terminal_loan.hpp"

namespace qb7 {

// What became of a program the tool was asked to run.
struct ProgramOutcome {
  enum class Kind {
    Ended,          // it ran; status is its exit status (128 + signal when killed)
    NotFound,       // neither in the folder nor on the PATH
    NotExecutable,  // found in the folder, but not executable (error)
    CouldNotStart,  // no process could be made (error)
  };
  Kind kind = Kind::Ended;
  int status = 0;
  int error = 0;
  // A terminating signal (SIGTERM, SIGHUP) that reached the tool while the
  // program ran; it was passed on to the program, and the tool must end
  // as that signal says.
  int passedSignal = 0;
  // The program as the operator should hear of it: its path in the folder,
  // or its name.
  std::string program;
};

// Runs the command through the shell and waits for it. The first word
// names the program; one of that name in the folder (case ignored) is
// preferred to one on the PATH. The terminal is lent for the run. On a
// terminal of its own the program runs as a job in the foreground, as a
// shell would run it: Ctrl-C and Ctrl-Z are its own, and a stopped program
// is resumed rather than left hanging. SIGTERM or SIGHUP to the tool pass
// to the program (and SIGKILL after 3 s). An empty command returns at once.
ProgramOutcome RunProgram(const std::string& folder, const ChildPolicy& policy,
                          const std::string& command, TerminalLoan& terminal);

}  // namespace qb7
