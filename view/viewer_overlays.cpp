// What the view draws over the screen and the history: the gutter of row
// times, the matches of the last search, the counts beside the status line
// (or below the screen), the bottom row's prompt or notice; and the texts
// of the notices and counts.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "view/history_search.hpp"
#include "view/viewer.hpp"

namespace qb7 {

namespace {

// The bottom row, black on light grey; a match, black on yellow, the one
// searched for brighter.
constexpr Cell kBottomStyle{' ', 0, 7};
constexpr uint8_t kMatchFg = 0, kMatchBg = 6, kCurrentBg = 14;

void Put(Picture& p, int row, int col, std::string_view text, Cell style) {
  for (std::size_t i = 0; i < text.size() && col + static_cast<int>(i) < p.cols; ++i) {
    style.ch = static_cast<uint8_t>(text[i]);
    p.At(row, col + static_cast<int>(i)) = style;
  }
}

}  // namespace

std::string Viewer::SavedNotice(const std::string& path, uint64_t rows,
                                const std::string& inTheWay) {
  std::string notice = "History saved (" + std::to_string(rows) + " rows): " + path;
  if (!inTheWay.empty()) notice += " (" + inTheWay + " is not a regular file: left alone)";
  return notice;
}

std::string Viewer::NotSavedNotice(const std::string& name, int error) {
  return "History not saved: " + name + " (" + std::strerror(error) + ")";
}

namespace {
std::string Amount(uint64_t n) {
  if (n < 1000) return std::to_string(n);
  if (n < 1000000) return std::to_string(n / 1000) + "K";
  return std::to_string(n / 1000000) + "M";
}
}  // namespace

std::string Viewer::ShortCounts(const LineCounts& c) {
  return "rx " + Amount(c.received) + " f" + Amount(c.framing) + " o" + Amount(c.overflow);
}

std::string Viewer::LongCounts(const LineCounts& c) {
  return " received " + std::to_string(c.received) + " bytes   framing errors " +
         std::to_string(c.framing) + "   overflows " + std::to_string(c.overflow) + " ";
}

void Viewer::DrawGutter(Picture& inner) {
  picture_.rows = windowRows_;
  picture_.cols = windowCols_;
  picture_.cells.assign(static_cast<std::size_t>(windowRows_ * windowCols_), Cell{});
  picture_.cursorRow = inner.cursorRow;
  const int cols = GutterCols();
  picture_.cursorCol = inner.cursorCol < 0 ? -1 : inner.cursorCol + cols;
  const ViewLines lines(frame_->screen, history_);
  const uint64_t top = TopLine();
  for (int r = 0; r < inner.rows; ++r) {
    for (int c = 0; c < inner.cols; ++c) picture_.At(r, c + cols) = inner.At(r, c);
    if (r >= layout_.Shown()) continue;
    RowTime time;
    if (!lines.Cells(top + static_cast<uint64_t>(r), &time) || !time.Known()) continue;
    Put(picture_, r, 0, GutterText(time), Cell{' ', 8, 0});
    // The line that moved in yellow, a new one in light cyan.
    if (gutter_ == Gutter::Versus)
      Put(picture_, r, kGutterCols, VersusText(time.versus),
          Cell{' ', static_cast<uint8_t>(time.versus.moved ? 14 : time.versus.kind == RowVersus::Kind::New ? 11 : 8), 0});
  }
}

void Viewer::Highlight(Picture& out, int offset) {
  const ViewLines lines(frame_->screen, history_);
  const uint64_t top = TopLine();
  for (int r = 0; r < layout_.Shown() && r < out.rows; ++r) {
    const uint64_t line = top + static_cast<uint64_t>(r);
    const Row* row = lines.Cells(line);
    if (!row) continue;
    const uint8_t bg = match_ && *match_ == line ? kCurrentBg : kMatchBg;
    for (int at = FindInRow(*row, searched_); at >= 0;
         at = FindInRow(*row, searched_, at + static_cast<int>(searched_.size()))) {
      for (int c = at; c < at + static_cast<int>(searched_.size()); ++c) {
        const int shown = c - (layout_.place.left - 1);
        if (shown < 0 || shown >= layout_.cols) continue;
        Cell& cell = out.At(r, shown + offset);
        cell.fg = kMatchFg;
        cell.bg = bg;
      }
    }
  }
}

void Viewer::DrawCounts(Picture& out) {
  const LineCounts& c = frame_->counts;
  if (!c.session) return;
  constexpr Cell kStyle{' ', 0, 7};
  if (out.rows > layout_.Shown()) {
    // A window taller than the screen: the row below it.
    Put(out, layout_.Shown(), 0,
        LongCounts(c) + (c.bootLength ? "  " + std::string(c.Boot()) + " " : std::string()), kStyle);
    return;
  }
  // The boot's report at the top right (below the counts when they stand
  // there), where it hides neither the prompt nor the row being written.
  if (c.bootLength != 0) {
    const std::string boot = " " + std::string(c.Boot()) + " ";
    const bool countsAtTop = c.framing != 0 || c.overflow != 0 || place_.back > 0;
    const int col = out.cols - static_cast<int>(boot.size());
    if (col >= 0 && out.rows > 2) Put(out, countsAtTop ? 1 : 0, col, boot, Cell{' ', 0, 10});
  }
  const std::string text = ShortCounts(c);
  if (BesideStatusLine(out, text, kStyle)) return;
  // Once an error has come, the counts stay in view wherever the status
  // line is: at the top right, left of the history's tag when it shows.
  if (c.framing == 0 && c.overflow == 0) return;
  const std::string shown = place_.back > 0 ? text + " " : text;
  const int tag = place_.back > 0 ? static_cast<int>(HistoryTag(place_.back).size()) : 0;
  const int col = out.cols - tag - static_cast<int>(shown.size());
  if (col >= 0) Put(out, 0, col, shown, kStyle);
}

bool Viewer::BesideStatusLine(Picture& out, const std::string& text, Cell style) {
  if (place_.back > 0) return false;
  const LineCounts& c = frame_->counts;
  const int64_t row = static_cast<int64_t>(c.statusRow) - static_cast<int64_t>(frame_->screen.RowsGone()) + 1;
  const int shownRow = static_cast<int>(row) - layout_.place.top + layout_.above;
  if (row < 1 || shownRow < layout_.above || shownRow >= layout_.Shown()) return false;
  const int firstFree = c.statusLength + 1;  // 0-based: a blank column after the text
  const int at = Screen::kCols - static_cast<int>(text.size());  // 0-based screen column
  if (at < firstFree) return false;  // no room beside this title
  const int col = at - (layout_.place.left - 1);
  if (col < 0 || col + static_cast<int>(text.size()) > layout_.cols) return false;
  Put(out, shownRow, col, text, style);
  return true;
}

void Viewer::DrawHex(Picture& out) {
  // 16 bytes a line: "00001A40! 1B 5B 33 31 6D 72 65 64  20 6C 69 6E 65 0D 0A 41  |.[31mred line..A|",
  // a '!' after the offset where a receive error came with the bytes.
  out.rows = windowRows_;
  out.cols = windowCols_;
  out.cells.assign(static_cast<std::size_t>(windowRows_ * windowCols_), Cell{' ', 7, 0});
  out.cursorRow = out.cursorCol = -1;
  const HexShown& h = *hexShown_;
  const std::string& bytes = h.bytes;
  const int lines = windowRows_ - 1;
  std::size_t at = static_cast<std::size_t>(h.top) * 16;
  for (int r = 0; r < lines && at < bytes.size(); ++r, at += 16) {
    const uint64_t offset = h.request.from + at;
    const std::size_t n = std::min<std::size_t>(16, bytes.size() - at);
    const bool error = std::any_of(h.request.errors.begin(), h.request.errors.end(),
                                   [&](uint64_t e) { return e >= offset && e < offset + n; });
    if (r == lines - 1 && bytes.size() - at > 16) {
      Put(out, r, 0, "... " + std::to_string(bytes.size() - at) + " bytes more (Shift-PgDn)", Cell{' ', 8, 0});
      break;
    }
    char text[128];
    int len = std::snprintf(text, sizeof text, "%08llX%c ", static_cast<unsigned long long>(offset),
                            error ? '!' : ' ');
    for (std::size_t i = 0; i < 16; ++i) {
      if (i == 8) text[len++] = ' ';
      len += i < n ? std::snprintf(text + len, sizeof text - static_cast<std::size_t>(len), "%02X ",
                                   static_cast<unsigned char>(bytes[at + i]))
                   : std::snprintf(text + len, sizeof text - static_cast<std::size_t>(len), "   ");
    }
    text[len++] = '|';
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char c = static_cast<unsigned char>(bytes[at + i]);
      text[len++] = c >= 32 && c < 127 ? static_cast<char>(c) : '.';
    }
    text[len++] = '|';
    Put(out, r, 0, std::string_view(text, static_cast<std::size_t>(len)),
        error ? Cell{' ', 15, 4} : Cell{' ', 7, 0});
  }
  char range[96];
  std::snprintf(range, sizeof range, "%s %llX..%llX", kRawFileName.data(),
                static_cast<unsigned long long>(h.request.from),
                static_cast<unsigned long long>(h.request.from + bytes.size()));
  std::string bottom = h.error != 0 ? std::string(kRawFileName) + " not read: " + std::strerror(h.error)
                                    : std::string(range) + ": the bytes of the rows in view";
  if (!h.request.errors.empty()) bottom += " (! a receive error)";
  bottom += "; any key: back";
  const int row = out.rows - 1;
  for (int c = 0; c < out.cols; ++c) out.At(row, c) = kBottomStyle;
  Put(out, row, 0, bottom, kBottomStyle);
}

void Viewer::DrawBottomLine(Picture& out) {
  std::string text;
  if (prompt_)
    text = (markPrompt_ ? std::string(kMarkPrompt) : "/") + typed_;
  else if (speedPrompt_)
    text = SpeedPromptText();
  else if (!notice_.empty())
    text = notice_;
  else if (frame_ && !frame_->Notice().empty())
    text = std::string(frame_->Notice());  // the program's own news
  else
    return;
  const int row = out.rows - 1;
  for (int c = 0; c < out.cols; ++c) out.At(row, c) = kBottomStyle;
  Put(out, row, 0, text, kBottomStyle);
  if (prompt_) {
    out.cursorRow = row;
    out.cursorCol = std::min(static_cast<int>(text.size()), out.cols - 1);
  }
}

}  // namespace qb7
