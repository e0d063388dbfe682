// The whole program on a virtual clock: headless console, simulated board
// behind a recording port, files in a fresh temporary folder.
#pragma once
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/config_report.hpp"
#include "app/route_menu.hpp"
#include "config/config_loader.hpp"
#include "board/register_selection.hpp"
#include "console/headless_frontend.hpp"
#include "os/program_exit.hpp"
#include "machine/machine.hpp"
#include "session/program_loop.hpp"
#include "sim/simulated_board.hpp"

namespace qb7::test {

// The ports and registers by their names in the register map.
inline constexpr uint16_t kIndex = board::kIndexPort, kData = board::kDataPort,
                          kAux = board::kAuxPort;
namespace reg = board::uart;

// One access to a port; reg is the register a data-port access reached.
struct PortAccess {
  bool write;
  uint16_t port;
  uint8_t value;
  uint64_t atUs = 0;
  int reg = board::RegisterSelection::kNone;
  bool operator==(const PortAccess& o) const {
    return write == o.write && port == o.port && value == o.value;
  }
};

inline PortAccess W(uint16_t port, uint8_t value) { return {true, port, value}; }
inline PortAccess R(uint16_t port, uint8_t value) { return {false, port, value}; }

// Logs every access and passes it on to the board behind it (or, with no
// board, answers reads from readScript, told which register is read). The
// log is kept per register too, as a register map's test backend keeps it.
class RecordingPorts final : public PortIo {
 public:
  RecordingPorts(PortIo* inner, Clock& clock) : inner_(inner), clock_(clock) {}
  void Write(uint16_t port, uint8_t value) override {
    if (inner_)
      inner_->Write(port, value);
    else
      clock_.Charge(1);
    Note(true, port, value);
  }
  uint8_t Read(uint16_t port) override {
    uint8_t v;
    if (inner_) {
      v = inner_->Read(port);
    } else {
      clock_.Charge(1);
      const int reg = port == kData ? selection_.Selected() : board::RegisterSelection::kNone;
      v = readScript ? readScript(reg) : 0;
    }
    Note(false, port, v);
    return v;
  }
  std::vector<PortAccess> Writes() const {
    std::vector<PortAccess> w;
    for (auto& a : log)
      if (a.write) w.push_back(a);
    return w;
  }
  // The accesses that reached a register, in order.
  std::vector<PortAccess> Register(int reg) const {
    std::vector<PortAccess> r;
    for (auto& a : log)
      if (a.reg == reg) r.push_back(a);
    return r;
  }
  // The values written to a register, in order, and the number of reads.
  std::string Written(int reg) const {
    std::string out;
    for (auto& a : Register(reg))
      if (a.write) out.push_back(static_cast<char>(a.value));
    return out;
  }
  int Reads(int reg) const {
    int n = 0;
    for (auto& a : Register(reg)) n += a.write ? 0 : 1;
    return n;
  }
  // The bytes written to the UART's transmit register, in order.
  std::string Transmitted() const { return Written(board::kUartBase + reg::kTx); }

  std::function<uint8_t(int reg)> readScript;
  std::vector<PortAccess> log;

 private:
  void Note(bool write, uint16_t port, uint8_t value) {
    const int reg = selection_.Follow(write, port, value);
    log.push_back({write, port, value, clock_.NowUs(), reg});
  }

  PortIo* inner_;
  Clock& clock_;
  board::RegisterSelection selection_;
};

// The tests' log writer, which also tells the largest stretch handed to it
// at once: the work of one look.
class MeasuredLog final : public LogWriter {
 public:
  void Open(const std::string& name, uint64_t keepBytes) override { inner_.Open(name, keepBytes); }
  void Append(std::string_view bytes) override {
    largestAppend = std::max(largestAppend, bytes.size());
    inner_.Append(bytes);
  }
  void AppendRaw(std::string_view bytes) override { inner_.AppendRaw(bytes); }
  void Mark(const TimeMark& mark) override { inner_.Mark(mark); }
  void Close() override { inner_.Close(); }
  LogNews TakeNews() override { return inner_.TakeNews(); }
  uint64_t Finish(int waitMs) override { return inner_.Finish(waitMs); }
  std::size_t largestAppend = 0;

