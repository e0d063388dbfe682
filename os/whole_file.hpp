// A file written whole or not at all: the bytes go to a file of its own
// beside it (NAME.part, opened only as a regular file, made anew, never
// through a link and never waited on), reach the disk, and only then take
// the name, never in place of a file already there (NAME-2, NAME-3 .. are
// taken instead). Something else named NAME.part (a pipe, a folder) is left
// alone and told, and NAME-2.part is used. On any failure (a full disk)
// nothing is left under either name.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace qb7 {

struct WholeFile {
  int error = 0;     // errno of the failure; 0: written
  std::string path;  // where it was written, from the root
  std::string inTheWay;  // a NAME.part that is no regular file, left alone
};

WholeFile WriteWholeFile(const std::string& name, std::string_view content);

// Up to `length` bytes of a regular file from `offset` (never through a
// link or a pipe) into out; returns errno, 0 when read (out may be shorter:
// the file ends sooner).
int ReadFileRange(const std::string& name, uint64_t offset, std::size_t length, std::string& out);

// PREFIX-YYYYMMDD-HHMMSS.EXTENSION in local time.
std::string DatedName(std::string_view prefix, uint64_t wallUs, std::string_view extension);

}  // namespace qb7
