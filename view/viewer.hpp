// The operator's view of the screen, as a state that lives from frame to
// frame: where the view stands (it follows the cursor in a small window and
// stays on the rows it shows when scrolled back), the history of the rows
// that left the screen, and the keys the view takes for itself (the wheel,
// Shift-PgUp, Shift-PgDn). Pure: the terminal thread and the tests' headless
// front end both drive it, the first from its own thread, the second on the
// virtual clock.
#pragma once
#include <cstdint>

#include "keys/keys.hpp"
#include "screen/screen.hpp"
#include "view/history_store.hpp"
#include "view/view.hpp"

namespace qb7 {

class Viewer {
 public:
  // Rows a notch of the mouse wheel scrolls the view, as terminals do.
  static constexpr int kWheelRows = 3;

  // A row that left the screen.
  void Keep(const Row& row, uint64_t number, const RowTime& time) {
    history_.Keep(row, number, time);
  }
  // The frame shown from now on; it must stay valid until the next one.
  void SetFrame(const Screen& frame) { frame_ = &frame; }
  bool HasFrame() const { return frame_ != nullptr; }
  // The window's size, in rows and columns.
  void SetWindow(int rows, int cols) {
    windowRows_ = rows;
    windowCols_ = cols;
  }
  // Too small to show the start of a message line: a notice instead, and no
  // key may act meanwhile.
  bool TooSmall() const { return windowRows_ < kMinRows || windowCols_ < kMinCols; }

  // Whether the view takes the key for itself; it never reaches the program.
  static bool Takes(const KeyCode& key) { return IsViewCode(key); }
  // Acts on a key the view takes (a click or a drag changes nothing).
  void OnKey(const KeyCode& key);
  // Any other key returns the view to the live screen first; true when that
  // changed what is shown.
  bool ReturnLive();
  bool ScrolledBack() const { return place_.back > 0; }

  // The picture of the frame in the window, as things stand.
  const Picture& Draw();
  const HistoryStore& history() const { return history_; }

 private:
  const Screen* frame_ = nullptr;
  int windowRows_ = Screen::kRows;
  int windowCols_ = Screen::kCols;
  HistoryStore history_;
  ViewPlace place_;
  ViewLayout layout_;
  Picture picture_;
  uint64_t shownGone_ = 0;
  uint64_t shownClears_ = 0;
};

}  // namespace qb7
