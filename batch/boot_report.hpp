// The report of boots in a batch, for programs to read: one JSON line per
// boot as it ends, a summary line at the end (the times to the prompt:
// minimum, median, 95th percentile, maximum), the same as JUnit XML so a CI
// server shows each boot as a test case, and the lines a person reads on
// a terminal. Pure: the batch gives it what each boot measured.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qb7 {

// How a boot ended. Only Prompt passes.
enum class BootVerdict { Prompt, TimeOut, NoBoard, Overflow };

// "prompt", "time-out", "no board", "overflow".
const char* VerdictName(BootVerdict verdict);

struct BootRecord {
  int index = 0;           // 1 for the batch's first boot
  std::string start;       // the session's start, "2026-12-10T08:00:00.123+00:00"
  int route = 0;
  BootVerdict verdict = BootVerdict::TimeOut;
  bool anything = false;   // a byte came
  uint64_t firstByteUs = 0;
  bool prompt = false;     // the prompt came (an overflow may still fail the boot)
  uint64_t promptUs = 0;
  uint64_t timeOutUs = 0;
  std::string log;         // the kept session's name, "Term-20261210-080000-r0"
  bool Passed() const { return verdict == BootVerdict::Prompt; }
  // Why it failed, for a person: "no prompt within 10 s".
  std::string Why() const;
};

struct BootSummary {
  int boots = 0;
  int failures = 0;
  bool stopped = false;     // a signal ended the batch before its last boot
  // Over the boots that passed; all 0 when none did.
  uint64_t minUs = 0, medianUs = 0, p95Us = 0, maxUs = 0;
};

// The median is the middle time (the mean of the two middle ones for an
// even count); the 95th percentile the nearest rank, ceil(0.95 n).
BootSummary Summarize(const std::vector<BootRecord>& boots, bool stopped);

// {"boot":1,"start":"...","route":0,"result":"prompt","first_byte_ms":1.0,
//  "prompt_ms":2587.3,"log":"Term-20261210-080000-r0"}
std::string JsonLine(const BootRecord& boot);
// {"summary":{"boots":100,"failures":1,"stopped":false,"prompt_ms":{"min":..,
//  "median":..,"p95":..,"max":..}}}
std::string SummaryJsonLine(const BootSummary& summary);
// "100 boots, 1 failed; to the prompt: min 2.412 s, median 2.588 s, p95 2.741 s, max 2.803 s"
std::string SummaryText(const BootSummary& summary);
// "boot 37/100, last 2.59 s, 1 failed"
std::string ProgressText(int done, int total, const BootRecord& last, int failures);
// A JUnit XML file: one test suite named after the route, one test case
// per boot (its time the time to the prompt or the time-out), a failure
// element for each boot that did not pass.
std::string JUnitXml(const std::vector<BootRecord>& boots, const BootSummary& summary,
                     const std::string& suite, const std::string& timestamp);

// Text as a JSON string's contents: quotes, backslashes and control bytes
// escaped; bytes that are not UTF-8 as U+FFFD.
std::string JsonEscaped(const std::string& text);
// Text as XML 1.0 character data or an attribute value: the five special
// characters escaped, bytes XML cannot hold as U+FFFD.
std::string XmlEscaped(const std::string& text);

}  // namespace qb7
