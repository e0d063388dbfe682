// The key router: where each key the terminal gave goes, decided in one
// place for the terminal thread and the tests' headless front end alike.
//   - Pasted bytes (between the paste markers) are held apart, in bounded
//     memory, and go to the program as pasted keys, never to the view and
//     never as the answer to a message line. Shift-F2 typed during a paste
//     drops its rest, on both sides of the hand-over.
//   - A typed key the view takes (view_keys.hpp: the wheel, Shift-PgUp and
//     Shift-PgDn; in the history also /, n, N, t, s, q and Esc) stays with
//     the view.
//   - Any other key returns the view to the live screen and goes to the
//     program, in turn, while the program's side has room for it and the
//     window is large enough to see what it does.
//   - While a message line waits, the first key typed behind a paste
//     answers it out of turn.
// Pure: no thread, no terminal. The caller measures the window first,
// carries out the save asked for, and draws when told to.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "input/pending_keys.hpp"
#include "keys/key_decoder.hpp"
#include "view/viewer.hpp"

namespace qb7 {

// The program's side of the hand-over of keys.
class KeyOutlet {
 public:
  virtual ~KeyOutlet() = default;
  virtual bool HasRoom() const = 0;
  // False when there is no room: the router keeps the key.
  virtual bool PushKey(const KeyCode& key, bool pasted) = 0;
  // The rest of every paste is dropped; false when there is no room yet.
  virtual bool PushDropPaste() = 0;
  // A message line waits for a key typed; its answer, out of turn (false
  // when one waits already).
  virtual bool AnswerWanted() const = 0;
  virtual bool PutAnswer(const KeyCode& key) = 0;
  // The pasted keys the program dropped since the last call, once it has
  // carried out a drop; -1 while none was carried out.
  virtual int64_t PasteDropped() = 0;
};

class KeyRouter {
 public:
  static constexpr std::string_view kPasteStopped = "Paste stopped: ";
  static constexpr std::string_view kPasteTooLong = "Paste too long: ";

  explicit KeyRouter(Viewer& viewer) : viewer_(viewer) {}

  // The keys decoded, in the order they came (paste markers among them);
  // fresh is emptied.
  void Add(DecodedKeys& fresh) { pending_.Add(fresh); }

  struct Routed {
    bool redraw = false;  // what the view shows changed
    std::optional<Viewer::SaveRequest> save;  // the history, to be written
  };
  // Hands over what can go now, answers a message line that waits, and
  // puts the news of pastes on the view's bottom row.
  Routed Route(KeyOutlet& outlet);

  // Typed keys waiting: while many do, the terminal is not read.
  std::size_t TypedWaiting() const { return pending_.Typed(); }
  // Keys (or the order to drop a paste) wait for room.
  bool Waiting() const { return dropToSend_ || pending_.Waiting(); }

 private:
  void PassKeys(KeyOutlet& outlet, Routed& routed);
  void Answer(KeyOutlet& outlet, Routed& routed);
  void TellPastes(KeyOutlet& outlet, Routed& routed);
  void ToView(const KeyCode& key, Routed& routed);

  Viewer& viewer_;
  PendingKeys pending_{keys::KeyShiftF2};
  bool dropToSend_ = false;    // the order to drop a paste waits for room
  uint64_t pasteDropped_ = 0;  // dropped here, told with the program's count
};

}  // namespace qb7
