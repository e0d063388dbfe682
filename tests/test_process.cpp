// The edges of the process: what a child gives up before exec, the
// external program found and run as a job, helper threads, the locks, and
// the refusal line when the board's ports cannot be had.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "board/hardware_ports.hpp"
#include "harness.hpp"
#include "process/exclusive_lock.hpp"
#include "process/child_start.hpp"
#include "process/external_program.hpp"
#include "app/program_locks.hpp"
#include "os/helper_thread.hpp"

namespace qb7 {
namespace {

class RecordingChildCalls final : public ChildCalls {
 public:
  void RevokePorts(const IoRange& r) override {
    calls.push_back("revoke " + std::to_string(r.from) + "+" + std::to_string(r.count));
  }
  void NormalScheduling() override { calls.push_back("normal scheduling"); }
  void DefaultSignal(int signal) override { defaults.push_back(signal); }
  void UnblockSignals() override { calls.push_back("unblock"); }
  std::vector<std::string> calls;
  std::vector<int> defaults;
};

TEST(ChildStart, GivesUpThePortsAndRealTimeAndResetsSignalsBeforeExec) {
  RecordingChildCalls calls;
  PrepareChild(ChildPolicy{{{0x352, 2}, {0x2A4, 1}}}, calls);
  EXPECT_EQ(calls.calls, (std::vector<std::string>{"revoke 850+2", "revoke 676+1",
                                                   "normal scheduling", "unblock"}));
  // Those the tool ignores or handles itself start at their defaults.
  for (int sig : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP})
    EXPECT_NE(std::find(calls.defaults.begin(), calls.defaults.end(), sig), calls.defaults.end())
        << sig;
}

// A helper thread starts at normal scheduling on every path, the path
// that tries again with the default stack among them (a stack too large to
// be had makes the first try fail), whatever the program thread runs at.
TEST(HelperThread, StartsAtNormalSchedulingEvenWhenItsStackCannotBeHad) {
  sched_param fifo{};
  fifo.sched_priority = 1;
  int oldPolicy = 0;
  sched_param oldParam{};
  pthread_getschedparam(pthread_self(), &oldPolicy, &oldParam);
  if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &fifo) != 0)
    GTEST_SKIP() << "no real-time priority to be had here";
  struct Seen {
    int policy = -1;
  } seen;
  const auto body = [](void* arg) -> void* {
    sched_param p{};
    pthread_getschedparam(pthread_self(), &static_cast<Seen*>(arg)->policy, &p);
    return nullptr;
  };
  for (std::size_t stack : {std::size_t{256 * 1024}, std::size_t{1} << 46}) {
    pthread_t thread;
    seen.policy = -1;
    ASSERT_EQ(StartHelperThread(thread, body, &seen, stack, "qb7-test"), 0) << stack;
    pthread_join(thread, nullptr);
    EXPECT_EQ(seen.policy, SCHED_OTHER) << "a stack of " << stack;
  }
  pthread_setschedparam(pthread_self(), oldPolicy, &oldParam);
}

TEST(PortRefusal, NamesTheRemedyThatCanHelp) {
  // An ordinary user: a privilege is what is missing.
  const std::string user = PortRefusal(EPERM, EACCES, false, "/opt/qb7/qb7uart");
  EXPECT_NE(user.find("0x352-0x353 and 0x2A4"), std::string::npos);
  EXPECT_NE(user.find("setcap cap_sys_rawio,cap_sys_nice+ep /opt/qb7/qb7uart"), std::string::npos);
  // Root on a kernel with neither way in: another kernel, not "run as root".
  const std::string kernel = PortRefusal(ENOSYS, ENOENT, true, "/opt/qb7/qb7uart");
  EXPECT_EQ(kernel.find("root"), std::string::npos) << kernel;
  EXPECT_NE(kernel.find("CONFIG_X86_IOPL_IOPERM"), std::string::npos);
  EXPECT_NE(kernel.find("CONFIG_DEVPORT"), std::string::npos);
  // Privileged and still refused: the kernel's lockdown.
  EXPECT_NE(PortRefusal(EPERM, EPERM, true, "x").find("lockdown"), std::string::npos);
}

