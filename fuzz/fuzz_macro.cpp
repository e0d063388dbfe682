// Any slot line through the macro scanner: no crash, no hang, and the steps
// stay within what a line can ask (a report names a position in the line).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "macro/macro_scanner.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qb7;
  if (size > 4096) return 0;
  const std::string line(reinterpret_cast<const char*>(data), size);
  const std::vector<MacroStep> steps = ScanMacro(line);
  // Every step comes from at least one character of the line (and the
  // space appended).
  if (steps.size() > size + 1) std::abort();
  for (const MacroStep& step : steps) {
    if (step.kind == MacroStep::Kind::Pause && step.ms <= 0) std::abort();
    // A report names a position in the line (or the space appended).
    if (step.kind == MacroStep::Kind::Report && (step.position < 1 || step.position > size + 1))
      std::abort();
  }
  // The check finds each thing at a position in the line.
  for (const MacroFinding& finding : CheckMacro(line))
    if (finding.position < 1 || finding.position > size + 1 || finding.text.empty()) std::abort();
  return 0;
}
