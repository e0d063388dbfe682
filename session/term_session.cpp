#include "session/term_session.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include "board/board_registers.hpp"
#include "board/reset_pulse.hpp"
#include "console/program_exit.hpp"
#include "log/log_news.hpp"
#include "machine/machine.hpp"
#include "macro/macro_player.hpp"
#include "session/held_text.hpp"
#include "session/interpreter.hpp"
#include "session/session_log.hpp"

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

// The most a look interprets: well under a tenth of a millisecond's work
// (the interpreter takes 50 MB a second and more), against the 1.4 ms the
// FIFO lasts at 921600; a backlog still goes a hundred times faster than
// any line brings more.
constexpr std::size_t kSliceBytes = 4096;

constexpr std::string_view kEventReset = "reset";
// The board's own news, drawn on the session's screen (not logged) and in
// the times beside the log.
constexpr std::string_view kNoAnswer =
    "No answer from the QB7 board at 0x352 (every register reads 0xFF): is it seated and powered?";
constexpr std::string_view kAnswersAgain = "The QB7 board at 0x352 answers again";
// Framing errors in this many looks: the far end is likely at another speed.
constexpr uint64_t kFramingHintLooks = 3;
constexpr std::string_view kEventLeft = "session left";
constexpr std::string_view kEventEnded = "session left: the program ended";

class Session final : public SessionEvents {
 public:
  Session(Machine& m, int baud, const SessionStart& start)
      : m_(m), baud_(baud), start_(start), timing_(PollTimingFor(baud)),
        log_(m.log, m.console.clock()), interpreter_(m.console, m.colours, log_) {
    received_.reserve(board::uart::kRxFifoSize);
  }

  // The status line's place and length, for the counts beside it.
  void StatusLineShown(int length) {
    counts_.session = true;
    counts_.statusRow = m_.console.screen().RowsGone();
    counts_.statusLength = length;
    m_.console.screen().SetLineCounts(counts_);
  }

  SessionLog& log() { return log_; }

  // One look at the receive FIFO, the console's background task: what
  // waits goes, in order and with the look's time, to the held text, and
  // its errors are kept to be told. Unless a message line waits for the
  // operator, what is held is then drawn and logged. A look never shows a
  // message itself: it runs inside pauses and message lines. Returns when
  // to look again.
  uint64_t Look() {
    const RegisterPort::Selection before = m_.board.Current();
    const int port = m_.board.dataPort;
    const int countRegister = m_.uart.RxCountRegister(port, m_.uartBase);
    // An open bus reads 0xFF everywhere: no bytes, only the board's absence.
    const bool answers = countRegister != 0xFF || !m_.uart.NoAnswer(port, m_.uartBase);
    if (answers != answers_) BoardChanged(answers);
    const int count = answers ? countRegister & board::uart::kRxCountMask : 0;
    if (count > 0) {
      const RxErrors found = m_.uart.UartReceive(port, m_.uartBase, count, 1000, received_);
      errors_ |= found;
      heldLost_ += held_.Hold(received_, m_.console.clock().NowUs(), found);
      Count(found);
    }
    if (m_.console.OperatorWaiting()) {
      // The message may stand between a register's selection and its use
      // (the transmit wait's): that register is selected again.
      m_.board.Restore(before);
    } else {
      // What a message held back is drawn a slice a look, so that the looks
      // keep their time while a backlog of minutes is worked off, and no
      // faster than the history takes the rows it makes (a byte makes one
      // row at most).
      Interpret(std::min(kSliceBytes, m_.console.RowRoom()));
    }
    return count > 0 || !held_.Empty() ? timing_.busyUs : timing_.idleUs;
  }

  // Draws and logs what is held, oldest first, up to about that many bytes,
  // each stretch with the time it came.
  void Interpret(std::size_t most = SIZE_MAX) {
    std::size_t done = 0;
    HeldText::Piece piece;
    while (done < most && held_.Front(piece)) {
      log_.SetNow(piece.atUs);
      m_.console.screen().SetRowTime(log_.RowTimeAt(piece.atUs));
      NoteErrors(piece);
      const std::string_view bytes = piece.bytes.substr(0, most - done);
      interpreter_.Feed(bytes);
      held_.Pop(bytes.size());
      done += bytes.size();
    }
    log_.Flush();
  }

