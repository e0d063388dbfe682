#include "view/view.hpp"

#include <algorithm>

#include "view/history_store.hpp"

namespace qb7 {

std::string HistoryTag(int back) { return " history: " + std::to_string(back) + " rows back "; }

namespace {

// The PC glyphs of the markers, black on light grey.
constexpr uint8_t kUp = 0x1E, kDown = 0x1F, kRight = 0x10, kLeft = 0x11;
constexpr Cell Marker(uint8_t glyph) { return Cell{glyph, 0, 7}; }

// The start of the view on one axis: kept while the cursor stays in it.
int Follow(int last, int cursor, int shown, int size) {
  int start = std::clamp(last, 1, size - shown + 1);
  cursor = std::clamp(cursor, 1, size);
  if (cursor < start) start = cursor;
  if (cursor > start + shown - 1) start = cursor - shown + 1;
  return start;
}

void Write(Picture& p, int row, int col, std::string_view text, Cell style) {
  for (std::size_t i = 0; i < text.size() && col + static_cast<int>(i) < p.cols; ++i) {
    if (col + static_cast<int>(i) < 0) continue;
    style.ch = static_cast<uint8_t>(text[i]);
    p.At(row, col + static_cast<int>(i)) = style;
  }
}

void DrawNotice(Picture& out) {
  // Word by word, so that the size is never cut in half.
  const std::string text = "qb7uart needs a window of at least " + std::to_string(kMinCols) + "x" +
                           std::to_string(kMinRows) + "; this one is " + std::to_string(out.cols) +
                           "x" + std::to_string(out.rows) + ".";
  int row = 0, col = 0;
  std::size_t at = 0;
  while (at < text.size() && row < out.rows) {
    std::size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const int length = static_cast<int>(end - at);
    if (col > 0 && col + length > out.cols) {
      ++row;
      col = 0;
      if (row >= out.rows) break;
    }
    Write(out, row, col, std::string_view(text).substr(at, end - at), Cell{});
    col += length + 1;
    at = end + 1;
  }
}

}  // namespace

std::string Picture::RowText(int r) const {
  std::string text;
  for (int c = 0; c < cols; ++c) text.push_back(static_cast<char>(At(r, c).ch));
  return text;
}

ViewLayout PlaceView(const ViewInput& in, const ViewPlace& last) {
  ViewLayout l;
  if (in.windowRows < kMinRows || in.windowCols < kMinCols) {
    l.tooSmall = true;
    l.place = last;
    return l;
  }
  l.rows = std::min(in.windowRows, Screen::kRows);
  l.cols = std::min(in.windowCols, Screen::kCols);
  l.place.top = Follow(last.top, in.cursorRow, l.rows, Screen::kRows);
  // Column 1 whenever it fits with the cursor's: where lines start (their
  // numbers, their prompts) stays in sight.
  l.place.left = in.cursorCol <= l.cols ? 1 : Follow(last.left, in.cursorCol, l.cols, Screen::kCols);
  // Rows beyond the screen and the counts' row: the history's latest.
  l.above = static_cast<int>(std::min<uint64_t>(
      static_cast<uint64_t>(std::max(in.windowRows - Screen::kRows - 1, 0)), in.historyRows));
  const uint64_t most = in.historyRows - static_cast<uint64_t>(l.above) + static_cast<uint64_t>(l.place.top - 1);
  l.place.back = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(std::max(last.back, 0)), most));
  l.hiddenAbove = l.place.top > 1;
  l.hiddenBelow = l.place.top + l.rows - 1 < Screen::kRows;
  l.hiddenLeft = l.place.left > 1;
  l.hiddenRight = l.place.left + l.cols - 1 < Screen::kCols;
  return l;
}

void DrawView(const Screen& frame, const HistoryStore& history, const ViewLayout& layout,
              int windowRows, int windowCols, Picture& out) {
  out.rows = std::max(windowRows, 0);
  out.cols = std::max(windowCols, 0);
  out.cells.assign(static_cast<std::size_t>(out.rows * out.cols), Cell{});
  out.cursorRow = out.cursorCol = -1;
  if (layout.tooSmall) return DrawNotice(out);

  const ViewPlace& at = layout.place;
  const int64_t gone = static_cast<int64_t>(frame.RowsGone());
  for (int r = 0; r < layout.Shown(); ++r) {
    // Screen rows are 1..25; the history's are 0, -1, ... (newest first).
    const int v = at.top - at.back - layout.above + r;
    if (v >= 1) {
      for (int c = 0; c < layout.cols; ++c) out.At(r, c) = frame.At(v, at.left + c);
      continue;
    }
    const int64_t number = gone + v - 1;
    if (number < 0) continue;
    if (const KeptRow* row = history.Find(static_cast<uint64_t>(number))) {
      for (int c = 0; c < layout.cols; ++c)
        out.At(r, c) = row->cells[static_cast<std::size_t>(at.left - 1 + c)];
    } else {
      Write(out, r, 0, "(a row not kept)", Cell{' ', 8, 0});
    }
  }

  const int last = layout.Shown() - 1;
  if (at.back > 0) {
    // How far back, at the top right; what is below is always more.
    const std::string tag = HistoryTag(at.back);
    Write(out, 0, layout.cols - static_cast<int>(tag.size()), tag, Cell{' ', 0, 7});
    out.At(last, layout.cols - 1) = Marker(kDown);
    return;
  }
  if (layout.above > 0) {
    // The rows above the screen are the history's: said at their top right.
    Write(out, 0, layout.cols - static_cast<int>(kAboveTag.size()), kAboveTag, Cell{' ', 0, 7});
  }
  if (layout.hiddenAbove) out.At(layout.above, layout.cols - 1) = Marker(kUp);
  if (layout.hiddenBelow) out.At(last, layout.cols - 1) = Marker(kDown);
  if (layout.hiddenLeft) out.At(layout.above + layout.rows / 2, 0) = Marker(kLeft);
  if (layout.hiddenRight) out.At(layout.above + layout.rows / 2, layout.cols - 1) = Marker(kRight);
  const int r = frame.CursorRow() - at.top, c = frame.CursorColumn() - at.left;
  if (r >= 0 && r < layout.rows && c >= 0 && c < layout.cols) {
    out.cursorRow = layout.above + r;
    out.cursorCol = c;
  }
}

}  // namespace qb7
