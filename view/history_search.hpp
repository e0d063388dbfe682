// Every row the view can show under one index, oldest first: the rows the
// history keeps (numbered as they left the screen), then the screen's 25.
// Over them: a plain search, case ignored, backwards and forwards, and the
// whole history as plain text. Pure.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "screen/screen.hpp"
#include "view/history_store.hpp"

namespace qb7 {

class ViewLines {
 public:
  ViewLines(const Screen& frame, const HistoryStore& history)
      : frame_(frame), history_(history), gone_(frame.RowsGone()) {}

  // Lines first..end-1 exist: the oldest the history can hold, to the
  // screen's last row.
  uint64_t First() const;
  uint64_t End() const { return gone_ + Screen::kRows; }
  // The line of a screen row (1..25).
  uint64_t OfScreenRow(int row) const { return gone_ + static_cast<uint64_t>(row - 1); }
  // The cells of a line and its time; null when the history did not keep it.
  const Row* Cells(uint64_t line, RowTime* time = nullptr) const;

 private:
  const Screen& frame_;
  const HistoryStore& history_;
  uint64_t gone_;
};

// Where the text occurs in the row at column from or after (0-based), with
// ASCII letters' case ignored; -1 when it does not.
int FindInRow(const Row& row, std::string_view text, int from = 0);

// The nearest line holding the text, from the line given towards older ones
// (back) or newer ones; none when no line does.
std::optional<uint64_t> SearchBack(const ViewLines& lines, uint64_t from, std::string_view text);
std::optional<uint64_t> SearchForward(const ViewLines& lines, uint64_t from, std::string_view text);

// What each session of the run is, by its number (route, title, speed,
// start date): the history's dividers name them.
using SessionHeaders = std::map<uint32_t, std::string>;

// The first line of the saved history: what its columns say.
inline constexpr std::string_view kSavedHistoryHeader =
    "# qb7uart history: each row's time (R: seconds since the session's reset pulse, S: since "
    "the session started), what wrote it (| received, : drawn by the tool, * a mark), its text";

// Every line kept, oldest first, as plain text: the header above, then one
// line a row, colours dropped, trailing spaces cut, each with its time and
// what wrote it, and a divider naming each session where its rows begin;
// the screen's rows down to the last that shows anything. rows: how many
// rows.
std::string LinesAsText(const ViewLines& lines, const SessionHeaders& sessions, uint64_t& rows);
// The time column of a row, as the gutter shows it: "R     12.345 ", or
// spaces when the row has no time. Always kGutterCols (12) wide.
std::string GutterText(const RowTime& time);
// Beside it, the row against the route's last boot, kVersusCols (10) wide:
// "  +802.3! " (milliseconds later than there; '!' its own step moved by
// 100 ms or more, '-' lines of the last boot missing before it), "  new    "
// for a line the last boot did not have, spaces for a row with neither.
std::string VersusText(const RowVersus& versus);

}  // namespace qb7