  // Tells the operator, on the message line, what went wrong since the last
  // time: the receive errors (each kind once), text that found no room
  // while a message waited, and the log's troubles. Only from the session's
  // own loop, never from a look.
  void TellTroubles() {
    TellBoard();
    if (errors_.Any()) {
      RxErrors errors = errors_;
      errors_ = {};
      if (errors.framing && !hinted_ && counts_.framing >= kFramingHintLooks) {
        // Again and again: once in a session, the likely cause after the
        // exact text.
        hinted_ = true;
        errors.framing = false;
        m_.uart.TellReceiveErrors(errors);
        m_.console.ErrorMessage(std::string(Uart::kRxFraming) + ": far end not at " +
                                std::to_string(baud_) + "?");
      } else {
        m_.uart.TellReceiveErrors(errors);
      }
    }
    if (heldLost_ != 0) {
      const uint64_t lost = heldLost_;
      heldLost_ = 0;
      m_.console.LossMessage(std::string(kTextLost) + std::to_string(lost) + " bytes");
    }
    TellLogNews();
  }

  void TellLogNews() {
    for (const std::string& line : LogNewsLines(m_.log.TakeNews())) {
      // Told once in the times file, as the log's trouble it is.
      log_.Note("log trouble: " + line);
      quietMessage_ = true;
      m_.console.LossMessage(line);
    }
  }

  // Every message line shown during the session goes to the times file.
  void OnMessage(std::string_view text) {
    if (!quietMessage_) log_.Note("message: " + std::string(text));
    quietMessage_ = false;
  }

  // The program ends in the middle of the session (Ctrl-C, Home at a
  // message line, a signal): what was held is logged first, the log closed,
  // and what could not be told is left for the end to tell.
  void EndInHaste() {
    m_.uart.SetBoardAnswers(true);
    Interpret();
    log_.Note(kEventEnded);
    log_.Close();
    m_.untoldLoss += heldLost_;
    heldLost_ = 0;
  }

  // What the macro player tells: "GP.EXE" started and ended.
  void Note(std::string_view what) override { log_.Note(what); }

  // The VSC7420's reset pulse, its release noted: from then on the times
  // are given since it too.
  void PulseReset() {
    qb7::PulseReset(m_.board, m_.console);
    const uint64_t released = m_.console.clock().NowUs();
    log_.ResetAt(released);
    log_.NoteAt(released, kEventReset);
  }

  void Send(std::string_view bytes) { m_.uart.UartSendSlow(bytes); }

  // What the line brought, for the counts beside the status line.
  void Count(const RxErrors& found) {
    counts_.received += received_.size();
    counts_.framing += found.framing ? 1 : 0;
    counts_.overflow += found.overflow ? 1 : 0;
    m_.console.screen().SetLineCounts(counts_);
  }

  // The board stopped or started answering, at a look: nothing is sent
  // while it does not; back, it is given its route and its UART again (a
  // power cycle cleared them), and the operator hears of both from the
  // session's loop.
  void BoardChanged(bool answers) {
    answers_ = answers;
    m_.uart.SetBoardAnswers(answers);
    boardNews_ = true;
    log_.Note(answers ? kAnswersAgain : kNoAnswer);
    if (!answers) return;
    if (start_.route >= 0) m_.board.WriteRegister(board::kRouteRegister, start_.route);
    m_.uart.UartInit(board::uart::kClockHz, baud_, m_.board.dataPort, m_.uartBase);
  }

