#include "os/files.hpp"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

namespace qb7 {

Files::Files(std::string programFolder) : programFolder_(std::move(programFolder)) {}

Files::~Files() { CloseAll(); }

int Files::FreeFileNumber() const {
  for (int n = 1; n <= kMaxFiles; ++n)
    if (entries_[n - 1].file == nullptr) return n;
  return 0;
}

bool Files::IsOpen(int number) const {
  return number >= 1 && number <= kMaxFiles && entries_[number - 1].file != nullptr;
}

void Files::OpenForReading(const std::string& name, int number) {
  if (number < 1 || number > kMaxFiles) return;
  CloseFile(number);
  errors_[number - 1] = 0;
  if (std::FILE* f = std::fopen(name.c_str(), "rbe"))
    entries_[number - 1] = {f, false};
  else
    NoteError(number);
}

void Files::OpenForOutput(const std::string& name, int number) {
  if (number < 1 || number > kMaxFiles) return;
  CloseFile(number);
  errors_[number - 1] = 0;
  if (std::FILE* f = std::fopen(name.c_str(), "wbe"))
    entries_[number - 1] = {f, true};
  else
    NoteError(number);
}

void Files::NoteError(int number) {
  if (number < 1 || number > kMaxFiles) return;
  if (errors_[number - 1] == 0) errors_[number - 1] = errno != 0 ? errno : EIO;
}

int Files::Error(int number) const {
  return number >= 1 && number <= kMaxFiles ? errors_[number - 1] : 0;
}

std::FILE* Files::Input(int number) {
  if (number < 1 || number > kMaxFiles) return nullptr;
  Entry& e = entries_[number - 1];
  return (e.file && !e.output) ? e.file : nullptr;
}

bool Files::EndOfFile(int number) {
  std::FILE* f = Input(number);
  if (!f) return true;
  int c = std::getc(f);
  if (c == EOF) {
    if (std::ferror(f)) NoteError(number);
    return true;
  }
  std::ungetc(c, f);
  return false;
}

std::string Files::ReadLine(int number) {
  std::string line;
  std::FILE* f = Input(number);
  if (!f) return line;
  int c;
  while ((c = std::getc(f)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
  if (c == EOF && std::ferror(f)) NoteError(number);
  if (c == '\n' && !line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void Files::WriteFile(int number, std::string_view text) {
  if (std::FILE* f = Output(number))
    if (std::fwrite(text.data(), 1, text.size(), f) != text.size()) NoteError(number);
}

void Files::Flush(int number) {
  if (std::FILE* f = Output(number))
    if (std::fflush(f) != 0) NoteError(number);
}

void Files::CloseFile(int number) {
  if (number < 1 || number > kMaxFiles) return;
  Entry& e = entries_[number - 1];
  if (e.file && std::fclose(e.file) != 0) NoteError(number);
  e = {};
}

void Files::CloseAll() {
  for (int n = 1; n <= kMaxFiles; ++n) CloseFile(n);
}

std::optional<std::string> Files::FindInFolder(const std::string& folder,
                                               const std::string& name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return std::nullopt;
  std::optional<std::string> found;
  while (dirent* entry = readdir(dir)) {
    const char* n = entry->d_name;
    if (n[0] == '.') continue;  // hidden files do not count
    if (strcasecmp(n, name.c_str()) != 0) continue;
    std::string path = folder.empty() ? std::string(n) : folder + "/" + n;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    // An exact match wins over one that differs in case.
    if (!found || name == n) found = n;
  }
  closedir(dir);
  return found;
}

std::optional<std::string> Files::FileExists(const std::string& name) {
  return FindInFolder("", name);
}

std::string Files::ExecutablePath() {
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  return n > 0 ? std::string(buf.data(), static_cast<std::size_t>(n)) : std::string();
}

std::string Files::ExecutableFolder() {
  const std::string path = ExecutablePath();
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace qb7
