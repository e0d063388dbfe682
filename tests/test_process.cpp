// The edges of the process: what a child gives up before exec, and the
// refusal line when the board's ports cannot be had.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "board/hardware_ports.hpp"
#include "process/child_start.hpp"

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

}  // namespace
}  // namespace qb7
