// The names of a session log's files: the log itself (Term.txt), the file
// of its times beside it (Term.times) and the bytes as received
// (Term.raw). Pure.
#pragma once
#include <string>
#include <string_view>

namespace qb7 {

inline constexpr std::string_view kLogFileName = "Term.txt";
inline constexpr std::string_view kTimesFileName = "Term.times";
inline constexpr std::string_view kRawFileName = "Term.raw";

// The times file beside a log: its extension replaced by ".times".
std::string TimesFileName(const std::string& log);
// The raw file beside a log: its extension replaced by ".raw".
std::string RawFileName(const std::string& log);
// A file's name without its folder.
std::string_view BaseName(std::string_view path);

}  // namespace qb7
