#include "app/route_menu.hpp"

#include <unistd.h>

#include <string>

#include "app/config_report.hpp"
#include "config/config_loader.hpp"
#include "keys/keys.hpp"
#include "session/earlier_sessions.hpp"
#include "session/kept_boots.hpp"
#include "log/log_names.hpp"
#include "session/tool_keys_help.hpp"
#include "view/history_store.hpp"
#include "os/program_exit.hpp"
#include "text/ascii.hpp"

namespace qb7 {

namespace {

// Start-up, up to the configuration: what it met is told on the message
// line before the auxiliary port is written and the menu drawn.
void StartUp(Machine& m, ProgramLoop& loop) {
  loop.messages.SetExitBackground(0);
  // The key-name constants are compile-time constants: nothing to set.
  // Work in the program's own folder, so the configuration and the log live
  // beside it. A failure is not fatal: the start directory is used then.
  (void)!chdir(m.files.ProgramFolder().c_str());
  m.console.ClearScreen();
  m.colours = {7, 0};
  m.console.SetColours(7, 0);
  m.console.SetPosition(1, 1);
  std::vector<ConfigFinding> findings;
  for (const ConfigProblem& problem : LoadConfiguration(m.files, m.store, &findings))
    loop.messages.Post(problem.Text());
  m.console.SetCtrlCIsKey(m.store.ctrlCSent);
  // The history begins with the sessions before this run, and each
  // route's next boot is compared with its last.
  RecallEarlierSessions(m.console, HistoryStore::kKeptRows);
  loop.lastBoots = ReadLastBoots(std::string(kLogFileName));
  // Every problem the file holds, where it stands, before anything plays:
  // listed on the screen, which the menu clears once it is answered.
  if (!findings.empty()) {
    for (const std::string& row : ConfigFindingRows(findings)) m.console.WriteText(row, true);
    loop.messages.Post(ConfigFindingsMessage(findings.size()));
  }
}

}  // namespace

void PrepareBoard(Machine& m) {
  m.board.auxPort = board::kAuxPort;
  m.board.dataPort = board::kDataPort;
  m.uartBase = board::kUartBase;
  m.board.WriteByte(m.board.auxPort, 0);
}

void RouteMenu::Step() {
  switch (state_) {
    case State::StartUp:
      PrepareBoard(m_);
      state_ = State::Draw;
      return;
    case State::Draw:
      m_.console.ClearScreen();
      for (std::string_view row : kMenuRows) m_.console.WriteText(row, true);
      // The keys a newcomer misses, below the menu's own rows; the cursor
      // stays where the menu leaves it.
      m_.console.SetPosition(kMenuHintRow, 1);
      for (std::string_view row : kMenuHint) m_.console.WriteText(row, true);
      m_.console.SetPosition(static_cast<int>(kMenuRows.size()) + 1, 1);
      m_.console.Present();
      state_ = State::Waiting;
      nextPollUs_ = m_.console.clock().NowUs() + kKeyPollUs;
      return;
    case State::Help: {
      if (m_.console.clock().NowUs() < nextPollUs_) return;
      bool pasted = false;
      KeyCode key = m_.console.ReadKey(&pasted);
      while (!key.empty() && pasted) key = m_.console.ReadKey(&pasted);
      nextPollUs_ = m_.console.clock().NowUs() + kKeyPollUs;
      if (!key.empty()) state_ = State::Draw;
      return;
    }
    case State::Waiting: {
      if (m_.console.clock().NowUs() < nextPollUs_) return;
      bool pasted = false;
      KeyCode key = m_.console.ReadKey(&pasted);
      // Pasted text is never the menu's keys (a clipboard must not quit,
      // pulse the reset or open a route): it is dropped, and told.
      while (!key.empty() && pasted) {
        ++pastedDropped_;
        key = m_.console.ReadKey(&pasted);
      }
      if (pastedDropped_ != 0)
        m_.console.Notice(std::string(kPasteNotTaken) + std::to_string(pastedDropped_) +
                          " bytes dropped");
      if (key.empty()) {
        m_.console.Present();
        nextPollUs_ = m_.console.clock().NowUs() + kKeyPollUs;
        return;
      }
      pastedDropped_ = 0;
      m_.console.Notice({});
      state_ = State::Draw;
      Act(UpperCase(key));
      return;
    }
  }
}

void RouteMenu::ShowHelp() {
  m_.console.ClearScreen();
  for (const std::string& row : MenuKeyRows()) m_.console.WriteText(row, true);
  for (const std::string& row : SessionKeyRows(m_.store.ctrlCSent)) m_.console.WriteText(row, true);
  m_.console.WriteEmptyLine();
  m_.console.WriteText(kHelpDismiss);
  m_.console.Present();
  state_ = State::Help;
  nextPollUs_ = m_.console.clock().NowUs() + kKeyPollUs;
}

void RouteMenu::Act(const std::string& key) {
  if (key == keys::KeyF1 || key == "?" || key == keys::KeyShiftF1) return ShowHelp();
  if (key.size() == 1 && key[0] >= '0' && key[0] <= '5') {
    const int route = key[0] - '0';
    m_.board.WriteRegister(board::kRouteRegister, route);
    m_.console.ClearScreen();
    loop_.OpenSession(std::string(kRouteTitles[route]), m_.store.baud, SessionStart::On(route));
  } else if (key == "R") {
    loop_.outbox.PulseReset();
  } else if (key == kResetAndCapture) {
    // The VSC7420's session, then its reset right after its first look:
    // the boot from its first byte.
    m_.board.WriteRegister(board::kRouteRegister, 0);
    m_.console.ClearScreen();
    loop_.OpenSession(std::string(kRouteTitles[0]), m_.store.baud, SessionStart::On(0, true));
  } else if (key == "Q") {
    m_.board.WriteRegister(board::kRouteRegister, 0);
    throw ProgramExit{0, 0};
  }
  // Any other key: the menu is drawn again.
}

void RunQb7Uart(Machine& m) {
  ProgramLoop loop(m);
  StartUp(m, loop);
  RouteMenu menu(m, loop);
  loop.Run(menu);
}

}  // namespace qb7
