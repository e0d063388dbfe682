#include "batch/boot_report.hpp"

#include <algorithm>
#include <cstdio>

namespace qb7 {

namespace {

// The length of the UTF-8 sequence that starts at `at`, or 0 when the
// bytes there are not one.
std::size_t Utf8Length(const std::string& s, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = byte(at);
  std::size_t n = 0;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c >= 0xE0 && c <= 0xEF) n = 3;
  else if (c >= 0xF0 && c <= 0xF4) n = 4;
  else return 0;
  if (at + n > s.size()) return 0;
  for (std::size_t i = 1; i < n; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and code points past U+10FFFF.
  const unsigned char d = byte(at + 1);
  if (c == 0xE0 && d < 0xA0) return 0;
  if (c == 0xED && d > 0x9F) return 0;
  if (c == 0xF0 && d < 0x90) return 0;
  if (c == 0xF4 && d > 0x8F) return 0;
  return n;
}

// Walks the text: plain ASCII through `ascii`, whole UTF-8 sequences kept,
// anything else as U+FFFD.
template <typename Ascii>
std::string Escaped(const std::string& text, Ascii ascii) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Utf8Length(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else if (n == 1) {
      ascii(out, text[i]);
      ++i;
    } else {
      out.append(text, i, n);
      i += n;
    }
  }
  return out;
}

std::string Ms(uint64_t us) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(us) / 1000.0);
  return text;
}

std::string Seconds(uint64_t us, const char* format = "%.3f") {
  char text[32];
  std::snprintf(text, sizeof text, format, static_cast<double>(us) / 1e6);
  return text;
}

}  // namespace

std::string JsonEscaped(const std::string& text) {
  return Escaped(text, [](std::string& out, char c) {
    switch (c) {
      case '"': out += "\\\""; return;
      case '\\': out += "\\\\"; return;
      case '\n': out += "\\n"; return;
      case '\r': out += "\\r"; return;
      case '\t': out += "\\t"; return;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
          char u[8];
          std::snprintf(u, sizeof u, "\\u%04x", static_cast<unsigned char>(c));
          out += u;
        } else {
          out += c;
        }
    }
  });
}

std::string XmlEscaped(const std::string& text) {
  return Escaped(text, [](std::string& out, char c) {
    switch (c) {
      case '&': out += "&amp;"; return;
      case '<': out += "&lt;"; return;
      case '>': out += "&gt;"; return;
      case '"': out += "&quot;"; return;
      case '\'': out += "&apos;"; return;
      case '\n': out += "&#10;"; return;
      case '\r': out += "&#13;"; return;
      case '\t': out += "&#9;"; return;
      default:
        // Other control bytes have no place in an XML 1.0 document.
        if (static_cast<unsigned char>(c) < 0x20) out += "\xEF\xBF\xBD";
        else out += c;
    }
  });
}

const char* VerdictName(BootVerdict verdict) {
  switch (verdict) {
    case BootVerdict::Prompt: return "prompt";
    case BootVerdict::TimeOut: return "time-out";
    case BootVerdict::NoBoard: return "no board";
    case BootVerdict::Overflow: return "overflow";
  }
  return "time-out";
}

std::string BootRecord::Why() const {
  const std::string within = Seconds(timeOutUs, "%g");
  switch (verdict) {
    case BootVerdict::Prompt: return {};
    case BootVerdict::TimeOut:
      return anything ? "no prompt within " + within + " s" : "nothing received within " + within + " s";
    case BootVerdict::NoBoard: return "the QB7 board did not answer";
    case BootVerdict::Overflow: return "bytes lost: the receive FIFO overflowed";
  }
  return {};
}

BootSummary Summarize(const std::vector<BootRecord>& boots, bool stopped) {
  BootSummary s;
  s.boots = static_cast<int>(boots.size());
  s.stopped = stopped;
  std::vector<uint64_t> times;
  for (const BootRecord& b : boots) {
    if (b.Passed()) times.push_back(b.promptUs);
    else ++s.failures;
  }
  if (times.empty()) return s;
  std::sort(times.begin(), times.end());
  const std::size_t n = times.size();
  s.minUs = times.front();
  s.maxUs = times.back();
  s.medianUs = n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
  // Nearest rank: the smallest time at least 95% of the boots reached.
  const std::size_t rank = (95 * n + 99) / 100;
  s.p95Us = times[std::max<std::size_t>(rank, 1) - 1];
  return s;
}

