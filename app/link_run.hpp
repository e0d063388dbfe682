// The console line for other programs, with no terminal (--pty, --stdio):
// the program's own loop, one session on the route (logged as always,
// with its own start and end), an unattended console whose keys are the
// other program's bytes, and the bytes received passed to it exactly as
// they came. The mains take the locks and the ports first.
#pragma once
#include <string>

#include "app/launch.hpp"
#include "app/link_options.hpp"
#include "board/port_io.hpp"
#include "os/clock.hpp"

namespace qb7 {

Ending RunConsoleLink(PortIo& ports, Clock& clock, const LinkOptions& options, const std::string& program);

}  // namespace qb7
