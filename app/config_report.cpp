#include "app/config_report.hpp"

#include <cstdio>

#include "config/store.hpp"
#include "os/files.hpp"

namespace qb7 {

namespace {
constexpr std::size_t kRowWidth = 80;
// Rows 1..23: the message line has row 24, and row 25 stays clear.
constexpr std::size_t kListRows = 23;

std::size_t RowsFor(const std::string& text) {
  return text.empty() ? 1 : (text.size() + kRowWidth - 1) / kRowWidth;
}
}  // namespace

std::vector<std::string> ConfigFindingRows(const std::vector<ConfigFinding>& findings) {
  std::vector<std::string> rows;
  std::size_t used = 0;
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const std::string text = findings[i].Text(kConfigFileName);
    // Room is kept for the row that tells of the rest, unless this is the last.
    const std::size_t keep = i + 1 < findings.size() ? 1 : 0;
    if (used + RowsFor(text) + keep > kListRows) {
      rows.push_back("... and " + std::to_string(findings.size() - i) +
                     " more: qb7uart --check-config lists them all");
      break;
    }
    rows.push_back(text);
    used += RowsFor(text);
  }
  return rows;
}

std::string ConfigFindingsMessage(std::size_t count) {
  return "Config file: " + std::to_string(count) + (count == 1 ? " problem" : " problems") +
         ", listed above";
}

int CheckConfigCommand(const std::string& program, const std::string& path) {
  const std::string folder = Files::ExecutableFolder();
  const std::string file =
      path.empty() ? (folder == "/" ? "" : folder) + "/" + std::string(kConfigFileName) : path;
  Files files(folder);
  Store store;
  std::vector<ConfigFinding> findings;
  const std::vector<ConfigProblem> problems = LoadConfiguration(files, store, &findings, file);
  for (const ConfigProblem& problem : problems) {
    if (problem.kind == ConfigProblem::Kind::NonValidCommand) continue;  // among the findings
    std::fprintf(stderr, "%s: %s\n", program.c_str(), problem.Text().c_str());
    return 1;
  }
  for (const ConfigFinding& finding : findings) {
    // A terminal takes bytes 0x80..0x9F as controls too: they stand as codes.
    std::string text;
    for (char c : finding.Text(file)) {
      const auto b = static_cast<unsigned char>(c);
      if (b >= 0x80 && b <= 0x9F) {
        char code[5];
        std::snprintf(code, sizeof code, "<%02X>", b);
        text += code;
      } else {
        text += c;
      }
    }
    std::printf("%s\n", text.c_str());
  }
  if (findings.empty())
    std::printf("%s: no problems\n", file.c_str());
  else
    std::printf("%s: %zu %s\n", file.c_str(), findings.size(),
                findings.size() == 1 ? "problem" : "problems");
  return findings.empty() ? 0 : 1;
}

}  // namespace qb7