  // The board's news, drawn on its own line of the session's screen in the
  // message line's colours, not logged, waiting for no key: the session
  // goes on looking, and Shift-F2 leaves at once.
  void TellBoard() {
    if (!boardNews_) return;
    boardNews_ = false;
    Console& c = m_.console;
    if (c.CursorColumn() != 1 || c.screen().LineBreakPending()) c.WriteText({}, true);
    const ColourPair colours = c.SetColours(15, 12);
    c.WriteText(answers_ ? kAnswersAgain : kNoAnswer);
    c.SetColours(colours.fg, colours.bg);
    c.WriteText({}, true);
  }

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
  // The receive errors found with a stretch, where its text begins.
  void NoteErrors(const HeldText::Piece& piece) {
    if (piece.errors.timeout) log_.NoteAt(piece.atUs, "receive error: time-out");
    if (piece.errors.overflow) log_.NoteAt(piece.atUs, "receive error: overflow");
    if (piece.errors.framing) log_.NoteAt(piece.atUs, "receive error: framing");
    if (piece.errors.pending && !piece.errors.overflow && !piece.errors.framing)
      log_.NoteAt(piece.atUs, "receive error");
  }

  Machine& m_;
  const int baud_;
  const SessionStart start_;
  const PollTiming timing_;
  bool answers_ = true;
  bool boardNews_ = false;
  bool hinted_ = false;
  LineCounts counts_;
  HeldText held_;
  uint64_t heldLost_ = 0;
  RxErrors errors_;
  SessionLog log_;
  Interpreter interpreter_;
  std::string received_;
  bool quietMessage_ = false;
};

// For as long as the session runs: its look at the FIFO is the console's
// background task, Shift-F2 at a message line leaves it, and the rows that
// leave the screen are kept in the history.
class SessionGuard {
 public:
  SessionGuard(Machine& m, Session& session) : m_(m) {
    m_.console.ArmLeaveKey(keys::KeyShiftF2);
    m_.console.KeepHistory(true);
    m_.console.WatchMessages([&session](std::string_view text) { session.OnMessage(text); });
    m_.events = &session;
  }
  ~SessionGuard() {
    m_.console.ClearBackgroundTask();
    m_.console.ArmLeaveKey({});
    m_.console.KeepHistory(false);
    m_.console.WatchMessages(nullptr);
    m_.console.screen().SetRowTime({});
    m_.console.screen().SetLineCounts({});
    m_.uart.SetBoardAnswers(true);
    m_.events = nullptr;
  }
  SessionGuard(const SessionGuard&) = delete;
  SessionGuard& operator=(const SessionGuard&) = delete;

 private:
  Machine& m_;
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

void TermSession(Machine& m, const std::string& title, int baud, const SessionStart& start) {
  Console& console = m.console;
  Session session(m, baud, start);
  {
    SessionGuard guard(m, session);
    try {
      m.uart.UartInit(board::uart::kClockHz, baud, m.board.dataPort, m.uartBase);
      const std::string status = title + std::string(kStatusText) + std::to_string(baud);
      session.StatusLineShown(static_cast<int>(status.size()));
      console.WriteText(status, true);
      console.WriteEmptyLine();
      console.WriteEmptyLine();
      session.log().Open();
      session.log().Note("start: route " + std::to_string(start.route) + " \"" + title + "\" " +
                         std::to_string(baud) + " baud");
      session.TellTroubles();
      // The looks at the FIFO run on their own time, in this loop, during
      // every pause the session takes (macro waits, the pacing of sent
      // bytes) and while a message line waits, so none is lost while keys
      // or the operator are busy.
      console.SetBackgroundTask([&session] { return session.Look(); });
      // A first look at once, so that what the FIFO held when the session
      // opened is on the screen before the first key is read.
      console.AwaitBackgroundTask();
      // The session receives: a reset asked with it is pulsed now, so the
      // boot is shown and logged from its first byte.
      if (start.resetOnceReceiving) session.PulseReset();

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
    } catch (const ProgramExit&) {
      session.EndInHaste();
      throw;
    }
  }
  // What the line brought up to now is drawn and logged before it ends;
  // the screen the clear takes off goes to the history too.
  session.Interpret();
  session.log().Note(kEventLeft);
  console.KeepHistory(true);
  console.ClearScreen();
  console.KeepHistory(false);
  session.log().Close();
  session.TellLogNews();  // the last of the log may fail to reach the disk
}

}  // namespace qb7
