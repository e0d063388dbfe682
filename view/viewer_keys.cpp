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
  // A dump shown takes the key that closes it.
  if (hexShown_) return true;
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
  if (hexShown_) return OnHexKey(key);
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
    case ViewAction::ToggleTimes:
      gutter_ = gutter_ == Gutter::Off ? Gutter::Times : gutter_ == Gutter::Times ? Gutter::Versus : Gutter::Off;
      break;
    case ViewAction::Save:
      if (frame_) {
        SaveRequest save;
        save.text = LinesAsText(ViewLines(frame_->screen, history_), sessions_, save.rows);
        save_ = std::move(save);
      }
      break;
    case ViewAction::SpeedPrompt: speedPrompt_ = true; break;
    case ViewAction::HexDump: AskHex(); break;
    case ViewAction::Leave: ReturnLive(); break;
  }
}

void Viewer::AskHex() {
  if (!frame_) return;
  // The session's own received rows in view: where their bytes begin, up
  // to where the first such row after them begins.
  const ViewLines lines(frame_->screen, history_);
  const uint32_t session = frame_->counts.number;
  const uint64_t top = TopLine();
  const uint64_t bottom = top + static_cast<uint64_t>(std::max(layout_.Shown(), 0));
  const auto ours = [&](uint64_t line, RowTime& time) {
    return lines.Cells(line, &time) && session != 0 && time.session == session &&
           time.kind == RowTime::Kind::Received && time.raw != RowTime::kNoRaw;
  };
  HexRequest request;
  request.from = RowTime::kNoRaw;
  RowTime time;
  for (uint64_t line = top; line < bottom; ++line) {
    if (!ours(line, time)) continue;
    request.from = std::min(request.from, time.raw);
    if (time.error) request.errors.push_back(time.raw);
  }
  if (request.from == RowTime::kNoRaw) {
    notice_ = "x: no row in view was received in this session (earlier ones: their Term-*.raw)";
    return;
  }
  request.to = request.from + kHexMost;
  for (uint64_t line = bottom; line < lines.End(); ++line)
    if (ours(line, time) && time.raw > request.from) {
      request.to = std::min(request.to, time.raw);
      break;
    }
  hex_ = std::move(request);
}

void Viewer::ShowHex(const HexRequest& request, std::string bytes, int error) {
  hexShown_ = HexShown{request, std::move(bytes), error, 0};
}

void Viewer::OnHexKey(const KeyCode& key) {
  // The wheel and Shift-PgUp/PgDn move through the dump; any other key
  // goes back to the rows.
  HexShown& h = *hexShown_;
  const int page = std::max(windowRows_ - 2, 1);
  const int last = std::max(static_cast<int>((h.bytes.size() + 15) / 16) - page, 0);
  if (key == view::PageDown) h.top = std::min(h.top + page, last);
  else if (key == view::WheelDown) h.top = std::min(h.top + kWheelRows, last);
  else if (key == view::PageUp) h.top = std::max(h.top - page, 0);
  else if (key == view::WheelUp) h.top = std::max(h.top - kWheelRows, 0);
  else if (!IsViewCode(key)) hexShown_.reset();
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
