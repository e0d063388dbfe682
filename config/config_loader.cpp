#include "config/config_loader.hpp"

#include <cstring>
#include <new>
#include <string>

#include "os/program_exit.hpp"
#include "text/ascii.hpp"
#include "text/number_text.hpp"

namespace qb7 {

namespace {

enum class Section { kNone, kBaud, kHelp, kSlot };

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string_view LeftTrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

// Characters from a 1-based position on; empty when the text is shorter.
std::string_view From(std::string_view s, std::size_t position) {
  return position - 1 < s.size() ? s.substr(position - 1) : std::string_view{};
}

std::string_view Field(std::string_view s, std::size_t position, std::size_t length) {
  return From(s, position).substr(0, length);
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// What Windows editors put before the first line of a UTF-8 file.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsContent(std::string_view line) { return !line.empty() && line.front() != '\''; }

using Kind = ConfigProblem::Kind;

// Reads the file into the store, noting what it meets.
void Load(Files& files, Store& store, std::vector<ConfigProblem>& problems) {
  store.baud = kDefaultBaud;
  auto found = Files::FileExists(std::string(kConfigFileName));
  if (!found) {
    problems.push_back({Kind::NotFound, std::string(kConfigFileName)});
    return;
  }
  store.ClearCounts();
  const int file = files.FreeFileNumber();
  files.OpenForReading(*found, file);

  Section section = Section::kBaud;
  int slot = 0;
  int lineNumber = 0;
  bool first = true;
  while (!files.EndOfFile(file)) {
    const std::string raw = files.ReadLine(file);
    std::string_view line = raw;
    if (first && StartsWith(line, kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
    first = false;
    line = TrimSpaces(line);
    if (IsContent(line) && line.front() == '#') {
      section = Section::kNone;
      lineNumber = 0;
      const std::string upper = UpperCase(line);
      if (StartsWith(upper, "#F") || StartsWith(upper, "#SF")) {
        const bool shifted = upper[1] == 'S';
        const std::size_t numberAt = shifted ? 4 : 3;
        int64_t n = RoundHalfEven(ReadNumber(Field(line, numberAt, 2))) + (shifted ? 12 : 0);
        if (Store::ValidSlot(static_cast<int>(n))) {
          section = Section::kSlot;
          slot = static_cast<int>(n);
          line = LeftTrimSpaces(From(line, numberAt + 2));
        } else {
          // The store has no such slot: reported like an unknown header, and
          // its lines go nowhere until the next header.
          problems.push_back({Kind::NonValidCommand, std::string(line)});
          continue;
        }
      } else if (StartsWith(upper, "#COMMODE")) {
        section = Section::kBaud;
        line = LeftTrimSpaces(From(line, 9));
      } else if (StartsWith(upper, "#HELP")) {
        section = Section::kHelp;
        line = LeftTrimSpaces(From(line, 6));
      } else {
        problems.push_back({Kind::NonValidCommand, std::string(line)});
      }
    }
    if (!IsContent(line)) continue;
    switch (section) {
      case Section::kBaud:
        store.baud = ClampToInt32(RoundHalfEven(ReadNumber(line)));
        break;
      case Section::kHelp:
        store.AddHelpLine(line == "\"" ? std::string_view(" ") : line);
        break;
      case Section::kSlot:
        // Lines past the 99th have no room in the store and are dropped.
        if (lineNumber < Store::kLinesPerSlot) store.SetSlotLine(slot, ++lineNumber, line);
        break;
      case Section::kNone:
        break;
    }
  }
  // A file that is there but cannot be read leaves the defaults, as a
  // missing one does, and the operator is told why.
  if (int error = files.Error(file))
    problems.push_back({Kind::NotReadable, *found + " (" + std::strerror(error) + ")"});
  files.CloseFile(file);
}

}  // namespace

std::string ConfigProblem::Text() const {
  switch (kind) {
    case Kind::NotFound: return "Config file not found: " + detail;
    case Kind::NonValidCommand: return "Non Valid Command: " + detail;
    case Kind::NotReadable: return "Config file not readable: " + detail;
  }
  return detail;
}

std::vector<ConfigProblem> LoadConfiguration(Files& files, Store& store) {
  std::vector<ConfigProblem> problems;
  try {
    Load(files, store, problems);
    return problems;
  } catch (const std::bad_alloc&) {
    // A file far larger than any configuration: the program cannot go on
    // and says which file it was.
    throw ProgramFailure{"out of memory while reading " + std::string(kConfigFileName)};
  }
}

}  // namespace qb7