 private:
  InlineLogWriter inner_;
};

class TempFolder {
 public:
  TempFolder() {
    char tmpl[] = "/tmp/qb7test.XXXXXX";
    path_ = mkdtemp(tmpl);
    saved_ = std::filesystem::current_path();
  }
  ~TempFolder() {
    std::filesystem::current_path(saved_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(path_ + "/" + name, std::ios::binary) << content;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(path_ + "/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  bool Exists(const std::string& name) const {
    return std::filesystem::exists(path_ + "/" + name);
  }

 private:
  std::string path_;
  std::filesystem::path saved_;
};

// A machine on a virtual clock. With a board the ports reach the simulated
// QB7 board; without, reads come from readScript.
struct Bench {
  explicit Bench(bool withBoard = true, int lineBaud = 115200, sim::BootPlan boots = {})
      : folder(),
        board(withBoard ? std::make_unique<sim::SimulatedBoard>(clock, lineBaud, boots) : nullptr),
        ports(board.get(), clock),
        console(frontend, clock),
        files(folder.path()),
        machine(console, files, ports, log) {}

  // Records the text of every message line shown (row 24, white on light
  // red), in order; with answer set, each is answered with a key at once.
  void RecordMessages(bool answer = false) {
    answerMessages_ = answer;
    if (recording_) return;
    recording_ = true;
    frontend.OnPresent([this](const Frame& f) {
      const Screen& s = f.screen;
      if (s.At(24, 2).bg != 12 || s.At(24, 2).fg != 15) return;
      // Each message line counts once, however many frames show it (the
      // counts beside the status line go on while it waits).
      if (f.alerts == messagesSeen_) return;
      messagesSeen_ = f.alerts;
      std::string text = s.RowText(24).substr(2, 77);
      text.erase(text.find_last_not_of(' ') + 1);
      messages.push_back(text);
      if (answerMessages_) frontend.AddKey("x");
    });
  }
  std::vector<std::string> messages;
  // A configuration written with mistakes on purpose (to see what a macro
  // makes of them) is listed at start-up: the list is answered at once,
  // before any other key, and its message line is left out of messages.
  void AnswerStartUpList() {
    Files scratchFiles(folder.path());
    Store scratch;
    std::vector<ConfigFinding> findings;
    LoadConfiguration(scratchFiles, scratch, &findings, folder.path() + "/Qb7_Uart.cfg");
    if (findings.empty()) return;
    frontend.AddKey("x");
    startUpList_ = ConfigFindingsMessage(findings.size());
  }
  std::string startUpList_;
  bool recording_ = false;
  bool answerMessages_ = false;
  uint64_t messagesSeen_ = 0;

  // Runs start-up and the menu until the program ends; returns its status.
  int Run() {
    int status = -1;
    try {
      RunQb7Uart(machine);
    } catch (const ProgramExit& e) {
      files.CloseAll();
      log.Finish(0);
      status = e.status;
    }
    if (!startUpList_.empty()) {
      auto listed = std::find(messages.begin(), messages.end(), startUpList_);
      EXPECT_NE(listed, messages.end()) << "the configuration's problems were not listed";
      if (listed != messages.end()) messages.erase(listed);
    }
    return status;
  }

  // The program thread's loop over this machine with a mode that does
  // nothing, for the tests of one part (the outbox, the message line):
  // turns until done() holds, or fails after a day of clock time.
  struct IdleMode final : Mode {
    void Step() override {}
    uint64_t NextStepUs() const override { return UINT64_MAX; }
  };
  ProgramLoop& loop() {
    if (!loop_) loop_ = std::make_unique<ProgramLoop>(machine);
    return *loop_;
  }
  template <class Done>
  bool TurnUntil(Done done) {
    IdleMode idle;
    const uint64_t limit = clock.NowUs() + 86400ull * 1000000;
    for (;;) {
      loop().Turn(idle);
      if (done()) return true;
      if (clock.NowUs() > limit) return false;
      loop().SleepUntilDue(idle);
    }
  }
  // Turns until the outbox has sent everything and no message line waits.
  bool Settle() {
    return TurnUntil([this] { return !loop().outbox.Busy() && !loop().messages.Holding(); });
  }

  std::string Row(int r) const { return console.screen().RowText(r); }
  // A row without its trailing spaces.
  std::string Text(int r) const {
    std::string s = Row(r);
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
  }

  TempFolder folder;
  VirtualClock clock;
  HeadlessFrontend frontend;
  std::unique_ptr<sim::SimulatedBoard> board;
  RecordingPorts ports;
  Console console;
  Files files;
  MeasuredLog log;
  Machine machine;
  std::unique_ptr<ProgramLoop> loop_;
};

}  // namespace qb7::test
