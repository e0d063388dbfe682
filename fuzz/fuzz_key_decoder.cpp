// Any bytes from the terminal, at any pace, in either family: no crash, and
// every key code is one byte, 255 with a scan code, or one of the view's.
#include <cstdint>
#include <cstdlib>

#include "keys/key_decoder.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qb7;
  if (size == 0) return 0;
  KeyDecoder decoder(data[0] & 1 ? KeyFamily::Rxvt : KeyFamily::Xterm);
  DecodedKeys queue;
  uint64_t now = 0;
  for (size_t i = 0; i < size; ++i) {
    // Bytes below 0x08 in odd positions also move the clock, so the escape
    // delay is crossed at every kind of place.
    if (i % 2 == 1 && data[i] < 8) now += data[i] * 20000ull;
    decoder.Feed(data[i], now, queue);
    decoder.Tick(now, queue);
  }
  decoder.Tick(now + KeyDecoder::kEscapeDelayUs + 1, queue);
  for (const KeyCode& k : queue) {
    if (IsMarkerCode(k)) continue;
    if (k.empty() || k.size() > 2) std::abort();
    if (k.size() == 2 && static_cast<uint8_t>(k[0]) != 255) std::abort();
  }
  return 0;
}
