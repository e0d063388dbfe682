// The macro language of a slot line, scanned: quoted text, $codes, the
// words CR and LF, and W waits become the steps a player carries out in
// order (bytes to send, pauses, reports of what could not be read). Pure:
// no port, no clock, no screen, so any line can be scanned in isolation.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb7 {

struct MacroStep {
  enum class Kind {
    Send,        // the byte, paced as every byte sent is
    Pause,       // ms (from 100 ms up, a key typed meanwhile ends it early)
    PauseUntilKey,  // W-1: until a key is waiting (left for the session)
    Report,      // the text cannot be read at this 1-based position
  };
  Kind kind = Kind::Send;
  uint8_t byte = 0;
  int64_t ms = 0;
  std::size_t position = 0;
};

// What the operator reads of a report: the line as scanned (with its
// appended space) and the position, "Cmd:LINE   PosN ??". In two parts,
// so that a line with many reports is held once.
std::string MacroReportHead(std::string_view line);
std::string MacroReportTail(std::size_t position);

// The scanner's states, as the macro language names them.
enum class MacroState { Idle = 0, Quoted = 1, Code = 2, Wait = 3, AfterC = 4, AfterL = 5 };

// The steps of one slot line, in order. An apostrophe outside quotes ends
// the line (the rest is a comment); a space is appended first, so that a
// number standing last is ended.
std::vector<MacroStep> ScanMacro(std::string_view line);

// What a slot line does that its writer may not have meant, found by the
// same scan before it is ever played: a word the language does not know, a
// quote never closed, a code or a wait that is no number or is read as
// another. The line plays as scanned all the same.
struct MacroFinding {
  std::size_t position = 0;  // 1-based, where the word begins
  std::string text;          // what the operator reads
};
std::vector<MacroFinding> CheckMacro(std::string_view line);

}  // namespace qb7
