#include "input/key_router.hpp"

namespace qb7 {

KeyRouter::Routed KeyRouter::Route(KeyOutlet& outlet) {
  Routed routed;
  PassKeys(outlet, routed);
  Answer(outlet, routed);
  TellPastes(outlet, routed);
  return routed;
}

void KeyRouter::ToView(const KeyCode& key, Routed& routed) {
  viewer_.OnKey(key);
  if (auto save = viewer_.TakeSave()) routed.save = std::move(save);
  routed.redraw = true;
}

void KeyRouter::PassKeys(KeyOutlet& outlet, Routed& routed) {
  // Shift-F2 typed during a paste: the program drops the pasted keys it
  // holds before it gets the Shift-F2 (the order waits for room, ahead of
  // every key after it).
  if (pending_.TakeDropAsked()) {
    dropToSend_ = true;
    pasteDropped_ += pending_.TakeDropped();
  }
  if (dropToSend_) {
    if (!outlet.PushDropPaste()) return;
    dropToSend_ = false;
  }
  KeyCode key;
  bool pasted = false;
  while (pending_.Front(key, pasted)) {
    if (!pasted && viewer_.Takes(key)) {
      // What the view takes for itself never reaches the program.
      ToView(key, routed);
      pending_.Pop();
      continue;
    }
    // Nothing acts while the operator cannot see it: keys are held until
    // the window is large enough again.
    if (viewer_.TooSmall() || !outlet.HasRoom()) return;
    // Any other key returns to the live screen, then does what it does.
    if (viewer_.ReturnLive()) routed.redraw = true;
    if (!outlet.PushKey(key, pasted)) return;
    pending_.Pop();
  }
}

void KeyRouter::Answer(KeyOutlet& outlet, Routed& routed) {
  if (!outlet.AnswerWanted()) return;
  KeyCode key;
  while (pending_.TakeTypedBehindPaste(key)) {
    if (viewer_.Takes(key)) {
      ToView(key, routed);
      continue;
    }
    if (viewer_.ReturnLive()) routed.redraw = true;
    outlet.PutAnswer(key);
    return;
  }
}

void KeyRouter::TellPastes(KeyOutlet& outlet, Routed& routed) {
  const int64_t program = outlet.PasteDropped();
  if (program >= 0) {
    viewer_.Notice(std::string(kPasteStopped) +
                   std::to_string(pasteDropped_ + static_cast<uint64_t>(program)) +
                   " bytes not sent");
    pasteDropped_ = 0;
    routed.redraw = true;
  }
  if (const uint64_t tooLong = pending_.TakeTooLong(); tooLong != 0) {
    viewer_.Notice(std::string(kPasteTooLong) + std::to_string(tooLong) + " bytes not kept");
    routed.redraw = true;
  }
}

}  // namespace qb7
