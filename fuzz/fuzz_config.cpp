// Any file as "Qb7_Uart.cfg": no crash, and the store keeps its limits.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/config_loader.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char dir[] = "/tmp/qb7fuzzcfg.XXXXXX";
  if (!mkdtemp(dir) || chdir(dir) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qb7;
  if (std::FILE* f = std::fopen("Qb7_Uart.cfg", "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  Files files(".");
  Store store;
  std::vector<ConfigFinding> findings;
  for (const ConfigProblem& problem : LoadConfiguration(files, store, &findings))
    if (problem.Text().empty()) std::abort();
  // Every finding stands on a line of the file, at a column of it, and is
  // shown with no control byte.
  for (const ConfigFinding& finding : findings) {
    if (finding.line < 1 || finding.column < 1 || static_cast<size_t>(finding.column) > size + 2)
      std::abort();
    for (char c : finding.Text("f"))
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
  }
  for (int n = 1; n <= Store::kSlots; ++n) {
    if (store.SlotCount(n) < 0 || store.SlotCount(n) > Store::kLinesPerSlot) std::abort();
    for (int k = 1; k <= store.SlotCount(n); ++k) {
      const std::string& line = store.SlotLine(n, k);
      if (line.empty() || line.front() == ' ' || line.back() == ' ' || line.front() == '\'')
        std::abort();
    }
  }
  if (store.HelpCount() < 0 || store.HelpCount() > Store::kHelpLines) std::abort();
  for (int k = 1; k <= store.HelpCount(); ++k)
    if (store.HelpLine(k).empty()) std::abort();
  return 0;
}
