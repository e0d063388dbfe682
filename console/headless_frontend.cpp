#include "console/headless_frontend.hpp"

#include <algorithm>

#include "os/clock.hpp"
#include "os/program_exit.hpp"
#include "os/whole_file.hpp"

namespace qb7 {

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
  for (char c : text) {
    Event e;
    e.atUs = atUs;
    e.key = KeyCode(1, c);
    e.pasted = true;
    Insert(std::move(e));
  }
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

void HeadlessFrontend::CollectKeys(KeyQueue& queue, uint64_t nowUs) {
  while (!events_.empty() && events_.front().atUs <= nowUs) {
    Event e = std::move(events_.front());
    events_.pop_front();
    lastEventUs_ = nowUs;
    if (e.interrupt) throw ProgramExit{e.status, e.signal};
    if (e.action) {
      e.action();
      continue;
    }
    // The view takes its keys, as in the terminal thread; any other key
    // returns it to the live screen and goes on.
    if (!e.pasted && viewer_.Takes(e.key)) {
      viewer_.OnKey(e.key);
      SaveIfAsked(nowUs);
      continue;
    }
    viewer_.ReturnLive();
    queue.Push(std::move(e.key), e.pasted);
  }
  if (events_.empty() && queue.Empty() && nowUs - lastEventUs_ > kIdleLimitUs) throw ScriptEnded{};
}

void HeadlessFrontend::SaveIfAsked(uint64_t nowUs) {
  const auto save = viewer_.TakeSave();
  if (!save) return;
  const std::string name =
      DatedName(Viewer::kHistoryFilePrefix, VirtualClock::kEpochUs + nowUs, "txt");
  const WholeFile written = WriteWholeFile(name, save->text);
  viewer_.Notice(written.error == 0 ? Viewer::SavedNotice(written.path, save->rows)
                                    : Viewer::NotSavedNotice(name, written.error));
}

void HeadlessFrontend::Present(const Frame& frame) {
  viewer_.SetFrame(frame);
  sinceFrame_ = 0;
  ++frames_;
  for (auto& watch : onPresent_) watch(frame);
}

}  // namespace qb7
