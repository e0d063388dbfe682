// The message line: a row of news in white on light red that holds the
// operator until a key is typed, then removes itself without disturbing
// the screen around it; Home there ends the program. Lines posted while one
// is shown wait their turn. It never waits itself: the program thread's
// loop shows the next line and looks for its answer (every 10 ms), the
// looks at the receive FIFO going on meanwhile.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "console/console.hpp"

namespace qb7 {

class MessageLines {
 public:
  // Any key typed answers a line; a line that tells of bytes lost only a
  // key typed after it is shown, so that keys typed ahead (they wait their
  // turn) cannot take it away unread. Pasted bytes answer none.
  enum class Answer { AnyKey, NewKey };

  static constexpr int kRow = 24;
  static constexpr int kBackground = 12;  // light red
  static constexpr int kForeground = 15;  // white
  static constexpr uint64_t kAnswerPollUs = 10000;

  explicit MessageLines(Console& console) : console_(console) {}

  // watched: the watcher is told when the line is shown.
  void Post(std::string text, Answer answer = Answer::AnyKey, bool watched = true);
  // A line is shown, or waits to be: the program holds the operator.
  bool Holding() const { return showing_ || !waiting_.empty(); }
  // The loop's step: shows the next line when none is shown, else looks
  // for its answer when that is due. Returns the key that dismissed a
  // line, once it is removed (empty: none yet). Home ends the program:
  // ProgramExit, the screen cleared grey on the exit background.
  KeyCode Step();
  // When Step is next due (UINT64_MAX while nothing is held).
  uint64_t NextStepUs() const;
  // Lines posted and not yet shown are dropped (the session they told of
  // has ended).
  void DropWaiting() { waiting_.clear(); }

  void SetExitBackground(int bg) { exitBackground_ = bg; }
  // Told of every line as it is shown (null: nobody).
  void Watch(std::function<void(std::string_view)> watch) { watch_ = std::move(watch); }
  // No operator is there to answer (boots in a batch): each line posted is
  // told at once, to the watcher and to `tell`, and holds nothing.
  void Unattended(std::function<void(std::string_view)> tell) { unattended_ = std::move(tell); }

 private:
  struct Waiting {
    std::string text;
    Answer answer;
    bool watched;
  };
  void Show(const Waiting& line);
  void Remove();

  Console& console_;
  std::deque<Waiting> waiting_;
  bool showing_ = false;
  std::size_t typedAhead_ = 0;  // keys typed before the line showed, left in their turn
  uint64_t nextCheckUs_ = 0;
  ColourPair savedColours_;
  CursorState savedCursor_;
  int exitBackground_ = 0;
  std::function<void(std::string_view)> watch_;
  std::function<void(std::string_view)> unattended_;
};

}  // namespace qb7
