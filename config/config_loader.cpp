#include "config/config_loader.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <new>
#include <string>

#include "macro/macro_scanner.hpp"
#include "os/program_exit.hpp"
#include "text/ascii.hpp"
#include "text/number_text.hpp"

namespace qb7 {

namespace {

enum class Section { kNone, kBaud, kHelp, kSlot, kCtrlC, kKeep, kPrompt };

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

// The name a slot has in the file: #F1..#F12, #SF1..#SF12.
std::string SlotName(int slot) {
  return slot > 12 ? "#SF" + std::to_string(slot - 12) : "#F" + std::to_string(slot);
}

// Where the loader is in the file, and what it finds there that the
// operator may not have meant (null: nobody asked).
struct Finder {
  std::vector<ConfigFinding>* findings = nullptr;
  int line = 0;
  std::array<int, Store::kSlots + 1> definedAt{};  // the file line of each slot's header
  struct SlotLine {
    int line;
    int column;
    std::string text;
  };
  std::array<std::vector<SlotLine>, Store::kSlots + 1> slotLines;  // each slot's stored lines
  std::string_view raw;  // the line as read, before the byte order mark

  int Column(std::string_view part) const {
    return static_cast<int>(part.data() - raw.data()) + 1;
  }
  void Find(std::string_view part, std::string where, std::string text) const {
    if (findings) findings->push_back({line, Column(part), std::move(where), std::move(text)});
  }
  // Line n of a slot's block, stored. A slot of one line plays it as a
  // macro; one of more starts GP.EXE and its lines are no macros: which it
  // is, the end of the file tells.
  void Slot(int slot, int n, std::string_view text) {
    if (!findings) return;
    if (n == 1) slotLines[slot].clear();
    slotLines[slot].push_back({line, Column(text), std::string(text)});
  }
  // The macros checked, and everything in file order.
  void Finish() {
    if (!findings) return;
    for (int slot = 1; slot <= Store::kSlots; ++slot) {
      if (slotLines[slot].size() != 1) continue;
      const SlotLine& stored = slotLines[slot].front();
      for (MacroFinding& f : CheckMacro(stored.text))
        findings->push_back({stored.line, stored.column + static_cast<int>(f.position) - 1,
                             SlotName(slot), std::move(f.text)});
    }
    std::stable_sort(findings->begin(), findings->end(),
                     [](const ConfigFinding& a, const ConfigFinding& b) {
                       return a.line != b.line ? a.line < b.line : a.column < b.column;
                     });
  }
  // A slot's header: one the writer may have meant for another key, or a
  // slot defined again (its earlier lines no longer play).
  void Header(std::string_view line, std::string_view header, bool shifted, int slot) {
    if (!findings) return;
    const std::string written(header.substr(0, header.find(' ')));
    if (shifted != (slot > 12))
      Find(line, written,
           "no " + std::string(shifted ? "Shift-F" : "F") + " key has this number: its lines go to " +
               SlotName(slot) + "'s slot");
    if (definedAt[slot] != 0)
      Find(line, written,
           "defined again: the lines from line " + std::to_string(definedAt[slot]) +
               " play no more");
    definedAt[slot] = this->line;
  }
  void Baud(std::string_view text) const {
    std::size_t read = 0;
    const int64_t baud = RoundHalfEven(ReadNumber(text, read));
    if (read == 0)
      Find(text, "#COMMODE", "no speed in \"" + std::string(text) + "\": the line speed becomes 0");
    else if (baud <= 0)
      Find(text, "#COMMODE", "speed " + std::to_string(baud) + ": no line runs at it");
  }
};

// Reads the file into the store, noting what it meets.
void Load(Files& files, Store& store, std::vector<ConfigProblem>& problems, Finder& finder,
          const std::string& path) {
  store.baud = kDefaultBaud;
  store.ctrlCSent = false;
  store.keepMB = Store::kDefaultKeepMB;
  store.prompts = {};
  std::optional<std::string> found;
  if (path.empty()) {
    found = Files::FileExists(std::string(kConfigFileName));
  } else {
    // A file named by the operator: found as the program's own is, case
    // ignored, in its folder.
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, std::max<std::size_t>(slash, 1));
    if (auto name = Files::FindInFolder(folder, path.substr(slash + 1)))
      found = folder.empty() ? *name : (folder == "/" ? "/" : folder + "/") + *name;
  }
  if (!found) {
    problems.push_back({Kind::NotFound, path.empty() ? std::string(kConfigFileName) : path});
    return;
  }
  store.ClearCounts();
  const int file = files.FreeFileNumber();
  files.OpenForReading(*found, file);

