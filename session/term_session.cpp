#include "session/term_session.hpp"

#include <algorithm>

#include "log/log_news.hpp"
#include "os/program_exit.hpp"
#include "session/macro_play.hpp"
#include "session/program_loop.hpp"
#include "session/session_keys.hpp"
#include "session/tool_keys_help.hpp"

namespace qb7 {

namespace {

constexpr std::string_view kEventReset = "reset";
constexpr std::string_view kEventLeft = "session left";
constexpr std::string_view kEventEnded = "session left: the program ended";

}  // namespace

TermSession::TermSession(Machine& m, ProgramLoop& loop, std::string title, int baud,
                         const SessionStart& start)
    : m_(m), loop_(loop), title_(std::move(title)), baud_(baud), start_(start),
      log_(m.log, m.console.clock()), board_(m, log_, start.route, baud),
      receive_(m, log_, board_, baud) {
  // For as long as the session runs: the rows that leave the screen are
  // kept in the history, and every message line shown goes to the times.
  m_.console.KeepHistory(true);
  loop_.messages.Watch([this](std::string_view text) { OnMessage(text); });
  if (start.route >= 0 && start.route < Store::kRoutes)
    boot_.SetPrompt(m_.store.prompts[static_cast<std::size_t>(start.route)]);
  if (!start.prompt.empty()) boot_.SetPrompt(start.prompt);
  if (start.bootTimeOutUs != 0) boot_.SetTimeOut(start.bootTimeOutUs);
  receive_.Watch(&boot_);
}

TermSession::~TermSession() {
  loop_.messages.Watch(nullptr);
  m_.console.KeepHistory(false);
  m_.console.screen().SetRowTime({});
  m_.console.SetLineCounts({});
  m_.uart.SetBoardAnswers(true);
}

uint64_t TermSession::NextStepUs() const {
  // Opening goes on at once; then the session's step follows the looks.
  switch (phase_) {
    case Phase::Init:
    case Phase::Open: return 0;
    default: return receive_.NextLookUs();
  }
}

void TermSession::Post(std::string text, bool newKey, bool noted) {
  loop_.messages.Post(std::move(text),
                      newKey ? MessageLines::Answer::NewKey : MessageLines::Answer::AnyKey, noted);
}

void TermSession::Step() {
  switch (phase_) {
    case Phase::Init:
      // The UART first: a baud it cannot take is told before the session
      // opens.
      if (!m_.uart.UartInit(board::uart::kClockHz, baud_, m_.board.dataPort, m_.uartBase))
        Post(std::string(Uart::kBadBaud) + std::to_string(baud_));
      phase_ = Phase::Open;
      return;
    case Phase::Open:
      Open();
      return;
    case Phase::FirstLook:
      // The session has looked once: what the FIFO held is on the screen
      // before the first key is read, and a reset asked with the session is
      // pulsed now, so the boot is shown and logged from its first byte.
      m_.console.Present();
      // A session opened for its boot alone ends within the time-out even
      // if the reset is never released.
      if (start_.leaveAfterBoot) boot_.Start(m_.console.clock().NowUs());
      if (start_.resetAfterFirstLook) loop_.outbox.PulseReset();
      phase_ = Phase::Running;
      return;
    case Phase::Running: {
      if (decided_) return LeaveOnceQuiet();
      TellBoot();
      if (TellTroubles()) return;
      bool pasted = false;
      KeyCode key = m_.console.ReadKey(&pasted);
      if (key.empty()) return;
      if (start_.linked) {
        // Every byte the other program wrote that has come, in one go.
        std::string bytes = key;
        while (bytes.size() < kLinkedTakeBytes) {
          key = m_.console.ReadKey(&pasted);
          if (key.empty()) break;
          bytes += key;
        }
        loop_.outbox.UartSendPaced(bytes, board::uart::ByteNs(baud_));
        return;
      }
      // Pasted text is sent as it is: never the session's keys.
      if (pasted)
        loop_.outbox.UartSendSlow(key);
      else
        OnKey(key);
      return;
    }
    case Phase::Left:
      return;
  }
}

void TermSession::Open() {
  log_.SetNumber(start_.number);
  log_.Open(std::min<uint64_t>(m_.store.keepMB, uint64_t{1} << 40) << 20);
  // The session's own rows, from its status line on, carry its number;
  // the history's dividers name it.
  m_.console.screen().SetRowTime(log_.RowTimeAt(m_.console.clock().NowUs(), RowTime::Kind::Drawn));
  receive_.SessionIs(start_.number, "route " + std::to_string(start_.route) + " \"" + title_ + "\" " +
                                        std::to_string(baud_) + " baud, started " +
                                        FormatDate(log_.StartWallUs()));
  const std::string status = StatusText();
  // The number the status line gets when it leaves the screen.
  statusRow_ = m_.console.screen().RowsGone();
  receive_.StatusLineShown(statusRow_, static_cast<int>(status.size()));
  m_.console.WriteText(status, true);
  m_.console.WriteEmptyLine();
  m_.console.WriteEmptyLine();
  log_.Note("start: route " + std::to_string(start_.route) + " \"" + title_ + "\" " +
            std::to_string(baud_) + " baud");
  TellTroubles();
  // From now on the loop looks at the FIFO, the first time at once, so that
  // what it held when the session opened is on the screen before the first
  // key is read.
  phase_ = Phase::FirstLook;
}

void TermSession::ChangeSpeed(int baud) {
  // The UART at the speed picked in the history; the configuration stays
  // as it is. A speed the divisor cannot express leaves the line as it was.
  if (!m_.uart.UartInit(board::uart::kClockHz, baud, m_.board.dataPort, m_.uartBase)) {
    Post(std::string(Uart::kBadBaud) + std::to_string(baud));
    return;
  }
  log_.Note("speed: " + std::to_string(baud) + " baud, was " + std::to_string(baud_) +
            " (Qb7_Uart.cfg unchanged)");
  baud_ = baud;
  board_.SetBaud(baud);
  receive_.SetBaud(baud);
  hinted_ = false;  // a framing error at the new speed is told with its cause again
  // Said by a status line of its own, not on the bottom row, which would
  // hide the very row the next text comes on.
  ShowStatus();
}

void TermSession::OnMarkKey(const KeyCode& key) {
  if (key == mark::kBegin) {
    markNote_.clear();
    markOpen_ = true;
  } else if (key == mark::kEnd) {
    if (markOpen_) Mark(markNote_);
    markOpen_ = false;
  } else if (markOpen_ && markNote_.size() < Screen::kCols) {
    markNote_ += key[1];
  }
}

void TermSession::Mark(const std::string& note) {
  // Recorded where the log stands, and shown as a row of its own where the
  // text has got to, so that the history and its saved text hold it in place.
  ++marks_;
  const std::string what = "mark: " + (note.empty() ? std::to_string(marks_) : note);
  log_.Note(what);
  Screen& screen = m_.console.screen();
  StartOwnRow();
  const RowTime before = screen.RowTimeNow();
  screen.SetRowTime(log_.RowTimeAt(m_.console.clock().NowUs(), RowTime::Kind::Mark));
  const auto colours = m_.console.Colours();
  m_.console.SetColours(0, 14);
  m_.console.WriteText(("---- " + what + " ").substr(0, Screen::kCols - 1));
  m_.console.SetColours(colours.fg, colours.bg);
  m_.console.WriteEmptyLine();
  screen.SetRowTime(before);
}

void TermSession::StartOwnRow() {
  // The cursor's row is in use when anything was written on it: a line the
  // board has sent up to a carriage return is not written over.
  Screen& screen = m_.console.screen();
  const int row = screen.CursorRow();
  const Row& cells = screen.Cells(row);
  const bool used = screen.TimeOf(row).Known() ||
                    std::any_of(cells.begin(), cells.end(), [](const Cell& c) { return c.ch != ' '; });
  if (screen.CursorColumn() != 1 || screen.LineBreakPending() || used) m_.console.WriteEmptyLine();
}

void TermSession::ShowStatus() {
  // The status line again, with the new speed, as a row of its own where
  // the text has got to (the first one has long left the screen by the
  // time the history can be entered); the counts go beside it from now on.
  Screen& screen = m_.console.screen();
  StartOwnRow();
  const std::string status = StatusText();
  const auto colours = m_.console.Colours();
  m_.console.SetColours(7, 0);
  m_.console.WriteText(status);
  // Its number among the rows, now that it stands on one.
  statusRow_ = screen.RowsGone() + static_cast<uint64_t>(screen.CursorRow() - 1);
  m_.console.WriteEmptyLine();
  m_.console.SetColours(colours.fg, colours.bg);
  receive_.StatusLineShown(statusRow_, static_cast<int>(status.size()));
}

std::string TermSession::StatusText() const {
  return title_ + std::string(kStatusText) + std::to_string(baud_);
}

void TermSession::OnKey(const KeyCode& key) {
  if (const int baud = speed::FromOrder(key); baud != 0) return ChangeSpeed(baud);
  if (mark::IsOrder(key)) return OnMarkKey(key);
  const KeyAction action = SessionKeyAction(key);
  switch (action.kind) {
    case KeyAction::Kind::Send:
      loop_.outbox.UartSendSlow(action.bytes);
      break;
    case KeyAction::Kind::Help:
      m_.console.ClearScreen();
      for (int i = 1; i <= m_.store.HelpCount(); ++i)
        m_.console.WriteText(m_.store.HelpLine(i), true);
      // Then the tool's own keys, which no configuration can tell.
      m_.console.WriteEmptyLine();
      for (const std::string& row : SessionKeyRows(m_.store.ctrlCSent)) m_.console.WriteText(row, true);
      m_.console.WriteEmptyLine();
      break;
    case KeyAction::Kind::Leave:
      Leave();
      break;
    case KeyAction::Kind::Macro:
      MacroPlay(m_.store, action.slot, loop_.outbox);
      break;
  }
}

void TermSession::Dismissed(const KeyCode& key) {
  if (key == keys::KeyShiftF2 && phase_ != Phase::Left) Leave();
}

void TermSession::Leave() {
  // What was still to be sent and told belongs to the session: dropped.
  loop_.outbox.Clear();
  loop_.messages.DropWaiting();
  loop_.messages.Watch(nullptr);
  // What the line brought up to now is drawn and logged before it ends;
  // the screen the clear takes off goes to the history too.
  receive_.InterpretAll();
  notSent_ += loop_.outbox.TakeNotSent();
  if (notSent_ != 0) {
    // The board never answered again: the menu's bottom row says it.
    log_.Note(NotSentText());
    m_.console.Notice(NotSentText());
    notSent_ = 0;
  }
  log_.Note(kEventLeft);
  m_.console.ClearScreen();
  m_.console.KeepHistory(false);
  log_.Close();
  TellLogNews();  // the last of the log may fail to reach the disk
  phase_ = Phase::Left;
}

void TermSession::EndInHaste() {
  m_.uart.SetBoardAnswers(true);
  receive_.InterpretAll();
  log_.Note(kEventEnded);
  log_.Close();
  m_.untoldLoss += receive_.TakeLost();
}

void TermSession::ResetReleased(uint64_t atUs) {
  // From then on the times are given since the reset too, and the boot is
  // measured from it.
  log_.ResetAt(atUs);
  log_.NoteAt(atUs, kEventReset);
  boot_.Start(atUs);
  FollowBoot();
  boardMissed_ = !board_.answers();
  overflowSeen_ = false;
}

void TermSession::TellBoot() {
  const uint64_t now = m_.console.clock().NowUs();
  if (bootShownUs_ != 0 && now - bootShownUs_ >= kBootShownUs) {
    receive_.ShowBoot({});
    bootShownUs_ = 0;
  }
  const auto result = boot_.Check(now);
  if (!result) return;
  // At the time of the look that brought the prompt, so that the record
  // stands beside the prompt line's own; on the screen for a while, with
  // no key to wait for.
  log_.NoteAt(result->atUs, result->Text());
  receive_.ShowBoot(result->ShortText());
  if (following_) {
    // This boot is the one the route's next is compared with.
    following_ = false;
    log_.WatchLines(nullptr);
    Boot followed = follow_.Take();
    if (!followed.lines.empty() && start_.route >= 0 && start_.route < Store::kRoutes)
      loop_.lastBoots[static_cast<std::size_t>(start_.route)] = std::move(followed);
  }
  bootShownUs_ = std::max<uint64_t>(now, 1);
  if (start_.leaveAfterBoot) {
    decided_ = BootOutcome{*result, boardMissed_, overflowSeen_, log_.StartWallUs()};
    decidedUs_ = now;
  }
}

void TermSession::FollowBoot() {
  if (start_.route < 0 || start_.route >= Store::kRoutes) return;
  follow_.Start(loop_.lastBoots[static_cast<std::size_t>(start_.route)]);
  following_ = true;
  log_.WatchLines([this](std::string_view text, const LogTime& start) { OnBootLine(text, start); });
}

void TermSession::OnBootLine(std::string_view text, const LogTime& start) {
  if (start.sinceResetUs == LogTime::kNoReset) return;  // under way before the boot began
  const LineVersus v = follow_.Line(text, static_cast<uint64_t>(start.sinceResetUs));
  if (v.kind == LineVersus::Kind::None) return;
  RowVersus row;
  row.kind = v.kind == LineVersus::Kind::New ? RowVersus::Kind::New : RowVersus::Kind::Matched;
  row.us = v.us;
  row.missing = v.missing;
  row.moved = v.moved;
  // The line feed has moved the cursor on, to the row below the line's
  // last; on the last row the move waits for the next byte.
  Screen& screen = m_.console.screen();
  screen.SetRowVersus(screen.LineBreakPending() ? screen.CursorRow() : screen.CursorRow() - 1, row);
}

void TermSession::LeaveOnceQuiet() {
  const uint64_t now = m_.console.clock().NowUs();
  const uint64_t quietSince = std::max(boot_.LastBytesUs(), decidedUs_);
  if (now < quietSince + kLingerQuietUs && now < decidedUs_ + kLingerMostUs) return;
  // Whatever the looks found up to now is told first, so an overflow the
  // last look met is counted in.
  TellTroubles();
  decided_->overflow = decided_->overflow || overflowSeen_;
  loop_.BootDecided(*decided_);
  Leave();
}

bool TermSession::TellTroubles() {
  TellBoard();
  if (board_.TakeBadBaud()) Post(std::string(Uart::kBadBaud) + std::to_string(baud_));
  RxErrors errors = receive_.TakeErrors();
  if (errors.overflow) overflowSeen_ = true;
  if (errors.Any()) {
    const bool hint = errors.framing && !hinted_;
    // The first framing error of a session: the exact text with the likely
    // cause and its remedy, once; later ones as they are.
    if (hint) {
      hinted_ = true;
      errors.framing = false;
    }
    for (std::string& text : Uart::Texts(errors)) Post(std::move(text));
    if (hint)
      Post(std::string(Uart::kRxFraming) + ": far end not at " + std::to_string(baud_) +
           "? #COMMODE, or b in history");
  }
  if (const uint64_t lost = receive_.TakeLost(); lost != 0)
    Post(std::string(kTextLost) + std::to_string(lost) + " bytes", true);
  TellLogNews();
  return loop_.messages.Holding();
}

void TermSession::TellLogNews() {
  for (const std::string& line : LogNewsLines(m_.log.TakeNews())) {
    // Told once in the times file, as the log's trouble it is.
    log_.Note("log trouble: " + line);
    Post(line, true, false);
  }
}

void TermSession::OnMessage(std::string_view text) { log_.Note("message: " + std::string(text)); }

// The board's news, drawn on its own line of the session's screen in the
// message line's colours, not logged, waiting for no key: the session goes
// on looking, and Shift-F2 leaves at once.
void TermSession::TellBoard() {
  notSent_ += loop_.outbox.TakeNotSent();
  if (!board_.TakeNews()) return;
  if (!board_.answers()) boardMissed_ = true;
  Console& c = m_.console;
  StartOwnRow();
  const ColourPair colours = c.SetColours(15, 12);
  c.WriteText(board_.answers() ? BoardPresence::kAnswersAgain : BoardPresence::kNoAnswer);
  if (board_.answers()) {
    // The board was gone and is back: it was powered on, and boots. Its
    // times count from its return, as from a reset.
    const uint64_t now = c.clock().NowUs();
    log_.ResetAt(now);
    log_.NoteAt(now, "power-on: the board answers again");
    boot_.Start(now);
    FollowBoot();
  }
  if (board_.answers() && notSent_ != 0) {
    // What was typed or pasted meanwhile went nowhere: said, never lost
    // without a word.
    c.WriteText({}, true);
    c.WriteText(NotSentText());
    log_.Note(NotSentText());
    notSent_ = 0;
  }
  c.SetColours(colours.fg, colours.bg);
  c.WriteText({}, true);
}

std::string TermSession::NotSentText() const {
  return std::string(kNotSent) + std::to_string(notSent_) + " bytes";
}

}  // namespace qb7
