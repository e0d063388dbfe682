// What both mains do: build the platform (terminal, files), run the
// program over the given ports and clock, restore the terminal, and return
// the exit status (or die of the signal that ended the program).
#pragma once
#include "board/port_io.hpp"
#include "console/clock.hpp"

namespace qb7 {

int RunInTerminal(PortIo& ports, Clock& clock);

}  // namespace qb7
