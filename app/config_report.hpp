// The configuration's findings told before anything is played: listed on
// the screen at start-up, before the menu, and printed by --check-config
// for a lab that keeps its configurations in version control.
#pragma once
#include <string>
#include <vector>

#include "config/config_loader.hpp"

namespace qb7 {

// The rows the start-up list shows, file order, within the rows the screen
// has above the message line; a list too long ends with a row that says how
// many more there are and where to see them all.
std::vector<std::string> ConfigFindingRows(const std::vector<ConfigFinding>& findings);
// The message line under the list, answered to go on to the menu.
std::string ConfigFindingsMessage(std::size_t count);

// --check-config [FILE]: the findings of FILE, or of the Qb7_Uart.cfg the
// program reads (in its own folder), one a line on stdout, then a summary.
// Returns 0 for a file with nothing to tell, 1 otherwise (missing or
// unreadable too, said on stderr).
int CheckConfigCommand(const std::string& program, const std::string& path);

}  // namespace qb7
