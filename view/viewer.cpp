#include "view/viewer.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "view/history_search.hpp"

namespace qb7 {

namespace {

// The texts of the view's bottom row.
constexpr std::string_view kNotFound = "Not found: ";
constexpr std::string_view kSearchFirst = "Search first: / then the text, Enter";
constexpr std::string_view kNoMore = "No more matches: ";

// The bottom row, black on light grey; a match, black on yellow, the one
// searched for brighter.
constexpr Cell kBottomStyle{' ', 0, 7};
constexpr uint8_t kMatchFg = 0, kMatchBg = 6, kCurrentBg = 14;

bool Printable(const KeyCode& key) {
  return key.size() == 1 && static_cast<unsigned char>(key[0]) >= 32 && key[0] != 127;
}

void Put(Picture& p, int row, int col, std::string_view text, Cell style) {
  for (std::size_t i = 0; i < text.size() && col + static_cast<int>(i) < p.cols; ++i) {
    style.ch = static_cast<uint8_t>(text[i]);
    p.At(row, col + static_cast<int>(i)) = style;
  }
}

}  // namespace

std::string Viewer::SavedNotice(const std::string& path, uint64_t rows) {
  return "History saved (" + std::to_string(rows) + " rows): " + path;
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

bool Viewer::Takes(const KeyCode& key) {
  Place();
  if (IsViewCode(key)) return true;
  if (!ScrolledBack()) return false;
  if (prompt_) return true;
  return key == "/" || key == "n" || key == "N" || key == "t" || key == "s";
}

void Viewer::OnKey(const KeyCode& key) {
  // Up to date with the frame first: the rows that arrived since it was
  // last placed are no scroll of the operator's.
  Place();
  notice_.clear();
  if (prompt_ && !IsViewCode(key)) return OnPromptKey(key);
  const int page = std::max(layout_.rows - 1, 1);
  if (key == view::WheelUp) place_.back += kWheelRows;
  if (key == view::WheelDown) place_.back = std::max(place_.back - kWheelRows, 0);
  if (key == view::PageUp) place_.back += page;
  if (key == view::PageDown) place_.back = std::max(place_.back - page, 0);
  if (key == "/") {
    prompt_ = true;
    typed_.clear();
  }
  if (key == "n") Search(true, false);
  if (key == "N") Search(false, false);
  if (key == "t") gutter_ = !gutter_;
  if (key == "s" && frame_) {
    SaveRequest save;
    save.text = LinesAsText(ViewLines(frame_->screen, history_), save.rows);
    save_ = std::move(save);
  }
  Place();
  if (!ScrolledBack()) prompt_ = false;
}

void Viewer::OnPromptKey(const KeyCode& key) {
  if (key == keys::KeyEsc) {
    prompt_ = false;
  } else if (key == keys::KeyEnter) {
    prompt_ = false;
    if (!typed_.empty()) {
      searched_ = typed_;
      Search(true, true);
    }
  } else if (key == "\x08") {
    if (!typed_.empty()) typed_.pop_back();
  } else if (Printable(key) && static_cast<int>(typed_.size()) < std::min(windowCols_ - 2, Screen::kCols)) {
    // One row at most: a pattern longer than a row can match nothing.
    typed_ += key;
  }
}

void Viewer::Search(bool back, bool fromView) {
  if (!frame_) return;
  if (searched_.empty()) {
    notice_ = std::string(kSearchFirst);
    return;
  }
  const ViewLines lines(frame_->screen, history_);
  std::optional<uint64_t> found;
  if (fromView) {
    // From the view's last row back: the newest match in sight or above it.
    found = SearchBack(lines, TopLine() + static_cast<uint64_t>(layout_.rows - 1), searched_);
  } else if (back) {
    const uint64_t from = match_ ? *match_ : TopLine();
    if (from > 0) found = SearchBack(lines, from - 1, searched_);
  } else {
    found = SearchForward(lines, (match_ ? *match_ : TopLine()) + 1, searched_);
  }
  if (!found) {
    // Nothing moves.
    notice_ = std::string(fromView ? kNotFound : kNoMore) + searched_;
    return;
  }
  match_ = found;
  ShowLine(*found);
}

uint64_t Viewer::TopLine() const {
  const ViewLines lines(frame_->screen, history_);
  const int64_t top = static_cast<int64_t>(lines.OfScreenRow(place_.top)) - place_.back;
  return static_cast<uint64_t>(std::max<int64_t>(top, 0));
}

void Viewer::ShowLine(uint64_t line) {
  const uint64_t top = TopLine();
  if (line >= top && line < top + static_cast<uint64_t>(layout_.rows)) return;  // in sight
  const ViewLines lines(frame_->screen, history_);
  // back such that the line stands a third of the way down the window.
  const int64_t wanted = static_cast<int64_t>(lines.OfScreenRow(place_.top)) + layout_.rows / 3 -
                         static_cast<int64_t>(line);
  place_.back = static_cast<int>(std::max<int64_t>(wanted, 1));
  Place();
}

bool Viewer::ReturnLive() {
  prompt_ = false;
  notice_.clear();
  if (place_.back == 0) return false;
  place_.back = 0;
  return true;
}

std::optional<Viewer::SaveRequest> Viewer::TakeSave() {
  std::optional<SaveRequest> save = std::move(save_);
  save_.reset();
  return save;
}

void Viewer::Place() {
  if (!frame_) return;
  // Scrolled back, the view stays on the rows it shows while new ones come.
  const uint64_t gone = frame_->screen.RowsGone();
  if (place_.back > 0 && gone > shownGone_) place_.back += static_cast<int>(gone - shownGone_);
  shownGone_ = gone;
  // A cleared screen is shown from its top again (the help list, a new
  // session), as far as the cursor lets it.
  if (frame_->screen.Clears() != shownClears_) {
    shownClears_ = frame_->screen.Clears();
    place_.top = place_.left = 1;
  }
  // A message line is always seen: the view comes back to it.
  if (frame_->alerts != shownAlerts_) {
    shownAlerts_ = frame_->alerts;
    ReturnLive();
  }
  ViewInput in;
  in.windowRows = windowRows_;
  in.windowCols = windowCols_;
  if (gutter_ && place_.back > 0 && windowCols_ - kGutterCols >= kMinCols)
    in.windowCols -= kGutterCols;
  in.cursorRow = frame_->screen.CursorRow();
  // A line break pending at the end of the last row puts the next text at
  // its column 1, not at column 80 where the cursor waits.
  in.cursorCol = frame_->screen.LineBreakPending() ? 1 : frame_->screen.CursorColumn();
  in.historyRows = std::min<uint64_t>(gone, HistoryStore::kKeptRows);
  layout_ = PlaceView(in, place_);
  place_ = layout_.place;
  if (place_.back == 0) match_.reset();
}

const Picture& Viewer::Draw() {
  if (!frame_) return picture_;
  Place();
  const bool gutter = gutter_ && place_.back > 0 && !layout_.tooSmall &&
                      windowCols_ - kGutterCols >= kMinCols;
  if (!gutter) {
    DrawView(frame_->screen, history_, layout_, windowRows_, windowCols_, picture_);
  } else {
    DrawView(frame_->screen, history_, layout_, windowRows_, windowCols_ - kGutterCols, inner_);
    DrawGutter(inner_);
  }
  if (layout_.tooSmall) return picture_;
  if (!searched_.empty() && place_.back > 0) Highlight(picture_, gutter ? kGutterCols : 0);
  if (place_.back == 0) DrawCounts(picture_);
  DrawBottomLine(picture_);
  return picture_;
}

void Viewer::DrawGutter(Picture& inner) {
  picture_.rows = windowRows_;
  picture_.cols = windowCols_;
  picture_.cells.assign(static_cast<std::size_t>(windowRows_ * windowCols_), Cell{});
  picture_.cursorRow = inner.cursorRow;
  picture_.cursorCol = inner.cursorCol < 0 ? -1 : inner.cursorCol + kGutterCols;
  const ViewLines lines(frame_->screen, history_);
  const uint64_t top = TopLine();
  for (int r = 0; r < inner.rows; ++r) {
    for (int c = 0; c < inner.cols; ++c) picture_.At(r, c + kGutterCols) = inner.At(r, c);
    if (r >= layout_.rows) continue;
    RowTime time;
    if (!lines.Cells(top + static_cast<uint64_t>(r), &time) || !time.Known()) continue;
    char text[32];
    std::snprintf(text, sizeof text, "%c%10.3f ", time.sinceReset ? 'R' : 'S',
                  static_cast<double>(time.us) / 1e6);
    Put(picture_, r, 0, std::string_view(text).substr(0, kGutterCols), Cell{' ', 8, 0});
  }
}

void Viewer::Highlight(Picture& out, int offset) {
  const ViewLines lines(frame_->screen, history_);
  const uint64_t top = TopLine();
  for (int r = 0; r < layout_.rows && r < out.rows; ++r) {
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
  if (out.rows > layout_.rows) {
    // A window taller than the screen: the row below it.
    Put(out, layout_.rows, 0, LongCounts(c), kStyle);
    return;
  }
  const int64_t row = static_cast<int64_t>(c.statusRow) - static_cast<int64_t>(frame_->screen.RowsGone()) + 1;
  const int shownRow = static_cast<int>(row) - layout_.place.top;
  if (row < 1 || shownRow < 0 || shownRow >= layout_.rows) return;
  const std::string text = ShortCounts(c);
  const int firstFree = c.statusLength + 1;  // 0-based: a blank column after the text
  const int at = Screen::kCols - static_cast<int>(text.size());  // 0-based screen column
  if (at < firstFree) return;  // no room beside this title
  const int col = at - (layout_.place.left - 1);
  if (col < 0 || col + static_cast<int>(text.size()) > layout_.cols) return;
  Put(out, shownRow, col, text, kStyle);
}

void Viewer::DrawBottomLine(Picture& out) {
  std::string text;
  if (prompt_)
    text = "/" + typed_;
  else if (!notice_.empty())
    text = notice_;
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