std::string JsonLine(const BootRecord& b) {
  std::string line = "{\"boot\":" + std::to_string(b.index) + ",\"start\":\"" + JsonEscaped(b.start) +
                     "\",\"route\":" + std::to_string(b.route) + ",\"result\":\"" +
                     VerdictName(b.verdict) + "\",\"first_byte_ms\":" +
                     (b.anything ? Ms(b.firstByteUs) : "null") +
                     ",\"prompt_ms\":" + (b.prompt ? Ms(b.promptUs) : "null") + ",\"log\":";
  line += b.log.empty() ? "null" : "\"" + JsonEscaped(b.log) + "\"";
  return line + "}";
}

std::string SummaryJsonLine(const BootSummary& s) {
  std::string line = "{\"summary\":{\"boots\":" + std::to_string(s.boots) +
                     ",\"failures\":" + std::to_string(s.failures) +
                     ",\"stopped\":" + (s.stopped ? "true" : "false") + ",\"prompt_ms\":";
  if (s.failures == s.boots)
    line += "null";
  else
    line += "{\"min\":" + Ms(s.minUs) + ",\"median\":" + Ms(s.medianUs) + ",\"p95\":" + Ms(s.p95Us) +
            ",\"max\":" + Ms(s.maxUs) + "}";
  return line + "}}";
}

std::string SummaryText(const BootSummary& s) {
  std::string text = std::to_string(s.boots) + (s.boots == 1 ? " boot, " : " boots, ") +
                     std::to_string(s.failures) + " failed";
  if (s.stopped) text += ", stopped by a signal";
  if (s.failures == s.boots) return text;
  return text + "; to the prompt: min " + Seconds(s.minUs) + " s, median " + Seconds(s.medianUs) +
         " s, p95 " + Seconds(s.p95Us) + " s, max " + Seconds(s.maxUs) + " s";
}

std::string ProgressText(int done, int total, const BootRecord& last, int failures) {
  std::string text = "boot " + std::to_string(done) + "/" + std::to_string(total) + ", last ";
  text += last.Passed() ? Seconds(last.promptUs, "%.2f") + " s" : std::string(VerdictName(last.verdict));
  return text + ", " + std::to_string(failures) + " failed";
}

std::string JUnitXml(const std::vector<BootRecord>& boots, const BootSummary& summary,
                     const std::string& suite, const std::string& timestamp) {
  uint64_t totalUs = 0;
  for (const BootRecord& b : boots) totalUs += b.prompt ? b.promptUs : b.timeOutUs;
  const std::string name = XmlEscaped(suite);
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  xml += "<testsuites name=\"" + name + "\" tests=\"" + std::to_string(summary.boots) + "\" failures=\"" +
         std::to_string(summary.failures) + "\" errors=\"0\" time=\"" + Seconds(totalUs) + "\">\n";
  xml += "  <testsuite name=\"" + name + "\" tests=\"" + std::to_string(summary.boots) +
         "\" failures=\"" + std::to_string(summary.failures) + "\" errors=\"0\" skipped=\"0\" time=\"" +
         Seconds(totalUs) + "\" timestamp=\"" + XmlEscaped(timestamp) + "\">\n";
  for (const BootRecord& b : boots) {
    xml += "    <testcase classname=\"" + name + "\" name=\"boot " + std::to_string(b.index) +
           "\" time=\"" + Seconds(b.prompt ? b.promptUs : b.timeOutUs) + "\">\n";
    if (!b.Passed())
      xml += "      <failure type=\"" + std::string(VerdictName(b.verdict)) + "\" message=\"" +
             XmlEscaped(b.Why()) + "\">" + XmlEscaped(b.Why()) + "</failure>\n";
    xml += "      <system-out>" + XmlEscaped(JsonLine(b)) + "</system-out>\n";
    xml += "    </testcase>\n";
  }
  return xml + "  </testsuite>\n</testsuites>\n";
}

}  // namespace qb7
