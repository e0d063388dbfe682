// The keys the view takes for itself, as data. Live, it takes the mouse
// wheel, Shift-PgUp and Shift-PgDn (and any other mouse report, which does
// nothing). Scrolled back into the history it also takes:
//   /      a search prompt on the bottom row; Enter searches back from the
//          view (plain text, case ignored), Esc closes it
//   n, N   the next match further back, and the one before it
//   t      a gutter with each row's time (since the reset, else since the
//          session's start); again: beside it, each boot line against the
//          same line of the route's last boot; again: none
//   s      the whole history as plain text, to a file the caller names
//   m      a mark: a prompt for its note on the bottom row; Enter makes it
//          (an empty note: a numbered mark), Esc does not
//   x      the bytes received for the rows in view, as a hex dump (from
//          the session's Term.raw, read by the caller); any key: back
//   q, Esc back to the live screen
// A key the view takes never reaches the program.
#pragma once
#include <optional>
#include <string_view>

#include "keys/keys.hpp"

namespace qb7 {

enum class ViewAction {
  ScrollBack,     // a wheel notch up: three rows further back
  ScrollForward,  // a wheel notch down
  PageBack,       // Shift-PgUp: a window less one row
  PageForward,    // Shift-PgDn
  Nothing,        // a click or a drag
  SearchPrompt,
  NextMatch,      // further back
  PreviousMatch,  // nearer the live screen
  ToggleTimes,
  Save,
  SpeedPrompt,    // the line speeds to pick from
  MarkPrompt,     // the note of a mark
  HexDump,        // the bytes of the rows in view
  Leave,          // back to the live screen
};

struct ViewKey {
  std::string_view key;
  bool inHistoryOnly;
  ViewAction action;
};

inline constexpr ViewKey kViewKeys[] = {
    {view::WheelUp, false, ViewAction::ScrollBack},
    {view::WheelDown, false, ViewAction::ScrollForward},
    {view::PageUp, false, ViewAction::PageBack},
    {view::PageDown, false, ViewAction::PageForward},
    {view::Mouse, false, ViewAction::Nothing},
    {"/", true, ViewAction::SearchPrompt},
    {"n", true, ViewAction::NextMatch},
    {"N", true, ViewAction::PreviousMatch},
    {"t", true, ViewAction::ToggleTimes},
    {"s", true, ViewAction::Save},
    {"b", true, ViewAction::SpeedPrompt},
    {"m", true, ViewAction::MarkPrompt},
    {"x", true, ViewAction::HexDump},
    {"q", true, ViewAction::Leave},
    {keys::KeyEsc, true, ViewAction::Leave},
};

// What a key does in the view, live or scrolled back; nothing when the
// view does not take it.
inline std::optional<ViewAction> ViewKeyAction(std::string_view key, bool inHistory) {
  for (const ViewKey& k : kViewKeys)
    if (k.key == key && (inHistory || !k.inHistoryOnly)) return k.action;
  // A code for the view the table does not know yet does nothing.
  if (IsViewCode(key)) return ViewAction::Nothing;
  return std::nullopt;
}

}  // namespace qb7
