#include "view/viewer.hpp"

#include <algorithm>

namespace qb7 {

void Viewer::OnKey(const KeyCode& key) {
  const int page = std::max(layout_.rows - 1, 1);
  if (key == view::WheelUp) place_.back += kWheelRows;
  if (key == view::WheelDown) place_.back = std::max(place_.back - kWheelRows, 0);
  if (key == view::PageUp) place_.back += page;
  if (key == view::PageDown) place_.back = std::max(place_.back - page, 0);
}

bool Viewer::ReturnLive() {
  if (place_.back == 0) return false;
  place_.back = 0;
  return true;
}

const Picture& Viewer::Draw() {
  if (!frame_) return picture_;
  // Scrolled back, the view stays on the rows it shows while new ones come.
  const uint64_t gone = frame_->RowsGone();
  if (place_.back > 0 && gone > shownGone_) place_.back += static_cast<int>(gone - shownGone_);
  shownGone_ = gone;
  // A cleared screen is shown from its top again (the help list, a new
  // session), as far as the cursor lets it.
  if (frame_->Clears() != shownClears_) {
    shownClears_ = frame_->Clears();
    place_.top = place_.left = 1;
  }
  ViewInput in;
  in.windowRows = windowRows_;
  in.windowCols = windowCols_;
  in.cursorRow = frame_->CursorRow();
  in.cursorCol = frame_->CursorColumn();
  in.historyRows = std::min<uint64_t>(gone, HistoryStore::kKeptRows);
  layout_ = PlaceView(in, place_);
  place_ = layout_.place;
  DrawView(*frame_, history_, layout_, windowRows_, windowCols_, picture_);
  return picture_;
}

}  // namespace qb7
