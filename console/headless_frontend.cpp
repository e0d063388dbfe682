#include "console/headless_frontend.hpp"

#include <algorithm>
#include <utility>

#include "os/clock.hpp"
#include "os/program_exit.hpp"
#include "os/whole_file.hpp"

namespace qb7 {

// The program's own queue is the other side of the hand-over here: room is
// the queue's, and what is dropped is dropped from it.
class HeadlessFrontend::QueueOutlet final : public KeyOutlet {
 public:
  QueueOutlet(KeyQueue& queue, HeadlessFrontend& f) : queue_(queue), f_(f) {}
  bool HasRoom() const override { return queue_.Size() < KeyQueue::kCapacity; }
  bool Backlog() const override { return !HasRoom(); }
  bool PushKey(const KeyCode& key, bool pasted) override {
    if (!HasRoom()) return false;
    queue_.Push(key, pasted);
    return true;
  }
  bool PushDropWaiting() override {
    const KeyQueue::Dropped d = queue_.DropAll();
    f_.droppedCount_.pasted += d.pasted;
    f_.droppedCount_.typed += d.typed;
    f_.dropped_ = true;
    return true;
  }
  AnswerWant Wanted() const override { return f_.want_; }
  void PutAnswer(const KeyCode& key, uint32_t number) override {
    f_.answer_ = key;
    f_.answerNumber_ = number;
  }
  bool TakeDropped(uint64_t& pasted, uint64_t& typed) override {
    if (!std::exchange(f_.dropped_, false)) return false;
    pasted = std::exchange(f_.droppedCount_.pasted, 0);
    typed = std::exchange(f_.droppedCount_.typed, 0);
    return true;
  }

 private:
  KeyQueue& queue_;
  HeadlessFrontend& f_;
};

void HeadlessFrontend::WantAnswer(AnswerMode mode) {
  if (mode != AnswerMode::None) ++want_.number;
  want_.mode = mode;
}

KeyCode HeadlessFrontend::TakeAnswer(KeyQueue& queue) {
  KeyCode key = std::exchange(answer_, {});
  if (key.empty() || answerNumber_ == want_.number) return key;
  // It came too late for its line: back in turn, as typed.
  queue.PushPastBound(std::move(key), false);
  return {};
}

void HeadlessFrontend::Insert(Event e) {
  // Kept in time order; events at the same time stay in the order given.
  auto it = std::upper_bound(events_.begin(), events_.end(), e.atUs,
                             [](uint64_t t, const Event& x) { return t < x.atUs; });
  events_.insert(it, std::move(e));
}

void HeadlessFrontend::AddKeyAt(uint64_t atUs, KeyCode key) {
  Event e;
  e.atUs = atUs;
  e.key = std::move(key);
  Insert(std::move(e));
}

void HeadlessFrontend::AddPasteAt(uint64_t atUs, std::string_view text) {
  AddKeyAt(atUs, KeyCode(paste::Start));
  for (char c : text) AddKeyAt(atUs, KeyCode(1, c));
  AddKeyAt(atUs, KeyCode(paste::End));
}

void HeadlessFrontend::AddKeys(std::initializer_list<std::string_view> keys) {
  for (auto k : keys) AddKey(KeyCode(k));
}

void HeadlessFrontend::AddInterruptAt(uint64_t atUs, int status, int signal) {
  Event e;
  e.atUs = atUs;
  e.interrupt = true;
  e.status = status;
  e.signal = signal;
  Insert(std::move(e));
}

void HeadlessFrontend::AddActionAt(uint64_t atUs, std::function<void()> action) {
  Event e;
  e.atUs = atUs;
  e.action = std::move(action);
  Insert(std::move(e));
}

void HeadlessFrontend::Route(DecodedKeys& fresh, KeyQueue& queue, uint64_t nowUs) {
  QueueOutlet outlet(queue, *this);
  router_.Add(fresh, outlet);
  const KeyRouter::Routed routed = router_.Route(outlet);
  if (routed.save) Save(*routed.save, nowUs);
  if (routed.hex) {
    // Read at once: the tests' disk answers.
    std::string bytes;
    const int error = ReadFileRange(std::string(Viewer::kRawFileName), routed.hex->from,
                                    static_cast<std::size_t>(routed.hex->to - routed.hex->from), bytes);
    viewer_.ShowHex(*routed.hex, std::move(bytes), error);
  }
}

void HeadlessFrontend::CollectKeys(KeyQueue& queue, uint64_t nowUs, bool) {
  DecodedKeys fresh;
  while (!events_.empty() && events_.front().atUs <= nowUs) {
    Event e = std::move(events_.front());
    events_.pop_front();
    lastEventUs_ = nowUs;
    // The order to end waits for no key.
    if (e.interrupt) throw ProgramExit{e.status, e.signal};
    if (e.action) {
      // What the test does comes after the keys before it.
      Route(fresh, queue, nowUs);
      e.action();
      continue;
    }
    fresh.push_back(std::move(e.key));
  }
  Route(fresh, queue, nowUs);
  if (events_.empty() && queue.Empty() && !router_.Waiting() && nowUs - lastEventUs_ > kIdleLimitUs)
    throw ScriptEnded{};
}

void HeadlessFrontend::Save(const Viewer::SaveRequest& save, uint64_t nowUs) {
  const std::string name =
      DatedName(Viewer::kHistoryFilePrefix, VirtualClock::kEpochUs + nowUs, "txt");
  const WholeFile written = WriteWholeFile(name, save.text);
  viewer_.Notice(written.error == 0 ? Viewer::SavedNotice(written.path, save.rows, written.inTheWay)
                                    : Viewer::NotSavedNotice(name, written.error));
}

void HeadlessFrontend::Present(const Frame& frame) {
  viewer_.SetFrame(frame);
  sinceFrame_ = 0;
  ++frames_;
  for (auto& watch : onPresent_) watch(frame);
}

}  // namespace qb7
