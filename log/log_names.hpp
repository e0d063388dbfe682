// The names of a session log's files: the log itself (Term.txt), the file
// of its times beside it (Term.times), and the earlier sessions' logs they
// become (Term.1.txt .. Term.9.txt, Term.1.times ..). Pure.
#pragma once
#include <string>
#include <string_view>

namespace qb7 {

inline constexpr std::string_view kLogFileName = "Term.txt";
inline constexpr std::string_view kTimesFileName = "Term.times";
// How many earlier sessions' logs are kept.
inline constexpr int kKeptLogs = 9;

// The times file beside a log: its extension replaced by ".times".
std::string TimesFileName(const std::string& log);
// The n-th earlier one of a file: ".n" before its extension.
std::string RotatedName(const std::string& file, int n);
// A file's name without its folder.
std::string_view BaseName(std::string_view path);

}  // namespace qb7
