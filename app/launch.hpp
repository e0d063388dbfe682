// What both mains do, in this order (the locks, program_locks.hpp, come
// first): refuse clearly when the terminal cannot show the program; take
// what is privileged (port access is the hardware main's own step) and then
// give up every privilege; run the program in the terminal over the given
// ports and clock; restore the terminal and return the exit status (or die
// of the signal that ended the program).
#pragma once
#include <string>

#include "board/port_io.hpp"
#include "os/clock.hpp"
#include "process/child_start.hpp"

namespace qb7 {

// The hardware binary's arguments: none, or --help or --version, which are
// answered on stdout (status 0); anything else gets the usage on stderr
// (status 2). Returns the status to end with, or -1 to run.
int AnswerArguments(int argc, char** argv);
// What --version says: "NAME VERSION".
std::string VersionLine(const std::string& program);

// One line on stderr and true when standard input or output is not a
// terminal, or the terminal type cannot address the cursor.
bool RefuseUnusableTerminal(const std::string& program);

// Real-time priority for the calling (program) thread where granted, then
// no capability at all. Call while the process has a single thread.
void SettlePrivileges();

// How the program ended: the exit status, or the signal it is to die of.
struct Ending {
  int status = 0;
  int signal = 0;
};

// Runs the program; the terminal is back as it was when this returns.
Ending RunInTerminal(PortIo& ports, Clock& clock, const ChildPolicy& children);

// Ends the process as the ending says: dies of its signal (so the exit
// status tells it), or returns the status for main to return.
int Leave(const Ending& ending);

}  // namespace qb7
