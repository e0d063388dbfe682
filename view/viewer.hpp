// The operator's view of the screen, as a state that lives from frame to
// frame: where the view stands (it follows the cursor in a small window and
// stays on the rows it shows when scrolled back), the history of the rows
// that left the screen, and the keys the view takes for itself (their
// table: view_keys.hpp). Any other key returns to the live screen and goes
// to the program. A message line shown meanwhile brings the view back to
// the live screen, so that it is seen.
//
// Its work lies in four files: viewer.cpp (where it stands and the
// picture), viewer_keys.cpp (the keys), viewer_find.cpp (the search) and
// viewer_overlays.cpp (the gutter, the matches, the counts, the bottom row).
//
// Pure: the key router drives it for the terminal thread and for the
// tests' headless front end alike.
#pragma once
#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "keys/keys.hpp"
#include "screen/screen.hpp"
#include "view/frame.hpp"
#include "view/history_search.hpp"
#include "view/history_store.hpp"
#include "view/view.hpp"
#include "view/view_keys.hpp"

namespace qb7 {

class Viewer {
 public:
  // Rows a notch of the mouse wheel scrolls the view, as terminals do.
  static constexpr int kWheelRows = 3;
  // The gutter: "R 12345.678 ", R since the reset, S since the session start;
  // with the last boot beside it, ten more: "  +802.3! ", the difference
  // from the same line of the route's last boot.
  static constexpr int kGutterCols = 12;
  static constexpr int kVersusCols = 10;
  // t turns the gutter on, then adds the last boot beside it, then off.
  enum class Gutter { Off, Times, Versus };
  int GutterCols() const {
    return gutter_ == Gutter::Off ? 0 : gutter_ == Gutter::Times ? kGutterCols : kGutterCols + kVersusCols;
  }

  // What the operator asked with s: the history as text, for the caller to
  // write to a file and tell where (Notice).
  struct SaveRequest {
    std::string text;
    uint64_t rows = 0;
  };

  // A row that left the screen.
  void Keep(const Row& row, uint64_t number, const RowTime& time) {
    history_.Keep(row, number, time);
  }
  // The frame shown from now on; it must stay valid until the next one.
  void SetFrame(const Frame& frame) {
    frame_ = &frame;
    // What each session is, kept for the saved history's dividers.
    if (frame.counts.number != 0 && !sessions_.count(frame.counts.number))
      sessions_.emplace(frame.counts.number, std::string(frame.counts.Header()));
  }
  bool HasFrame() const { return frame_ != nullptr; }
  // The window's size, in rows and columns.
  void SetWindow(int rows, int cols) {
    windowRows_ = rows;
    windowCols_ = cols;
  }
  // Too small to show the start of a message line: a notice instead, and no
  // key may act meanwhile.
  bool TooSmall() const { return windowRows_ < kMinRows || windowCols_ < kMinCols; }

  // Whether the view takes the key for itself; it then never reaches the
  // program.
  bool Takes(const KeyCode& key);
  // Acts on a key the view takes.
  void OnKey(const KeyCode& key);
  // Any other key returns the view to the live screen first; true when that
  // changed what is shown.
  // A pasted key keeps the news on the bottom row (a paste's own news
  // stands while it is sent); a key typed clears it.
  bool ReturnLive(bool keepNotice = false);
  bool ScrolledBack() const { return place_.back > 0; }

  // The history asked for with s, once.
  std::optional<SaveRequest> TakeSave();
  // The place (1..8 in speed::kSpeeds) of the line speed picked after b,
  // once.
  std::optional<int> TakeSpeed() { return std::exchange(speed_, std::nullopt); }
  // The bytes asked for with x: the range of the session's Term.raw that
  // the rows in view were written from, and where a receive error came.
  struct HexRequest {
    uint64_t from = 0;
    uint64_t to = 0;  // one past the last
    std::vector<uint64_t> errors;  // the raw offsets of rows a receive error came with
  };
  static constexpr std::string_view kRawFileName = "Term.raw";
  // The most bytes one dump asks for.
  static constexpr uint64_t kHexMost = 64 * 1024;
  std::optional<HexRequest> TakeHex() { return std::exchange(hex_, std::nullopt); }
  // The bytes read for it (error: errno of a failed read, 0 when read),
  // shown in place of the view until the next key.
  void ShowHex(const HexRequest& request, std::string bytes, int error);
  // The note of a mark made with m, once.
  std::optional<std::string> TakeMark() { return std::exchange(mark_, std::nullopt); }
  static constexpr std::string_view kMarkPrompt = "Mark (Enter: a numbered mark; Esc: none): ";
  static std::string SpeedPromptText();
  // A line of news on the bottom row, until the next key the view takes.
  void Notice(std::string text) { notice_ = std::move(text); }
  // What to call the history's file (with the date), and the news of it.
  static constexpr std::string_view kHistoryFilePrefix = "Term-history";
  static std::string SavedNotice(const std::string& path, uint64_t rows,
                                 const std::string& inTheWay = {});
  static std::string NotSavedNotice(const std::string& name, int error);
  // The counts, short ("rx 12K f3 o1") and long.
  static std::string ShortCounts(const LineCounts& counts);
  static std::string LongCounts(const LineCounts& counts);

  // The picture of the frame in the window, as things stand.
  const Picture& Draw();
  const HistoryStore& history() const { return history_; }

 private:
  // Where the view stands for the frame and window, the scroll kept within
  // what can be shown.
  void Place();
  void OnPromptKey(const KeyCode& key);
  void OnSpeedKey(const KeyCode& key);
  void Act(ViewAction action);
  // Brings a line into view, a third of the way down, staying in the history.
  void ShowLine(uint64_t line);
  void Search(bool back, bool fromView);
  void DrawGutter(Picture& inner);
  // Marks the matches of the last search; offset: the gutter's width.
  void Highlight(Picture& out, int offset);
  void DrawBottomLine(Picture& out);
  // What the session met on its line: right of the status line while it is
  // in view, and on the row below the screen in a window that has one.
  void DrawCounts(Picture& out);
  // The counts at the status line's end, where it is in view and its title
  // leaves room; false where they do not fit there.
  bool BesideStatusLine(Picture& out, const std::string& text, Cell style);
  // The line shown on the window's first row.
  uint64_t TopLine() const;

  const Frame* frame_ = nullptr;
  int windowRows_ = Screen::kRows;
  int windowCols_ = Screen::kCols;
  HistoryStore history_;
  ViewPlace place_;
  ViewLayout layout_;
  Picture picture_;
  Picture inner_;  // with the gutter: the view beside it
  uint64_t shownGone_ = 0;
  uint64_t shownClears_ = 0;
  uint64_t shownAlerts_ = 0;
  bool prompt_ = false;
  bool markPrompt_ = false;  // the prompt asks for a mark's note, not a search
  std::string typed_;     // the prompt's text
  std::string searched_;  // the last text searched for
  std::optional<uint64_t> match_;
  Gutter gutter_ = Gutter::Off;
  std::string notice_;
  std::optional<SaveRequest> save_;
  bool speedPrompt_ = false;
  std::optional<int> speed_;
  std::optional<std::string> mark_;
  SessionHeaders sessions_;
  std::optional<HexRequest> hex_;  // asked for, not yet taken
  struct HexShown {
    HexRequest request;
    std::string bytes;
    int error = 0;
    int top = 0;  // the dump's line at the top of the window
  };
  void OnHexKey(const KeyCode& key);
  std::optional<HexShown> hexShown_;
  void AskHex();
  void DrawHex(Picture& out);
};

}  // namespace qb7
