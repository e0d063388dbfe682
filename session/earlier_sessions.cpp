#include "session/earlier_sessions.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "console/console.hpp"
#include "log/log_names.hpp"
#include "log/times_reading.hpp"
#include "log/session_keeping.hpp"
#include "os/whole_file.hpp"

namespace qb7 {

namespace {

// The most read of the end of one file: more than the history's rows of
// the longest lines.
constexpr std::size_t kTailBytes = 2u * 1024 * 1024;

struct Record {
  uint64_t offset = 0;
  int64_t us = RowTime::kNone;
  bool sinceReset = false;
  std::string what;
};

// The records with the time a row shows: since the reset where there was
// one, else since the session's start.
std::vector<Record> ParseRecords(const std::string& text) {
  std::vector<Record> records;
  for (TimesRecord& t : ParseTimesRecords(text)) {
    Record r;
    r.offset = t.offset;
    r.sinceReset = t.resetUs != TimesRecord::kNone;
    r.us = r.sinceReset ? t.resetUs : t.sessionUs == TimesRecord::kNone ? RowTime::kNone : t.sessionUs;
    r.what = std::move(t.what);
    records.push_back(std::move(r));
  }
  return records;
}

// "==== 2026-12-09 20:58:44 route 0 "VSC7420 Console - NEL=f(ST1)" 115200 baud ====".
std::string Divider(const std::string& startRecords) {
  constexpr std::string_view kStart = "\tstart: ";
  const std::size_t at = startRecords.find(kStart);
  const std::size_t end = at == std::string::npos ? at : startRecords.find('\n', at);
  if (end == std::string::npos || at == 0) return "==== an earlier session ====";
  const std::string what = startRecords.substr(at + kStart.size(), end - at - kStart.size());
  // The date: the field before, 2026-12-09T20:58:44.123+00:00.
  const std::size_t dateAt = startRecords.rfind('\t', at - 1);
  std::string date = dateAt == std::string::npos ? "" : startRecords.substr(dateAt + 1, at - dateAt - 1);
  if (date.size() >= 19) date = date.substr(0, 10) + " " + date.substr(11, 8);
  return "==== " + date + " " + what + " ====";
}

// The end of a regular file, at most `most` bytes; where it starts.
std::string ReadTail(const std::string& name, std::size_t most, uint64_t& start) {
  start = 0;
  struct stat st {};
  if (lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  start = size > most ? size - most : 0;
  std::string text;
  ReadFileRange(name, start, static_cast<std::size_t>(size - start), text);
  return text;
}

// Drops what comes before the first line start of a tail read from
// inside a file; returns how many bytes went.
std::size_t ToLineStart(std::string& tail, uint64_t start) {
  if (start == 0) return 0;
  const std::size_t nl = tail.find('\n');
  const std::size_t cut = nl == std::string::npos ? tail.size() : nl + 1;
  tail.erase(0, cut);
  return cut;
}

EarlierSession ReadSession(const std::string& log, const std::string& times) {
  EarlierSession s;
  uint64_t start = 0;
  s.text = ReadTail(log, kTailBytes, start);
  s.textStart = start + ToLineStart(s.text, start);
  uint64_t timesStart = 0;
  s.records = ReadTail(times, kTailBytes, timesStart);
  ToLineStart(s.records, timesStart);
  // The session's start: its first records.
  ReadFileRange(times, 0, 4096, s.startRecords);
  return s;
}

}  // namespace

std::vector<EarlierRow> RebuildRows(const EarlierSession& session) {
  std::vector<EarlierRow> rows;
  const std::vector<Record> records = ParseRecords(session.records);
  EarlierRow divider;
  divider.text = Divider(session.startRecords).substr(0, Screen::kCols);
  rows.push_back(divider);
  std::size_t next = 0;  // the next record not yet passed
  RowTime time;
  time.kind = RowTime::Kind::Received;
  std::size_t at = 0;
  while (at < session.text.size()) {
    const uint64_t offset = session.textStart + at;
    std::size_t end = session.text.find('\n', at);
    if (end == std::string::npos) end = session.text.size();
    // The records up to this line's start: its time, and marks made before it.
    while (next < records.size() && records[next].offset <= offset) {
      const Record& r = records[next++];
      if (r.what == "line") {
        time.us = r.us;
        time.sinceReset = r.sinceReset;
      } else if (r.what.rfind("mark: ", 0) == 0) {
        EarlierRow mark;
        mark.text = ("---- " + r.what).substr(0, Screen::kCols - 1);
        mark.time = {r.us, r.sinceReset, RowTime::Kind::Mark, 0};
        rows.push_back(mark);
      }
    }
    std::string line;
    for (std::size_t i = at; i < end; ++i)
      if (session.text[i] != '\r') line.push_back(session.text[i]);
    // Wrapped as the screen wraps a long line.
    std::size_t from = 0;
    do {
      rows.push_back({line.substr(from, Screen::kCols), time});
      from += Screen::kCols;
    } while (from < line.size());
    at = end + 1;
  }
  // Marks after the last line.
  for (; next < records.size(); ++next)
    if (records[next].what.rfind("mark: ", 0) == 0)
      rows.push_back({("---- " + records[next].what).substr(0, Screen::kCols - 1),
                      {records[next].us, records[next].sinceReset, RowTime::Kind::Mark, 0}});
  return rows;
}

void RecallEarlierSessions(Console& console, std::size_t historyRows) {
  console.KeepHistory(true);
  // Room for the rows on their way to the terminal, and some to spare.
  const std::size_t room = console.RowRoom();
  const std::size_t most = std::min(historyRows, room > 256 ? room - 256 : 0);
  for (const EarlierRow& row : ReadEarlierRows(std::string(kLogFileName), most)) {
    const bool divider = row.time.kind == RowTime::Kind::Drawn;
    const bool mark = row.time.kind == RowTime::Kind::Mark;
    const Cell blank{' ', static_cast<uint8_t>(divider ? 14 : mark ? 0 : 7),
                     static_cast<uint8_t>(divider ? 1 : mark ? 14 : 0)};
    Row cells;
    cells.fill(blank);
    for (std::size_t c = 0; c < row.text.size() && c < cells.size(); ++c)
      cells[c].ch = static_cast<uint8_t>(row.text[c]);
    console.screen().KeepAside(cells, row.time);
  }
  console.KeepHistory(false);
}

std::vector<EarlierRow> ReadEarlierRows(const std::string& log, std::size_t most) {
  // Newest first: the last session's own files, then the kept ones.
  std::vector<std::pair<std::string, std::string>> sessions;
  sessions.emplace_back(log, TimesFileName(log));
  const std::vector<std::string> kept = KeptSessions(log);
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) sessions.emplace_back(*it + ".txt", *it + ".times");
  std::vector<std::vector<EarlierRow>> found;
  std::size_t total = 0;
  for (const auto& [text, times] : sessions) {
    if (total >= most) break;
    struct stat st {};
    if (lstat(times.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    std::vector<EarlierRow> rows = RebuildRows(ReadSession(text, times));
    total += rows.size();
    found.push_back(std::move(rows));
  }
  std::vector<EarlierRow> rows;
  for (auto it = found.rbegin(); it != found.rend(); ++it)
    rows.insert(rows.end(), std::make_move_iterator(it->begin()), std::make_move_iterator(it->end()));
  if (rows.size() > most) rows.erase(rows.begin(), rows.end() - static_cast<std::ptrdiff_t>(most));
  return rows;
}

}  // namespace qb7
