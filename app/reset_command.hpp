// qb7uart --reset: the VSC7420's reset from another shell or a lab's tool.
// The process holding the board (the full-screen program, --pty, --stdio)
// is asked through its socket: it pulses the reset, logs it as an event
// and captures the boot as Ctrl-R does. Without a holder, the caller takes
// the board itself (its locks, its ports), pulses and ends.
#pragma once
#include <string>

#include "board/port_io.hpp"
#include "os/clock.hpp"

namespace qb7 {

// Asks the holder in folder. Returns the exit status (0 pulsed, 1 refused
// or failed), or -1 when no process holds the board there.
int AskHolderToReset(const std::string& program, const std::string& folder);

// Pulses the reset on the ports directly (10 ms), as the menu's R does.
void PulseResetDirectly(PortIo& ports, Clock& clock);

}  // namespace qb7
