// The tool's own keys, told where they are needed: the menu's help (F1, ?,
// Shift-F1) lists all of them, the menu names the two a newcomer misses,
// and the session's help (Shift-F1) ends with the session's and the
// history's after the configuration's help lines. One table, so that what
// the screens say cannot drift apart.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace qb7 {

// Below the menu's own rows, where the screen has room.
inline constexpr std::string_view kMenuHint[] = {
    " Ctrl-R  the VSC7420's session, then its reset: the boot from its first byte",
    " F1 or ?  every key of the menu, the session and the history",
};
inline constexpr int kMenuHintRow = 18;

// What the menu's help ends with.
inline constexpr std::string_view kHelpDismiss = "Any key: back to the menu";

// The menu's keys.
std::vector<std::string> MenuKeyRows();
// The session's and the history's keys; ctrlCSent: Ctrl-C goes to the board
// (the configuration's #CTRLC SEND) instead of ending the program.
std::vector<std::string> SessionKeyRows(bool ctrlCSent);

}  // namespace qb7
