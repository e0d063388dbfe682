// Received bytes of any kind, in chunks of any size, through the
// interpreter: no crash, and the log holds only plain bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/console.hpp"
#include "fuzz/fuzz_support.hpp"
#include "session/interpreter.hpp"

namespace {
class CheckingSink final : public qb7::ByteSink {
 public:
  void Put(uint8_t b, uint64_t) override {
    if (!(b == 10 || b == 13 || b >= 32)) std::abort();
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qb7;
  if (size == 0) return 0;
  VirtualClock clock;
  fuzz::AnsweringFrontend frontend;
  Console console(frontend, clock);
  ColourPair colours;
  CheckingSink log;
  Interpreter interpreter(console, colours, log);
  const std::size_t chunk = 1 + data[0] % 64;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  while (!rest.empty()) {
    interpreter.Feed(rest.substr(0, chunk));
    rest.remove_prefix(std::min(chunk, rest.size()));
    if (console.CursorRow() < 1 || console.CursorRow() > 25 || console.CursorColumn() < 1 ||
        console.CursorColumn() > 80)
      std::abort();
  }
  if (colours.fg < 0 || colours.fg > 15 || colours.bg < 0 || colours.bg > 7) std::abort();
  return 0;
}
