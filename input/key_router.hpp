// The key router: where each key the terminal gave goes, decided in one
// place for the terminal thread and the tests' headless front end alike.
//   - Pasted bytes (between the paste markers) are held apart, in bounded
//     memory, and go to the program as pasted keys, never to the view and
//     never as the answer to a message line.
//   - A typed key the view takes (view_keys.hpp: the wheel, Shift-PgUp and
//     Shift-PgDn; in the history also /, n, N, t, s, q and Esc) stays with
//     the view.
//   - Any other key returns the view to the live screen and goes to the
//     program, in turn, while the program's side has room for it and the
//     window is large enough to see what it does.
//   - While a message line waits for its answer nothing more is handed
//     over; the answer is the first key typed (for a line that tells of a
//     loss, the first typed after it showed), taken out of turn wherever
//     it stands, behind a paste or type-ahead.
//   - Shift-F2 typed while keys wait for the program (a paste, type-ahead
//     it has no room for) acts at once: what waits, on both sides of the
//     hand-over, is dropped and told.
// Pure: no thread, no terminal. The caller measures the window first,
// carries out the save asked for, and draws when told to.
#pragma once
#include <deque>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "input/pending_keys.hpp"
#include "keys/key_decoder.hpp"
#include "view/viewer.hpp"

namespace qb7 {

// What a message line waiting for its key takes as its answer: any key
// typed, or only one typed after it showed (it tells of a loss).
enum class AnswerMode : uint8_t { None = 0, AnyKey = 1, NewKey = 2 };

// The answer asked for now: the mode, and the number of the message line
// that asks (each line asks anew).
struct AnswerWant {
  AnswerMode mode = AnswerMode::None;
  uint32_t number = 0;
};

// The program's side of the hand-over of keys.
class KeyOutlet {
 public:
  virtual ~KeyOutlet() = default;
  virtual bool HasRoom() const = 0;
  // Keys wait on the program's side for room: it is behind.
  virtual bool Backlog() const = 0;
  // False when there is no room: the router keeps the key.
  virtual bool PushKey(const KeyCode& key, bool pasted) = 0;
  // Every key waiting on the program's side is dropped; false when there
  // is no room for the order yet.
  virtual bool PushDropWaiting() = 0;
  virtual AnswerWant Wanted() const = 0;
  // The answer to the message line of that number.
  virtual void PutAnswer(const KeyCode& key, uint32_t number) = 0;
  // What the program dropped, once it has carried out a drop.
  virtual bool TakeDropped(uint64_t& pasted, uint64_t& typed) = 0;
};

class KeyRouter {
 public:
  static constexpr std::string_view kPasteStopped = "Paste stopped: ";
  static constexpr std::string_view kPasteTooLong = "Paste too long: ";
  static constexpr std::string_view kTypedStopped = "Stopped: ";
  static constexpr std::string_view kTypedTooFar = "Typed ahead too far: ";

  explicit KeyRouter(Viewer& viewer) : viewer_(viewer) {}

  // The keys decoded, in the order they came (paste markers among them);
  // fresh is emptied.
  void Add(DecodedKeys& fresh, const KeyOutlet& outlet) { pending_.Add(fresh, outlet.Backlog()); }

  struct Routed {
    bool redraw = false;  // what the view shows changed
    std::optional<Viewer::SaveRequest> save;  // the history, to be written
    std::optional<Viewer::HexRequest> hex;    // bytes of Term.raw, to be read
  };
  // Hands over what can go now, answers a message line that waits, and
  // puts the news of pastes on the view's bottom row.
  Routed Route(KeyOutlet& outlet);

  // Keys (or the order to drop them) wait to go.
  bool Waiting() const {
    return dropToSend_ || speedOrder_ != 0 || !markKeys_.empty() || pending_.Waiting();
  }

 private:
  void PassKeys(KeyOutlet& outlet, Routed& routed);
  void Answer(KeyOutlet& outlet, Routed& routed);
  void TellNews(KeyOutlet& outlet, Routed& routed);
  void ToView(const KeyCode& key, Routed& routed);

  Viewer& viewer_;
  PendingKeys pending_{keys::KeyShiftF2};
  bool dropToSend_ = false;   // the order to drop what waits, not yet handed over
  PendingKeys::Dropped droppedHere_;  // told with the program's count
  uint32_t answerNumber_ = 0;  // the message line last seen asking
  std::size_t answerSkip_ = 0;  // typed keys that were there before it
  bool answered_ = false;
  uint64_t tooManyTotal_ = 0;
  int speedOrder_ = 0;  // a speed picked in the history, not yet handed over
  std::deque<KeyCode> markKeys_;  // a mark made in the history, not yet handed over
};

}  // namespace qb7
