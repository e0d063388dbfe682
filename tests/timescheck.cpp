// Test helper: how many of Term.times' line records stand at a line start
// of Term.txt, and whether every record is whole. Prints
// "N of M line records at a line start, B records not whole" and exits 1
// unless all are.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/times_alignment.hpp"

static std::string Read(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: timescheck TERM.TXT TERM.TIMES\n");
    return 2;
  }
  const qb7::test::Alignment a = qb7::test::CheckAlignment(Read(argv[1]), Read(argv[2]));
  std::printf("%llu of %llu line records at a line start, %llu records not whole\n",
              static_cast<unsigned long long>(a.atLineStart),
              static_cast<unsigned long long>(a.lines), static_cast<unsigned long long>(a.broken));
  return a.Aligned() ? 0 : 1;
}
