// Boots in a batch with no terminal (cron, ssh, a CI job): the program's
// own loop, session and log over an unattended console. The JSON lines go
// to their file or standard output as each boot ends, progress to standard
// error when it is a terminal, and at the end the summary (and the JUnit
// XML). The mains take the locks and the ports first, as for the
// full-screen program.
#pragma once
#include <string>

#include "app/boot_batch_options.hpp"
#include "app/launch.hpp"
#include "board/port_io.hpp"
#include "os/clock.hpp"

namespace qb7 {

// The exit status 0 when every boot reached the prompt, 1 when one did not
// (or the batch could not run), 2 when a report file cannot be written; a
// terminating signal stops the batch after its current boot, the report
// written, and the ending then dies of it.
Ending RunBootBatch(PortIo& ports, Clock& clock, const BootBatchOptions& options,
                    const std::string& program);

}  // namespace qb7
