// A front end with no terminal, for tests: keys come from a script
// (optionally at given clock times) and go through the same key router as
// the terminal thread's (the view's keys, pastes held apart, answers to
// message lines); the screen is read back cell by cell.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "console/frontend.hpp"
#include "input/key_router.hpp"
#include "view/viewer.hpp"

namespace qb7 {

// Thrown when the program waits for a key long after the script ran out,
// so a test that forgot a key fails instead of hanging.
struct ScriptEnded {};

class HeadlessFrontend final : public Frontend {
 public:
  // A key typed at once, or at a clock time.
  void AddKey(KeyCode key) { AddKeyAt(0, std::move(key)); }
  void AddKeyAt(uint64_t atUs, KeyCode key);
  void AddKeys(std::initializer_list<std::string_view> keys);
  // Text pasted at a clock time, as a terminal that brackets pastes sends
  // it: each byte a key, between the paste markers.
  void AddPasteAt(uint64_t atUs, std::string_view text);
  // Ctrl-C (or a signal) at a clock time: the program is ended there.
  void AddInterruptAt(uint64_t atUs, int status = 130, int signal = 0);
  // Something the test does at a clock time (the program sees it at its
  // next look for keys): a file removed, a disk filled.
  void AddActionAt(uint64_t atUs, std::function<void()> action);
  // Called at every frame, for tests that look at what was shown only for
  // a while (a message line); each call adds a watcher.
  void OnPresent(std::function<void(const Frame&)> f) { onPresent_.push_back(std::move(f)); }
  // The same, for a watcher of the screen alone.
  void OnScreen(std::function<void(const Screen&)> f) {
    OnPresent([f = std::move(f)](const Frame& frame) { f(frame.screen); });
  }

  void CollectKeys(KeyQueue& queue, uint64_t nowUs, bool pastBound = false) override;
  void Present(const Frame& frame) override;
  void Bell() override { ++bells_; }
  // The rows that left the screen go to the view's history, as they do in
  // the real program.
  void KeepRow(const Row& row, uint64_t number, const RowTime& time) override {
    viewer_.Keep(row, number, time);
    if (ringRows_ != 0 && ++sinceFrame_ > ringRows_) ++ringLost_;
  }
  // Plays the terminal thread's ring of rows: this many rows fit, and it is
  // emptied at every frame; rows beyond are counted as lost.
  void ModelRowRing(std::size_t rows) { ringRows_ = rows; }
  std::size_t RowRoom() const override {
    if (ringRows_ == 0) return SIZE_MAX;
    return sinceFrame_ < ringRows_ ? ringRows_ - sinceFrame_ : 0;
  }
  uint64_t RingLost() const { return ringLost_; }
  void WantAnswer(AnswerMode mode) override;
  KeyCode TakeAnswer(KeyQueue& queue) override;
  void Lend() override {
    ++lends_;
    if (onLoan_) onLoan_(true);
  }
  void TakeBack() override {
    ++takeBacks_;
    if (onLoan_) onLoan_(false);
  }
  bool LoanSettled() const override { return true; }
  // Told when the terminal is lent (true) and taken back.
  void OnLoan(std::function<void(bool)> f) { onLoan_ = std::move(f); }

  const Viewer& viewer() const { return viewer_; }
  // What a window of this size shows now, through the view.
  void SetWindow(int rows, int cols) { viewer_.SetWindow(rows, cols); }
  const Picture& Shown() { return viewer_.Draw(); }
  int Bells() const { return bells_; }
  int Frames() const { return frames_; }
  int Lends() const { return lends_; }
  int TakeBacks() const { return takeBacks_; }
  bool ScriptDone() const { return events_.empty(); }

 private:
  struct Event {
    uint64_t atUs = 0;
    KeyCode key;
    bool interrupt = false;
    int status = 0;
    int signal = 0;
    std::function<void()> action;
  };
  // The program's key queue, as the router's outlet.
  class QueueOutlet;
  void Insert(Event e);
  // The keys given so far go where the router sends them.
  void Route(DecodedKeys& fresh, KeyQueue& queue, uint64_t nowUs);
  // Writes the history when the view was asked to, as the terminal thread
  // does (here at once, on the caller's thread), and says where.
  void Save(const Viewer::SaveRequest& save, uint64_t nowUs);

  std::deque<Event> events_;
  std::vector<std::function<void(const Frame&)>> onPresent_;
  uint64_t lastEventUs_ = 0;
  // How long (clock time) the program may wait after the last scripted
  // event before ScriptEnded is thrown.
  static constexpr uint64_t kIdleLimitUs = 600ull * 1000 * 1000;
  std::function<void(bool)> onLoan_;
  int bells_ = 0;
  Viewer viewer_;
  KeyRouter router_{viewer_};
  AnswerWant want_;
  KeyCode answer_;
  uint32_t answerNumber_ = 0;
  bool dropped_ = false;
  KeyQueue::Dropped droppedCount_;
  std::size_t ringRows_ = 0;
  std::size_t sinceFrame_ = 0;
  uint64_t ringLost_ = 0;
  int frames_ = 0;
  int lends_ = 0;
  int takeBacks_ = 0;
};

}  // namespace qb7
