#include "input/key_router.hpp"

namespace qb7 {

KeyRouter::Routed KeyRouter::Route(KeyOutlet& outlet) {
  Routed routed;
  PassKeys(outlet, routed);
  Answer(outlet, routed);
  TellNews(outlet, routed);
  return routed;
}

void KeyRouter::ToView(const KeyCode& key, Routed& routed) {
  viewer_.OnKey(key);
  if (auto save = viewer_.TakeSave()) routed.save = std::move(save);
  if (auto hex = viewer_.TakeHex()) routed.hex = std::move(hex);
  if (auto speed = viewer_.TakeSpeed()) speedOrder_ = *speed;
  if (auto mark = viewer_.TakeMark())
    for (std::string& k : mark::Order(*mark)) markKeys_.push_back(std::move(k));
  routed.redraw = true;
}

void KeyRouter::PassKeys(KeyOutlet& outlet, Routed& routed) {
  // Shift-F2 typed while keys waited: the program drops what it holds
  // before it gets the Shift-F2 (the order waits for room, ahead of every
  // key after it).
  if (pending_.TakeDropAsked()) {
    dropToSend_ = true;
    const PendingKeys::Dropped d = pending_.TakeDropped();
    droppedHere_.pasted += d.pasted;
    droppedHere_.typed += d.typed;
  }
  if (dropToSend_) {
    if (!outlet.PushDropWaiting()) return;
    dropToSend_ = false;
  }
  // While a message line waits, nothing more goes: its answer is taken
  // out of turn (Answer), and the rest waits for it to go.
  if (outlet.Wanted().mode != AnswerMode::None) return;
  KeyCode key;
  bool pasted = false;
  for (;;) {
    // A speed picked in the history goes to the program before the keys
    // typed after it.
    if (speedOrder_ != 0) {
      if (!outlet.HasRoom() || !outlet.PushKey(speed::Order(speedOrder_), false)) return;
      speedOrder_ = 0;
    }
    // So does a mark, all its keys in turn.
    while (!markKeys_.empty()) {
      if (!outlet.HasRoom() || !outlet.PushKey(markKeys_.front(), false)) return;
      markKeys_.pop_front();
    }
    if (!pending_.Front(key, pasted)) break;
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
    if (viewer_.ReturnLive(pasted)) routed.redraw = true;
    if (!outlet.PushKey(key, pasted)) return;
    pending_.Pop();
  }
}

void KeyRouter::Answer(KeyOutlet& outlet, Routed& routed) {
  const AnswerWant want = outlet.Wanted();
  if (want.mode == AnswerMode::None) return;
  if (want.number != answerNumber_) {
    // A new message line: the typed keys already waiting came before it.
    answerNumber_ = want.number;
    answerSkip_ = want.mode == AnswerMode::NewKey ? pending_.Typed() : 0;
    answered_ = false;
  }
  // One answer a line: the next key waits for the next line.
  if (answered_) return;
  KeyCode key;
  while (pending_.TakeTyped(answerSkip_, key)) {
    if (viewer_.Takes(key)) {
      ToView(key, routed);
      continue;
    }
    if (viewer_.ReturnLive()) routed.redraw = true;
    outlet.PutAnswer(key, want.number);
    answered_ = true;
    return;
  }
}

void KeyRouter::TellNews(KeyOutlet& outlet, Routed& routed) {
  uint64_t pasted = 0, typed = 0;
  if (outlet.TakeDropped(pasted, typed)) {
    pasted += droppedHere_.pasted;
    typed += droppedHere_.typed;
    droppedHere_ = {};
    std::string notice;
    if (pasted != 0 || typed == 0)
      notice = std::string(kPasteStopped) + std::to_string(pasted) + " bytes not sent";
    if (typed != 0)
      notice += (notice.empty() ? std::string(kTypedStopped) : std::string(", ")) +
                std::to_string(typed) + " keys typed ahead not sent";
    viewer_.Notice(std::move(notice));
    routed.redraw = true;
  }
  if (uint64_t tooLong = 0; pending_.TakeTooLong(tooLong)) {
    viewer_.Notice(std::string(kPasteTooLong) + std::to_string(tooLong) + " bytes not kept");
    routed.redraw = true;
  }
  if (const uint64_t tooMany = pending_.TakeTooMany(); tooMany != 0) {
    tooManyTotal_ += tooMany;
    viewer_.Notice(std::string(kTypedTooFar) + std::to_string(tooManyTotal_) + " keys not kept");
    routed.redraw = true;
  }
}

}  // namespace qb7
