// Running an external program by name and waiting for it to end.
#pragma once
#include <string>

#include "console/console.hpp"
#include "console/files.hpp"

namespace qb7 {

// Leaves the full screen, runs the command through the shell, waits for it
// and redraws. A program of that name in the program's folder is preferred
// to one on the PATH. Returns the exit status, or -1 when the program could
// not be started (the operator is told on the message line).
int RunProgram(Console& console, const Files& files, const std::string& command);

}  // namespace qb7
