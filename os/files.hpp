// Numbered sequential files (1..255): text read by lines, raw bytes written.
// Nothing here reports an error: a file that cannot be opened stays not
// open, reads give end of file, writes are dropped. The system's reason is
// kept (Error) so that callers can decide what to tell the operator.
// Every file is opened close-on-exec: a program started from here inherits
// none of them.
#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace qb7 {

class Files {
 public:
  static constexpr int kMaxFiles = 255;

  explicit Files(std::string programFolder);
  ~Files();
  Files(const Files&) = delete;
  Files& operator=(const Files&) = delete;

  // The lowest number 1..255 that is not open, or 0.
  int FreeFileNumber() const;
  void OpenForReading(const std::string& name, int number);
  // Creates the file, or empties it; bytes are written exactly as given.
  void OpenForOutput(const std::string& name, int number);
  bool IsOpen(int number) const;
  bool EndOfFile(int number);
  // Up to the next line feed; the line feed and one carriage return before
  // it are dropped. No length limit; the last line needs no line feed.
  std::string ReadLine(int number);
  void WriteFile(int number, std::string_view text);
  void WriteByte(int number, uint8_t byte) {
    if (auto* f = Output(number))
      if (std::putc(byte, f) == EOF) NoteError(number);
  }
  // Pushes what was written so far to the disk.
  void Flush(int number);
  void CloseFile(int number);
  void CloseAll();
  // The errno of the first failure since the number was last opened (the
  // open itself, a read, a write or a flush), or 0.
  int Error(int number) const;

  // Looks in the working directory for an ordinary, not hidden file whose
  // name equals the given one with case ignored; returns the name found.
  static std::optional<std::string> FileExists(const std::string& name);
  // The same search in another folder.
  static std::optional<std::string> FindInFolder(const std::string& folder,
                                                 const std::string& name);
  // The folder that holds the running program's executable.
  const std::string& ProgramFolder() const { return programFolder_; }
  // The executable of the running process, and its folder, from the kernel.
  static std::string ExecutablePath();
  static std::string ExecutableFolder();

 private:
  struct Entry {
    std::FILE* file = nullptr;
    bool output = false;
  };
  std::FILE* Output(int number) {
    if (number < 1 || number > kMaxFiles) return nullptr;
    Entry& e = entries_[number - 1];
    return e.output ? e.file : nullptr;
  }
  std::FILE* Input(int number);
  void NoteError(int number);

  std::string programFolder_;
  std::array<Entry, kMaxFiles> entries_{};
  std::array<int, kMaxFiles> errors_{};
};

}  // namespace qb7
