// The keys the view takes: the table in view_keys.hpp, carried out here,
// and the search prompt's own keys.
#include <algorithm>

#include "view/history_search.hpp"
#include "view/viewer.hpp"

namespace qb7 {

namespace {
bool Printable(const KeyCode& key) {
  return key.size() == 1 && static_cast<unsigned char>(key[0]) >= 32 && key[0] != 127;
}
}  // namespace

bool Viewer::Takes(const KeyCode& key) {
  Place();
  if (IsViewCode(key)) return true;
  if (!ScrolledBack()) return false;
  // A prompt takes whatever is typed.
  if (prompt_ || speedPrompt_) return true;
  return ViewKeyAction(key, true).has_value();
}

void Viewer::OnKey(const KeyCode& key) {
  // Up to date with the frame first: the rows that arrived since it was
  // last placed are no scroll of the operator's.
  Place();
  notice_.clear();
  if (prompt_ && !IsViewCode(key)) return OnPromptKey(key);
  if (speedPrompt_ && !IsViewCode(key)) return OnSpeedKey(key);
  if (const auto action = ViewKeyAction(key, ScrolledBack())) Act(*action);
  Place();
  if (!ScrolledBack()) prompt_ = false;
}

void Viewer::Act(ViewAction action) {
  const int page = std::max(layout_.Shown() - 1, 1);
  switch (action) {
    case ViewAction::ScrollBack: place_.back += kWheelRows; break;
    case ViewAction::ScrollForward: place_.back = std::max(place_.back - kWheelRows, 0); break;
    case ViewAction::PageBack: place_.back += page; break;
    case ViewAction::PageForward: place_.back = std::max(place_.back - page, 0); break;
    case ViewAction::Nothing: break;
    case ViewAction::SearchPrompt:
    case ViewAction::MarkPrompt:
      prompt_ = true;
      markPrompt_ = action == ViewAction::MarkPrompt;
      typed_.clear();
      break;
    case ViewAction::NextMatch: Search(true, false); break;
    case ViewAction::PreviousMatch: Search(false, false); break;
    case ViewAction::ToggleTimes: gutter_ = !gutter_; break;
    case ViewAction::Save:
      if (frame_) {
        SaveRequest save;
        save.text = LinesAsText(ViewLines(frame_->screen, history_), sessions_, save.rows);
        save_ = std::move(save);
      }
      break;
    case ViewAction::SpeedPrompt: speedPrompt_ = true; break;
    case ViewAction::Leave: ReturnLive(); break;
  }
}

std::string Viewer::SpeedPromptText() {
  std::string text = "Speed:";
  for (std::size_t i = 0; i < std::size(speed::kSpeeds); ++i)
    text += "  " + std::to_string(i + 1) + " " + std::to_string(speed::kSpeeds[i]);
  return text + "  (Esc: as it is)";
}

void Viewer::OnSpeedKey(const KeyCode& key) {
  // A speed by its place; anything else leaves the speed as it is.
  speedPrompt_ = false;
  if (key.size() == 1 && key[0] >= '1' && key[0] < '1' + static_cast<int>(std::size(speed::kSpeeds))) {
    speed_ = key[0] - '0';
    ReturnLive();
  }
}

void Viewer::OnPromptKey(const KeyCode& key) {
  if (key == keys::KeyEsc) {
    prompt_ = false;
  } else if (key == keys::KeyEnter && markPrompt_) {
    prompt_ = false;
    mark_ = typed_;
    notice_ = typed_.empty() ? "Marked" : "Marked: " + typed_;
  } else if (key == keys::KeyEnter) {
    prompt_ = false;
    if (!typed_.empty()) {
      searched_ = typed_;
      Search(true, true);
    }
  } else if (key == "\x08") {
    if (!typed_.empty()) typed_.pop_back();
  } else if (Printable(key) &&
             static_cast<int>(typed_.size()) <
                 std::min(windowCols_ - 2 - (markPrompt_ ? static_cast<int>(kMarkPrompt.size()) : 0),
                          Screen::kCols)) {
    // One row at most: a pattern longer than a row can match nothing.
    typed_ += key;
  }
}

}  // namespace qb7
