// SGR mouse reports of any length and content, well formed or not: each is
// read to its final byte and becomes at most one of the view's codes; no
// byte of it reaches the board as a key. The key typed after it is decoded
// as itself.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "keys/key_decoder.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qb7;
  if (size == 0) return 0;
  std::string report = "\x1b[<";
  // Parameter bytes (digits, ';', '<' .. '?'), as many as the input gives.
  for (size_t i = 1; i < size; ++i) report.push_back(static_cast<char>(0x30 + data[i] % 16));
  report.push_back(data[0] & 1 ? 'M' : 'm');
  report.push_back('Z');
  KeyDecoder decoder(data[0] & 2 ? KeyFamily::Rxvt : KeyFamily::Xterm);
  DecodedKeys keys;
  for (unsigned char b : report) decoder.Feed(b, 0, keys);
  decoder.Tick(KeyDecoder::kEscapeDelayUs + 1, keys);
  if (keys.empty() || keys.back() != "Z" || keys.size() > 2) std::abort();
  if (keys.size() == 2 && !IsViewCode(keys.front())) std::abort();
  return 0;
}
