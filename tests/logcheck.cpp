// Test helper: checks that a session log is a given opening text followed
// by an unbroken stretch of the test pattern from its start. Prints the
// number of pattern bytes found; exits 1 when anything is missing or out of
// order.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "sim/pattern.hpp"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: logcheck LOG OPENING\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string opening = argv[2];
  std::size_t nl;
  while ((nl = opening.find("\\r\\n")) != std::string::npos) opening.replace(nl, 4, "\r\n");
  if (log.compare(0, opening.size(), opening) != 0) {
    std::fprintf(stderr, "logcheck: the log does not open with the expected text\n");
    return 1;
  }
  const std::size_t n = log.size() - opening.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (static_cast<uint8_t>(log[opening.size() + i]) != qb7::sim::PatternByte(i)) {
      std::fprintf(stderr, "logcheck: pattern byte %zu differs\n", i);
      return 1;
    }
  }
  std::printf("%zu\n", n);
  return 0;
}
