// Running an external program by name as a job: found first (the program's
// folder, case ignored, before the PATH), then started through the shell
// and looked at without waiting until it ends. Whoever runs it lends the
// terminal around it; nothing here waits.
#pragma once
#include <signal.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "process/child_start.hpp"

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
  // The command line the shell runs (when found).
  std::string line;
};

// Finds the program the command's first word names; the rest are its
// arguments. kind is Ended when it was found (line is then set).
ProgramOutcome FindProgram(const std::string& folder, const std::string& command);

// One program running as a job. On a terminal of its own it runs in the
// foreground, as a shell would run it: Ctrl-C and Ctrl-Z are its own (the
// tool ignores SIGINT and SIGQUIT meanwhile), and a stopped program is
// resumed rather than left hanging. SIGTERM or SIGHUP to the tool pass to
// the program (and SIGKILL after 3 s).
class ProgramJob {
 public:
  ProgramJob() = default;
  ~ProgramJob();
  ProgramJob(const ProgramJob&) = delete;
  ProgramJob& operator=(const ProgramJob&) = delete;

  // Starts the command line through /bin/sh; false (errno in error) when
  // no process could be made.
  bool Start(const std::string& line, const ChildPolicy& policy, int& error);
  // Looks once, without waiting: true when the program has ended (its
  // status and any signal passed on are then in the outcome).
  bool Ended(uint64_t nowUs, ProgramOutcome& outcome);
  bool Running() const { return pid_ > 0; }

 private:
  // The foreground and the keyboard's signals given back.
  void Finish();

  pid_t pid_ = -1;
  bool ownGroup_ = false;
  int forwarded_ = 0;
  uint64_t killAtUs_ = 0;
  struct sigaction oldInt_ {}, oldQuit_ {};
};

}  // namespace qb7
