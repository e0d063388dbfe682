// The terminal session over the selected console line, as a state of the
// program thread's loop: it programs the UART, shows the status line, then
// at each turn tells what went wrong since the last (on the message line)
// and acts on one key: sent, a macro played, the help shown, or the
// session left. The looks at the receive FIFO and the bytes going out are
// the loop's to schedule; the session never waits.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "keys/keys.hpp"
#include "machine/machine.hpp"
#include "compare/boot_follower.hpp"
#include "session/board_presence.hpp"
#include "session/boot_watch.hpp"
#include "session/receive_path.hpp"
#include "session/session_log.hpp"

namespace qb7 {

class ProgramLoop;

inline constexpr std::string_view kTextLost = "Text lost while a message waited: ";
inline constexpr std::string_view kStatusText = "     <Fx>Macro  <SF1>Help  <SF2>Exit  Baud: ";
inline constexpr std::string_view kNotSent = "Not sent while the board did not answer: ";

// How a session starts: the route it runs on (for the times beside its
// log), and whether the VSC7420's reset is pulsed right after the
// session's first look at the receive FIFO, so that the boot is captured
// from its first byte.
struct SessionStart {
  static SessionStart On(int route, bool resetAfterFirstLook = false) {
    SessionStart start;
    start.route = route;
    start.resetAfterFirstLook = resetAfterFirstLook;
    return start;
  }
  int route = -1;
  bool resetAfterFirstLook = false;
  uint32_t number = 0;  // the session's number in this run of the program (the loop gives it)
  // Opened for the boot alone (boots in a batch): the session is left once
  // the boot is decided, told to the loop. The prompt looked for (empty:
  // the route's from the configuration) and the time-out (0: the usual).
  bool leaveAfterBoot = false;
  std::string prompt;
  uint64_t bootTimeOutUs = 0;
  // The keys are another program's bytes (the console link): sent at the
  // UART's pace, not a paste's.
  bool linked = false;
};

class TermSession {
 public:
  TermSession(Machine& m, ProgramLoop& loop, std::string title, int baud,
              const SessionStart& start);
  ~TermSession();
  TermSession(const TermSession&) = delete;
  TermSession& operator=(const TermSession&) = delete;

  // The receive path, once the session is open (null before).
  ReceivePath* Receiving() { return phase_ == Phase::Init || phase_ == Phase::Open ? nullptr : &receive_; }
  // When the session's own step is next due.
  uint64_t NextStepUs() const;
  // The loop's step when nothing else holds the program.
  void Step();
  // A message line was dismissed with this key: Shift-F2 leaves the
  // session, as the status line promises.
  void Dismissed(const KeyCode& key);
  void ResetReleased(uint64_t atUs);
  // An event of the session for the times beside its log ("GP.EXE"
  // started and ended).
  void Note(std::string_view what) { log_.Note(what); }
  // Left with Shift-F2: the loop closes it.
  bool Left() const { return phase_ == Phase::Left; }
  // The program ends in the middle of the session (Ctrl-C, Home at a
  // message line, a signal): what was received is logged first, the log
  // closed, and what could not be told is left for the end to tell.
  void EndInHaste();

 private:
  enum class Phase { Init, Open, FirstLook, Running, Left };

  void Open();
  void OnKey(const KeyCode& key);
  // The speed picked in the history: the UART programmed at it, the status
  // line and the times told.
  void ChangeSpeed(int baud);
  void ShowStatus();
  // Moves to a row of the tool's own, below whatever the board wrote.
  void StartOwnRow();
  // A mark made in the history: its keys, then the mark recorded and shown.
  void OnMarkKey(const KeyCode& key);
  void Mark(const std::string& note);
  std::string StatusText() const;
  void Leave();
  // Tells the operator what went wrong since the last time: the board's
  // news, the receive errors (each kind once), text that found no room,
  // and the log's troubles. Returns true when a message line was posted.
  bool TellTroubles();
  void TellBoard();
  // The boot's report, once it is decided: in Term.times and on the bottom row.
  void TellBoot();
  // A boot begins: its lines are compared with the route's last boot as
  // they come, each told on its row for the history's gutter.
  void FollowBoot();
  void OnBootLine(std::string_view text, const LogTime& start);
  void TellLogNews();
  void Post(std::string text, bool newKey = false, bool noted = true);
  void OnMessage(std::string_view text);
  std::string NotSentText() const;

  Machine& m_;
  ProgramLoop& loop_;
  const std::string title_;
  int baud_;  // the configuration's, or the one picked in the history
  const SessionStart start_;
  Phase phase_ = Phase::Init;
  SessionLog log_;
  BoardPresence board_;
  ReceivePath receive_;
  BootWatch boot_;  // the boot after a reset or a power-on, measured
  BootFollower follow_;  // and compared with the last one, line by line
  bool following_ = false;
  static constexpr std::size_t kLinkedTakeBytes = 4096;  // bytes of the console link taken at a step
  static constexpr uint64_t kBootShownUs = 20000000;  // its report stays on the screen so long
  uint64_t bootShownUs_ = 0;  // when it was shown; 0: not shown
  bool hinted_ = false;
  uint64_t statusRow_ = 0;  // the number the status line has among the rows
  uint64_t notSent_ = 0;  // bytes whose turn came while the board did not answer
  std::string markNote_;  // the note of a mark whose keys are coming
  bool markOpen_ = false;
  int marks_ = 0;         // marks made in the session
  // A session opened for its boot alone leaves once the line has been
  // quiet so long after the boot was decided (the rest of the prompt, an
  // echo, stay in its own log rather than the next session's), or at the
  // latest after the second.
  static constexpr uint64_t kLingerQuietUs = 200000;
  static constexpr uint64_t kLingerMostUs = 2000000;
  std::optional<BootOutcome> decided_;
  uint64_t decidedUs_ = 0;
  void LeaveOnceQuiet();
  bool boardMissed_ = false;  // the board did not answer at some time since the boot began
  bool overflowSeen_ = false;  // an overflow since the boot began
};

}  // namespace qb7
