// Running an external program by name and waiting for it to end.
#pragma once
#include <string>

#include "console/child_start.hpp"
#include "console/console.hpp"
#include "console/files.hpp"

namespace qb7 {

// Hands the terminal to the command, run through the shell, waits for it
// and takes the terminal back. A program of that name in the program's
// folder is preferred to one on the PATH. On a terminal of its own the
// program runs as a job in the foreground, as a shell would run it: Ctrl-C
// and Ctrl-Z are its own, and a stopped program is resumed rather than left
// hanging. SIGTERM or SIGHUP to the tool pass to the program; once it has
// ended, the tool ends too (ProgramExit). Returns the exit status, or -1
// when the program could not be started (the operator is told on the
// message line).
int RunProgram(Console& console, const Files& files, const ChildPolicy& policy,
               const std::string& command);

}  // namespace qb7
