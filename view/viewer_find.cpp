// The search in the history: from the view, or from the last match, back
// or forward; the match brought into view a third of the way down.
#include <algorithm>

#include "view/history_search.hpp"
#include "view/viewer.hpp"

namespace qb7 {

namespace {
// The texts of the view's bottom row.
constexpr std::string_view kNotFound = "Not found: ";
constexpr std::string_view kSearchFirst = "Search first: / then the text, Enter";
constexpr std::string_view kNoMore = "No more matches: ";
}  // namespace

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
    found = SearchBack(lines, TopLine() + static_cast<uint64_t>(layout_.Shown() - 1), searched_);
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

void Viewer::ShowLine(uint64_t line) {
  const uint64_t top = TopLine();
  if (line >= top && line < top + static_cast<uint64_t>(layout_.Shown())) return;  // in sight
  const ViewLines lines(frame_->screen, history_);
  // back such that the line stands a third of the way down the window.
  const int64_t wanted = static_cast<int64_t>(lines.OfScreenRow(place_.top)) - layout_.above +
                         layout_.Shown() / 3 -
                         static_cast<int64_t>(line);
  place_.back = static_cast<int>(std::max<int64_t>(wanted, 1));
  Place();
}

}  // namespace qb7