// One copy at a time: a second is refused, naming the process that holds
// the lock; the kernel lets go of it when that process is killed.
TEST(ExclusiveLock, ASecondCopyIsRefusedNamingTheFirstUntilItIsKilled) {
  test::TempFolder t;
  const std::string path = t.path() + "/board.lock";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t first = fork();
  if (first == 0) {
    std::string holder;
    int error = 0;
    auto lock = ExclusiveLock::Take(path, holder, error);
    (void)!write(ready[1], lock ? "y" : "n", 1);
    pause();
    _exit(0);
  }
  char taken = 0;
  ASSERT_EQ(read(ready[0], &taken, 1), 1);
  ASSERT_EQ(taken, 'y');
  std::string holder;
  int error = 0;
  EXPECT_EQ(ExclusiveLock::Take(path, holder, error), nullptr);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(holder.substr(0, holder.find(' ', 8)), "process " + std::to_string(first));
  EXPECT_NE(holder.find("(qb7_tests on "), std::string::npos) << holder;
  kill(first, SIGKILL);
  waitpid(first, nullptr, 0);
  auto lock = ExclusiveLock::Take(path, holder, error);
  EXPECT_NE(lock, nullptr) << holder;
  close(ready[0]);
  close(ready[1]);
}

// Runs a job to its end, looking as the loop does.
ProgramOutcome RunToEnd(const std::string& folder, const std::string& command) {
  ProgramOutcome run = FindProgram(folder, command);
  if (run.kind != ProgramOutcome::Kind::Ended) return run;
  ProgramJob job;
  int error = 0;
  EXPECT_TRUE(job.Start(run.line, ChildPolicy{}, error));
  uint64_t now = 0;
  while (!job.Ended(now, run)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    now += 5000;
  }
  EXPECT_FALSE(job.Running());
  return run;
}

TEST(ExternalProgram, PrefersTheProgramFolderAndEndsWithItsStatus) {
  test::TempFolder t;
  t.Write("gp.exe", "#!/bin/sh\necho ran > \"$(dirname \"$0\")/ran.txt\"\nexit 3\n");
  chmod((t.path() + "/gp.exe").c_str(), 0755);
  const ProgramOutcome run = RunToEnd(t.path(), "GP.EXE");
  EXPECT_EQ(run.kind, ProgramOutcome::Kind::Ended);
  EXPECT_EQ(run.program, t.path() + "/gp.exe");
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.passedSignal, 0);
  EXPECT_EQ(t.Read("ran.txt"), "ran\n");
}

TEST(ExternalProgram, AMissingOrUnrunnableProgramIsFoundOutBeforeAnythingRuns) {
  test::TempFolder t;
  const ProgramOutcome missing = FindProgram(t.path(), "GP.EXE");
  EXPECT_EQ(missing.kind, ProgramOutcome::Kind::NotFound);
  EXPECT_EQ(missing.program, "GP.EXE");
  t.Write("GP.EXE", "#!/bin/sh\n");
  chmod((t.path() + "/GP.EXE").c_str(), 0644);
  const ProgramOutcome unrunnable = FindProgram(t.path(), "GP.EXE");
  EXPECT_EQ(unrunnable.kind, ProgramOutcome::Kind::NotExecutable);
  EXPECT_EQ(unrunnable.program, t.path() + "/GP.EXE");
  EXPECT_EQ(unrunnable.error, EACCES);
  // One on the PATH runs by its name, with its arguments.
  const ProgramOutcome onPath = FindProgram(t.path(), "true --x");
  EXPECT_EQ(onPath.kind, ProgramOutcome::Kind::Ended);
  EXPECT_EQ(onPath.line, "true --x");
}

}  // namespace
}  // namespace qb7

namespace qb7 {
namespace {

// A member whose umask keeps everything from the group still leaves logs
// the next member can read and write, in a folder the group shares.
TEST(SharedFolder, FilesMadeThereAreTheGroupsToReadAndWriteWhateverTheUmask) {
  test::TempFolder t;
  chmod(t.path().c_str(), 02770);
  const mode_t saved = umask(077);
  ShareFilesWithGroup(t.path());
  t.Write("Term.txt", "x");
  struct stat st {};
  ASSERT_EQ(stat((t.path() + "/Term.txt").c_str(), &st), 0);
  umask(saved);
  EXPECT_EQ(st.st_mode & 0060, 0060u) << std::oct << (st.st_mode & 0777);
  // Elsewhere the umask stands.
  test::TempFolder other;
  chmod(other.path().c_str(), 0700);
  umask(077);
  ShareFilesWithGroup(other.path());
  other.Write("Term.txt", "x");
  ASSERT_EQ(stat((other.path() + "/Term.txt").c_str(), &st), 0);
  umask(saved);
  EXPECT_EQ(st.st_mode & 0077, 0u);
}

}  // namespace
}  // namespace qb7
