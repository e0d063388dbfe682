#include "view/history_search.hpp"

#include <cmath>
#include <cstdio>

#include <algorithm>

#include "text/cp437.hpp"

namespace qb7 {

uint64_t ViewLines::First() const {
  return gone_ > HistoryStore::kKeptRows ? gone_ - HistoryStore::kKeptRows : 0;
}

const Row* ViewLines::Cells(uint64_t line, RowTime* time) const {
  if (line >= gone_) {
    const int row = static_cast<int>(line - gone_) + 1;
    if (row > Screen::kRows) return nullptr;
    if (time) *time = frame_.TimeOf(row);
    return &frame_.Cells(row);
  }
  const KeptRow* kept = history_.Find(line);
  if (!kept) return nullptr;
  if (time) *time = kept->time;
  return &kept->cells;
}

int FindInRow(const Row& row, std::string_view text, int from) {
  if (text.empty()) return -1;
  const int last = Screen::kCols - static_cast<int>(text.size());
  for (int c = std::max(from, 0); c <= last; ++c) {
    std::size_t i = 0;
    while (i < text.size() &&
           Cp437FoldCase(row[static_cast<std::size_t>(c) + i].ch) ==
               Cp437FoldCase(static_cast<uint8_t>(text[i])))
      ++i;
    if (i == text.size()) return c;
  }
  return -1;
}

std::optional<uint64_t> SearchBack(const ViewLines& lines, uint64_t from, std::string_view text) {
  if (lines.End() == 0) return std::nullopt;
  for (uint64_t line = std::min(from, lines.End() - 1) + 1; line-- > lines.First();) {
    const Row* row = lines.Cells(line);
    if (row && FindInRow(*row, text) >= 0) return line;
  }
  return std::nullopt;
}

std::optional<uint64_t> SearchForward(const ViewLines& lines, uint64_t from, std::string_view text) {
  for (uint64_t line = std::max(from, lines.First()); line < lines.End(); ++line) {
    const Row* row = lines.Cells(line);
    if (row && FindInRow(*row, text) >= 0) return line;
  }
  return std::nullopt;
}

std::string LinesAsText(const ViewLines& lines, const SessionHeaders& sessions, uint64_t& rows) {
  // The screen's rows below the last that shows anything are not text.
  uint64_t end = lines.End();
  while (end > lines.OfScreenRow(1)) {
    const Row* row = lines.Cells(end - 1);
    if (std::any_of(row->begin(), row->end(), [](const Cell& c) { return c.ch != ' '; })) break;
    --end;
  }
  std::string text(kSavedHistoryHeader);
  text += '\n';
  rows = 0;
  uint32_t session = 0;
  for (uint64_t line = lines.First(); line < end; ++line) {
    RowTime time;
    const Row* row = lines.Cells(line, &time);
    if (!row) continue;
    if (time.session != 0 && time.session != session) {
      session = time.session;
      const auto header = sessions.find(session);
      text += "==== session " + std::to_string(session) + ": " +
              (header != sessions.end() ? header->second : std::string("(not known)")) + " ====\n";
    }
    text += GutterText(time);
    text += time.kind == RowTime::Kind::Received ? "| " : time.kind == RowTime::Kind::Mark ? "* " : ": ";
    std::size_t length = Screen::kCols;
    while (length > 0 && (*row)[length - 1].ch == ' ') --length;
    for (std::size_t c = 0; c < length; ++c) text.push_back(static_cast<char>((*row)[c].ch));
    text.push_back('\n');
    ++rows;
  }
  return text;
}

std::string VersusText(const RowVersus& versus) {
  if (versus.kind == RowVersus::Kind::None) return std::string(10, ' ');
  if (versus.kind == RowVersus::Kind::New) return "  new     ";
  char text[48];
  const double tenths = std::round(static_cast<double>(versus.us) / 100.0);
  std::snprintf(text, sizeof text, "%+8.1f%c ", (tenths == 0 ? 0.0 : tenths) / 10.0,
                versus.moved ? '!' : versus.missing != 0 ? '-' : ' ');
  std::string out(text);
  // Beyond the column's reach (100 s or more), the sign and the fact.
  if (out.size() != 10) {
    out = versus.us > 0 ? "   +long" : "   -long";
    out += versus.moved ? "! " : "  ";
  }
  return out;
}

std::string GutterText(const RowTime& time) {
  if (!time.Known()) return std::string(12, ' ');
  char text[48];
  std::snprintf(text, sizeof text, "%c%10.3f ", time.sinceReset ? 'R' : 'S',
                static_cast<double>(time.us) / 1e6);
  return std::string(text).substr(0, 12);
}

}  // namespace qb7
