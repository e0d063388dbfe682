#include "session/term_session.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include "board/board_registers.hpp"
#include "log/log_news.hpp"
#include "machine/machine.hpp"
#include "macro/macro_player.hpp"
#include "queue/byte_queue.hpp"
#include "session/interpreter.hpp"

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

// What the line brings while a message line waits is held, in order, up to
// this many bytes: minutes of the fastest line (921600 baud brings 92 KB a
// second).
constexpr std::size_t kHeldBytes = 64u * 1024 * 1024;
// The most a look interprets: well under a tenth of a millisecond's work
// (the interpreter takes 50 MB a second and more), against the 1.4 ms the
// FIFO lasts at 921600; a backlog still goes a hundred times faster than
// any line brings more.
constexpr std::size_t kSliceBytes = 4096;

// The log's bytes of one stretch of received text, gathered while the
// interpreter runs and handed to the log's writer at once.
class LogBatch final : public ByteSink {
 public:
  LogBatch() { bytes_.reserve(board::uart::kRxFifoSize * 4); }
  void Put(uint8_t byte) override { bytes_.push_back(static_cast<char>(byte)); }
  void HandTo(LogWriter& log) {
    if (bytes_.empty()) return;
    log.Append(bytes_);
    bytes_.clear();
  }

 private:
  std::string bytes_;
};

class Session {
 public:
  Session(Machine& m, int baud)
      : m_(m), timing_(PollTimingFor(baud)), held_(kHeldBytes),
        interpreter_(m.console, m.colours, batch_) {
    received_.reserve(board::uart::kRxFifoSize);
  }

  // One look at the receive FIFO, the console's background task: what
  // waits goes, in order, to the held bytes, and its errors are kept to be
  // told. Unless a message line waits for the operator, what is held is then
  // drawn and logged. A look never shows a message itself: it runs inside
  // pauses and message lines. Returns when to look again.
  uint64_t Look() {
    const RegisterPort::Selection before = m_.board.Current();
    int count = 0;
    m_.uart.UartRxCount(m_.board.dataPort, m_.uartBase, count);
    if (count > 0) {
      errors_ |= m_.uart.UartReceive(m_.board.dataPort, m_.uartBase, count, 1000, received_);
      heldLost_ += held_.Append(received_);
    }
    if (m_.console.OperatorWaiting()) {
      // The message may stand between a register's selection and its use
      // (the transmit wait's): that register is selected again.
      m_.board.Restore(before);
    } else {
      // What a message held back is drawn a slice a look, so that the looks
      // keep their time while a backlog of minutes is worked off.
      Interpret(kSliceBytes);
    }
    return count > 0 || !held_.Empty() ? timing_.busyUs : timing_.idleUs;
  }

  // Draws and logs what is held, oldest first, up to about that many bytes.
  void Interpret(std::size_t most = SIZE_MAX) {
    std::size_t done = 0;
    while (!held_.Empty() && done < most) {
      const std::string_view stretch = held_.Front().substr(0, most - done);
      interpreter_.Feed(stretch);
      held_.Pop(stretch.size());
      done += stretch.size();
    }
    batch_.HandTo(m_.log);
  }

  // Tells the operator, on the message line, what went wrong since the last
  // time: the receive errors (each kind once), text that found no room
  // while a message waited, and the log's troubles. Only from the session's
  // own loop, never from a look.
  void TellTroubles() {
    if (errors_.Any()) {
      const RxErrors errors = errors_;
      errors_ = {};
      m_.uart.TellReceiveErrors(errors);
    }
    if (heldLost_ != 0) {
      const uint64_t lost = heldLost_;
      heldLost_ = 0;
      m_.console.ErrorMessage(std::string(kTextLost) + std::to_string(lost) + " bytes");
    }
    TellLogNews();
  }

  void TellLogNews() {
    for (const std::string& line : LogNewsLines(m_.log.TakeNews())) m_.console.ErrorMessage(line);
  }

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
  const PollTiming timing_;
  ByteQueue held_;
  uint64_t heldLost_ = 0;
  RxErrors errors_;
  LogBatch batch_;
  Interpreter interpreter_;
  std::string received_;
};

// For as long as the session runs: its look at the FIFO is the console's
// background task, Shift-F2 at a message line leaves it, and the rows that
// leave the screen are kept in the history.
class SessionGuard {
 public:
  explicit SessionGuard(Console& console) : console_(console) {
    console_.ArmLeaveKey(keys::KeyShiftF2);
    console_.KeepHistory(true);
  }
  ~SessionGuard() {
    console_.ClearBackgroundTask();
    console_.ArmLeaveKey({});
    console_.KeepHistory(false);
  }
  SessionGuard(const SessionGuard&) = delete;
  SessionGuard& operator=(const SessionGuard&) = delete;

 private:
  Console& console_;
};

// The session's log, closed however the session ends: Shift-F2, or the
// program ending in the middle of it (Ctrl-C, Home at a message line, a
// signal).
class SessionLog {
 public:
  explicit SessionLog(LogWriter& log) : log_(log) {}
  ~SessionLog() { Close(); }
  SessionLog(const SessionLog&) = delete;
  SessionLog& operator=(const SessionLog&) = delete;
  void Open() {
    log_.Open(std::string(kLogFileName));
    open_ = true;
  }
  void Close() {
    if (open_) log_.Close();
    open_ = false;
  }

 private:
  LogWriter& log_;
  bool open_ = false;
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
  SessionLog log(m.log);
  Session session(m, baud);
  {
    SessionGuard guard(console);
    try {
      m.uart.UartInit(board::uart::kClockHz, baud, m.board.dataPort, m.uartBase);
      console.WriteText(title + std::string(kStatusText) + std::to_string(baud), true);
      console.WriteEmptyLine();
      console.WriteEmptyLine();
      log.Open();
      session.TellTroubles();
      // The looks at the FIFO run on their own time, in this loop, during
      // every pause the session takes (macro waits, the pacing of sent
      // bytes) and while a message line waits, so none is lost while keys
      // or the operator are busy.
      console.SetBackgroundTask([&session] { return session.Look(); });
      // A first look at once, so that what the FIFO held when the session
      // opened is on the screen before the first key is read.
      console.AwaitBackgroundTask();

      // Each cycle: the pause up to the next look, the look, what went
      // wrong, then a key.
      for (;;) {
        console.AwaitBackgroundTask();
        session.TellTroubles();
        KeyCode key = console.ReadKey();
        if (key.empty()) continue;
        if (!session.OnKey(key)) break;
      }
    } catch (const LeaveRequested&) {
      // Shift-F2 at a message line: the session ends as Shift-F2 ends it.
    }
  }
  // What the line brought up to now is drawn and logged before it ends;
  // the screen the clear takes off goes to the history too.
  session.Interpret();
  console.KeepHistory(true);
  console.ClearScreen();
  console.KeepHistory(false);
  log.Close();
  session.TellLogNews();  // the last of the log may fail to reach the disk
}

}  // namespace qb7
