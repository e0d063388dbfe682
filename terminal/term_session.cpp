#include "terminal/term_session.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "board/board_registers.hpp"
#include "machine/machine.hpp"
#include "macro/macro_player.hpp"
#include "terminal/interpreter.hpp"

namespace qb7 {

namespace {

struct SlotRange {
  std::string_view first;
  std::string_view last;
  int firstSlot;
};

// F1..F10, F11..F12, Shift-F1..Shift-F10, Shift-F11..Shift-F12.
constexpr SlotRange kSlotRanges[] = {
    {keys::KeyF1, keys::KeyF10, 1},
    {keys::KeyF11, keys::KeyF12, 11},
    {keys::KeyShiftF1, keys::KeyShiftF10, 13},
    {keys::KeyShiftF11, keys::KeyShiftF12, 23},
};

// The log, written through the numbered file; tells when it needs a flush.
class LogFile final : public ByteSink {
 public:
  LogFile(Files& files, int number) : files_(files), number_(number) {}
  void Put(uint8_t byte) override {
    files_.WriteByte(number_, byte);
    dirty_ = true;
  }
  void FlushIfWritten() {
    if (!dirty_) return;
    files_.Flush(number_);
    dirty_ = false;
  }
  // Once per session: a log that cannot be created or written is told on
  // the message line, with the system's reason; the session goes on.
  void TellTrouble(Console& console) {
    if (told_) return;
    const int error = files_.Error(number_);
    if (error == 0) return;
    told_ = true;
    console.ErrorMessage(std::string(kLogNotWritten) + std::string(kLogFileName) + " (" +
                         std::strerror(error) + ")");
  }

 private:
  Files& files_;
  int number_;
  bool dirty_ = false;
  bool told_ = false;
};

class Session {
 public:
  Session(Machine& m, int log)
      : m_(m), log_(m.files, log), interpreter_(m.console, m.colours, log_) {
    received_.reserve(board::uart::kRxFifoSize);
  }

  // One look at the receive FIFO: everything waiting goes through the
  // interpreter. Returns how many bytes came.
  int Drain() {
    int count = 0;
    m_.uart.UartRxCount(m_.board.dataPort, m_.uartBase, count);
    if (count > 0) {
      int failed = 0;
      m_.uart.UartRcvStr(m_.board.dataPort, m_.uartBase, count, 1000, received_, 0, failed);
      interpreter_.Feed(received_);
    } else {
      // The line is quiet: what the log holds so far goes to the disk.
      log_.FlushIfWritten();
    }
    log_.TellTrouble(m_.console);
    return count;
  }

  void TellLogTrouble() { log_.TellTrouble(m_.console); }

  void Send(std::string_view bytes) { m_.uart.UartSendSlow(bytes); }

  // Acts on one key; false when the key leaves the session.
  bool OnKey(const KeyCode& key) {
    if (key == "\x1a") {
      Send("\x03");
    } else if (key == keys::KeyLeft) {
      Send("\x1b[D");
    } else if (key == keys::KeyRight) {
      Send("\x1b[C");
    } else if (key == keys::KeyUp) {
      Send("\x1b[A");
    } else if (key == keys::KeyDown) {
      Send("\x1b[B");
    } else if (key == keys::KeyDel) {
      Send("\x7f");
    } else if (key == keys::KeyShiftF1) {
      m_.console.ClearScreen();
      for (int i = 1; i <= m_.store.HelpCount(); ++i) m_.console.WriteText(m_.store.HelpLine(i), true);
      m_.console.WriteEmptyLine();
    } else if (key == keys::KeyShiftF2) {
      return false;
    } else if (int slot = MacroSlotForKey(key); slot != 0) {
      MacroPlay(m_, slot);
    } else {
      Send(key);
    }
    return true;
  }

 private:
  Machine& m_;
  LogFile log_;
  Interpreter interpreter_;
  std::string received_;
};

// Clears the background drain however the session ends.
struct BackgroundTaskGuard {
  Console& console;
  ~BackgroundTaskGuard() { console.ClearBackgroundTask(); }
};

}  // namespace

int MacroSlotForKey(std::string_view key) {
  for (const SlotRange& r : kSlotRanges) {
    // Byte strings compare as unsigned bytes, a prefix first.
    if (key >= r.first && key <= r.last)
      return static_cast<uint8_t>(key[1]) - static_cast<uint8_t>(r.first[1]) + r.firstSlot;
  }
  return 0;
}

PollTiming PollTimingFor(int baud) {
  constexpr uint64_t kLongest = 30000;
  if (baud <= 0) return {kLongest, kLongest};
  const uint64_t fillUs = board::uart::FifoFillUs(baud);
  const uint64_t idle = std::clamp<uint64_t>(fillUs / 2, 100, kLongest);
  // While bytes flow, three quarters of the fill time stay in hand against
  // a wake-up that comes late: this machine's come several ms late at times.
  return {idle, std::clamp<uint64_t>(fillUs / 4, 100, idle)};
}

void TermSession(Machine& m, const std::string& title, int baud) {
  Console& console = m.console;
  m.uart.UartInit(board::uart::kClockHz, baud, m.board.dataPort, m.uartBase);
  console.WriteText(title + std::string(kStatusText) + std::to_string(baud), true);
  console.WriteEmptyLine();
  console.WriteEmptyLine();

  const int log = m.files.FreeFileNumber();
  m.files.OpenForOutput(std::string(kLogFileName), log);

  Session session(m, log);
  session.TellLogTrouble();
  const PollTiming timing = PollTimingFor(baud);
  // The looks at the FIFO run on their own time, in this loop and during
  // every pause the session takes (macro waits, the pacing of sent bytes),
  // so none is lost while keys are busy.
  console.SetBackgroundTask([&session, timing] {
    return session.Drain() > 0 ? timing.busyUs : timing.idleUs;
  });
  BackgroundTaskGuard guard{console};

  // Each cycle: the pause up to the next look, the look, then a key.
  console.AwaitBackgroundTask();
  for (;;) {
    console.AwaitBackgroundTask();
    KeyCode key = console.ReadKey();
    if (key.empty()) continue;
    if (!session.OnKey(key)) break;
  }
  console.ClearScreen();
  m.files.CloseFile(log);
  session.TellLogTrouble();  // the last of the log may fail to reach the disk
}

}  // namespace qb7