  Section section = Section::kBaud;
  int slot = 0;
  int lineNumber = 0;
  bool first = true;
  bool helpFull = false;
  while (!files.EndOfFile(file)) {
    const std::string raw = files.ReadLine(file);
    std::string_view line = raw;
    if (first && StartsWith(line, kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
    first = false;
    ++finder.line;
    finder.raw = line;
    line = TrimSpaces(line);
    const bool header = IsContent(line) && line.front() == '#';
    if (header) {
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
          finder.Header(line, Field(line, 1, numberAt + 1), shifted, slot);
          line = LeftTrimSpaces(From(line, numberAt + 2));
        } else {
          // The store has no such slot: reported like an unknown header, and
          // its lines go nowhere until the next header.
          problems.push_back({Kind::NonValidCommand, std::string(line)});
          finder.Find(line, std::string(line.substr(0, line.find(' '))),
                      "no such key: F1..F12 are #F1..#F12, Shift-F1..Shift-F12 #SF1..#SF12; "
                      "its lines go nowhere");
          continue;
        }
      } else if (StartsWith(upper, "#COMMODE")) {
        section = Section::kBaud;
        line = LeftTrimSpaces(From(line, 9));
      } else if (StartsWith(upper, "#HELP")) {
        section = Section::kHelp;
        line = LeftTrimSpaces(From(line, 6));
      } else if (StartsWith(upper, "#CTRLC")) {
        section = Section::kCtrlC;
        line = LeftTrimSpaces(From(line, 7));
      } else if (StartsWith(upper, "#PROMPT")) {
        section = Section::kPrompt;
        line = LeftTrimSpaces(From(line, 8));
      } else if (StartsWith(upper, "#KEEP")) {
        section = Section::kKeep;
        line = LeftTrimSpaces(From(line, 6));
      } else {
        problems.push_back({Kind::NonValidCommand, std::string(line)});
        finder.Find(line, std::string(line.substr(0, line.find(' '))),
                    "unknown header: the headers are #F1..#F12, #SF1..#SF12, #COMMODE, #HELP, #CTRLC, #KEEP and #PROMPT; "
                    "its lines go nowhere");
      }
    }
    if (!IsContent(line)) continue;
    switch (section) {
      case Section::kBaud:
        store.baud = ClampToInt32(RoundHalfEven(ReadNumber(line)));
        finder.Baud(line);
        break;
      case Section::kHelp:
        if (!store.AddHelpLine(line == "\"" ? std::string_view(" ") : line) && !helpFull) {
          helpFull = true;
          finder.Find(line, "#HELP", "more than 24 help lines: this one and those after it are not shown");
        }
        break;
      case Section::kSlot:
        // Lines past the 99th have no room in the store and are dropped.
        if (lineNumber < Store::kLinesPerSlot) {
          store.SetSlotLine(slot, ++lineNumber, line);
          finder.Slot(slot, lineNumber, line);
        } else if (lineNumber++ == Store::kLinesPerSlot) {
          finder.Find(line, SlotName(slot),
                      "more than 99 lines: this one and those after it are not played");
        }
        break;
      case Section::kCtrlC: {
        // SEND: Ctrl-C is a key sent to the board; END (the default): it
        // ends the program.
        const std::string word = UpperCase(line.substr(0, line.find(' ')));
        if (word == "SEND" || word == "END")
          store.ctrlCSent = word == "SEND";
        else
          finder.Find(line, "#CTRLC", "takes SEND (Ctrl-C goes to the board) or END (it ends the program)");
        break;
      }
      case Section::kKeep: {
        // The kept sessions' budget in megabytes: a whole number from 1.
        std::size_t read = 0;
        const int64_t mb = RoundHalfEven(ReadNumber(line, read));
        if (read == line.size() && mb >= 1)
          store.keepMB = static_cast<uint64_t>(mb);
        else
          finder.Find(line, "#KEEP",
                      "takes the megabytes the kept sessions may hold, 1 or more (500 if not given)");
        break;
      }
      case Section::kPrompt: {
        // A route's prompt: its number, then the text in double quotes.
        std::size_t read = 0;
        const int64_t route = RoundHalfEven(ReadNumber(line, read));
        const std::string_view rest = LeftTrimSpaces(line.substr(read));
        const std::size_t close = rest.size() > 1 ? rest.find('"', 1) : std::string_view::npos;
        if (read == 0 || route < 0 || route >= Store::kRoutes || rest.empty() || rest.front() != '"' ||
            close == std::string_view::npos || close == 1)
          finder.Find(line, "#PROMPT", "takes a route 0..5 and its prompt in double quotes: #PROMPT 0 \"vsc7420#\"");
        else
          store.prompts[static_cast<std::size_t>(route)] = std::string(rest.substr(1, close - 1));
        break;
      }
      case Section::kNone:
        // An unknown header itself was told as such.
        if (!header)
          finder.Find(line, "", "under an unknown header: goes nowhere");
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

std::string ConfigFinding::Text(std::string_view file) const {
  std::string text = std::string(file) + ":" + std::to_string(line) + ":" + std::to_string(column) + ": ";
  if (!where.empty()) text += where + ": ";
  text += this->text;
  // What the file holds is shown, never obeyed: a control byte (a bell, an
  // escape) stands as its code, so no list or terminal acts on it.
  std::string shown;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      shown += {'<', kHex[b >> 4], kHex[b & 15], '>'};
    } else {
      shown += c;
    }
  }
  return shown;
}

std::vector<ConfigProblem> LoadConfiguration(Files& files, Store& store,
                                             std::vector<ConfigFinding>* findings,
                                             const std::string& path) {
  std::vector<ConfigProblem> problems;
  Finder finder;
  finder.findings = findings;
  try {
    Load(files, store, problems, finder, path);
    finder.Finish();
    return problems;
  } catch (const std::bad_alloc&) {
    // A file far larger than any configuration: the program cannot go on
    // and says which file it was.
    throw ProgramFailure{"out of memory while reading " + std::string(kConfigFileName)};
  }
}

}  // namespace qb7
