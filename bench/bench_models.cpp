// Micro-benchmarks of the models on the receive and start-up paths.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "config/config_loader.hpp"
#include "console/headless_frontend.hpp"
#include "keys/key_decoder.hpp"
#include "session/interpreter.hpp"

namespace {

using namespace qb7;

class NullSink final : public ByteSink {
 public:
  void Put(uint8_t b, uint64_t) override { sum += b; }
  uint64_t sum = 0;
};

// What a console prints: mostly text, a colour sequence every few dozen
// bytes, line ends, now and then a tab, a backspace or another control byte.
std::string RealisticStream(std::size_t size) {
  std::mt19937 rng(42);
  static const char* const kColours[] = {"\x1b[1;32m", "\x1b[0m", "\x1b[31m", "\x1b[33;44m",
                                         "\x1b[m", "\x1b[2J"};
  std::string s;
  while (s.size() < size) {
    int run = 20 + static_cast<int>(rng() % 40);
    for (int i = 0; i < run; ++i) s.push_back(static_cast<char>('a' + rng() % 26));
    switch (rng() % 8) {
      case 0: case 1: case 2: s += kColours[rng() % 6]; break;
      case 3: case 4: s += "\r\n"; break;
      case 5: s += '\t'; break;
      case 6: s += '\b'; break;
      default: s += static_cast<char>(1 + rng() % 6); break;
    }
  }
  s.resize(size);
  return s;
}

void BM_InterpreterAndScreen(benchmark::State& state) {
  const std::string stream = RealisticStream(1 << 20);
  VirtualClock clock;
  HeadlessFrontend frontend;
  Console console(frontend, clock);
  ColourPair colours;
  NullSink log;
  Interpreter interpreter(console, colours, log);
  for (auto _ : state) {
    interpreter.Feed(stream);
    benchmark::DoNotOptimize(log.sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_InterpreterAndScreen)->Unit(benchmark::kMillisecond);

void BM_ConfigLoader1MB(benchmark::State& state) {
  char dir[] = "/tmp/qb7bench.XXXXXX";
  mkdtemp(dir);
  chdir(dir);
  std::string file = "#COMMODE 115200\n#HELP\nsome help\n";
  int slot = 1;
  while (file.size() < (1 << 20)) {
    file += "#F" + std::to_string(slot) + " \"status\" CR W500 $13 ' comment\n";
    for (int i = 0; i < 120; ++i) file += "  \"line " + std::to_string(i) + "\" CR   \n";
    slot = slot % 12 + 1;
  }
  if (FILE* f = std::fopen("Qb7_Uart.cfg", "wb")) {
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
  }
  Files files(dir);
  for (auto _ : state) {
    Store store;
    benchmark::DoNotOptimize(LoadConfiguration(files, store));
    benchmark::DoNotOptimize(store.baud);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
  std::remove("Qb7_Uart.cfg");
}
BENCHMARK(BM_ConfigLoader1MB)->Unit(benchmark::kMillisecond);

void BM_KeyDecoding(benchmark::State& state) {
  std::string bytes;
  const char* const kKeys[] = {"\x1bOP", "\x1b[1;2R", "\x1b[1;5A", "\x1b[1~", "\x1bx", "a", "\r",
                               "\x1b[24;5~", "\x7f", "\x1b[Z"};
  for (int i = 0; i < 1000; ++i) bytes += kKeys[i % 10];
  KeyDecoder decoder;
  DecodedKeys queue;
  for (auto _ : state) {
    for (unsigned char b : bytes) decoder.Feed(b, 0, queue);
    for (auto& key : queue) benchmark::DoNotOptimize(key);
    queue.clear();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 1000));
}
BENCHMARK(BM_KeyDecoding);

}  // namespace
