// One copy of the program at a time on the board (the hardware binary)
// and on the logs of its folder (both): the lock on the resource, or one
// line on stderr naming the process that holds it (and null). The logs'
// folder must be writable (else one line says so, and null); one its group
// shares gets files the group may write.
#pragma once
#include <memory>
#include <string>

#include "process/exclusive_lock.hpp"

namespace qb7 {

std::unique_ptr<ExclusiveLock> LockBoard(const std::string& program);
std::unique_ptr<ExclusiveLock> LockLogs(const std::string& program);

// In a folder its group shares (setgid, writable by the group), the files
// the program makes are readable and writable by the group whatever the
// umask: the umask is eased so. Elsewhere nothing changes.
void ShareFilesWithGroup(const std::string& folder);

}  // namespace qb7
