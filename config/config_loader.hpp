// Reads "Qb7_Uart.cfg" from the working directory into the store: the baud,
// the function-key macros and the help lines. It tells no one: what it met
// comes back as a list, for start-up to show the operator in order.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "config/store.hpp"
#include "os/files.hpp"

namespace qb7 {

inline constexpr std::string_view kConfigFileName = "Qb7_Uart.cfg";
inline constexpr int kDefaultBaud = 115200;

// Something the loader met, with the text the operator reads.
struct ConfigProblem {
  enum class Kind {
    NotFound,         // no such file: the defaults are in force
    NonValidCommand,  // a header with no keyword, or a slot the store lacks
    NotReadable,      // there, but reading it failed: the defaults are in force
  };
  Kind kind;
  std::string detail;  // the header line, or the file and the reason
  std::string Text() const;
};

// What the file holds that its writer may not have meant, where it is:
// "Qb7_Uart.cfg:14:18: #F9: unknown word CRR". The file loads and plays as
// written all the same; this is said before anything is played.
struct ConfigFinding {
  int line = 0;       // 1-based, in the file
  int column = 0;     // 1-based, in that line (after a byte order mark)
  std::string where;  // the section or header: "#F9", "#HELP", "#F13"; may be empty
  std::string text;
  std::string Text(std::string_view file) const;
};

// Fills the store; returns what it met, in the order met, and with findings
// given, what the file holds that may not be meant, in file order. Reads
// the working directory's Qb7_Uart.cfg, or the file at path. Throws
// ProgramFailure when the memory runs out (a file far larger than any
// configuration).
std::vector<ConfigProblem> LoadConfiguration(Files& files, Store& store,
                                             std::vector<ConfigFinding>* findings = nullptr,
                                             const std::string& path = {});

}  // namespace qb7
