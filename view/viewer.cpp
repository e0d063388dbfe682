#include "view/viewer.hpp"

#include <algorithm>

#include "view/history_search.hpp"

namespace qb7 {

uint64_t Viewer::TopLine() const {
  const ViewLines lines(frame_->screen, history_);
  const int64_t top = static_cast<int64_t>(lines.OfScreenRow(place_.top)) - place_.back - layout_.above;
  return static_cast<uint64_t>(std::max<int64_t>(top, 0));
}

bool Viewer::ReturnLive(bool keepNotice) {
  prompt_ = false;
  speedPrompt_ = false;
  hexShown_.reset();
  if (!keepNotice) notice_.clear();
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
  if (GutterCols() != 0 && place_.back > 0 && windowCols_ - GutterCols() >= kMinCols)
    in.windowCols -= GutterCols();
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
  if (hexShown_ && !layout_.tooSmall) {
    DrawHex(picture_);
    return picture_;
  }
  const int gutterCols = GutterCols();
  const bool gutter = gutterCols != 0 && place_.back > 0 && !layout_.tooSmall &&
                      windowCols_ - gutterCols >= kMinCols;
  if (!gutter) {
    DrawView(frame_->screen, history_, layout_, windowRows_, windowCols_, picture_);
  } else {
    DrawView(frame_->screen, history_, layout_, windowRows_, windowCols_ - gutterCols, inner_);
    DrawGutter(inner_);
  }
  if (layout_.tooSmall) return picture_;
  if (!searched_.empty() && place_.back > 0) Highlight(picture_, gutter ? gutterCols : 0);
  DrawCounts(picture_);
  DrawBottomLine(picture_);
  return picture_;
}

}  // namespace qb7
