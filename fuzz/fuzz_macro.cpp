// Any slot line through the macro player: no crash, no hang.
#include <cstdint>
#include <string>

#include "console/console.hpp"
#include "fuzz/fuzz_support.hpp"
#include "machine/machine.hpp"
#include "macro/macro_player.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qb7;
  if (size > 4096) return 0;
  VirtualClock clock;
  fuzz::AnsweringFrontend frontend;
  fuzz::IdlePorts ports;
  Console console(frontend, clock);
  Files files("/nonexistent");
  InlineLogWriter log;
  Machine machine(console, files, ports, log);
  machine.store.SetSlotLine(1, 1, std::string(reinterpret_cast<const char*>(data), size));
  MacroPlay(machine, 1);
  return 0;
}
