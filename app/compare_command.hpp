// qb7uart --compare [A B] [--threshold MS]: two boots side by side, from
// the kept sessions (or Term.txt, the last session) in the program's
// folder, the last two of route 0 that hold a boot by default. A and B
// name sessions as "Term-20261210-080000-r0", with or without .txt, or by
// a path. The exit status is that of diff: 0 when no line moved by the
// threshold and none is new or missing, 1 when some did, 2 when the boots
// cannot be read.
#pragma once
#include <string>
#include <vector>

namespace qb7 {

// args: what follows --compare.
int CompareCommand(const std::string& program, const std::vector<std::string>& args,
                   const std::string& logFolder);

}  // namespace qb7
