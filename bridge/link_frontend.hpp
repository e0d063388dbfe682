// The front end of a session run for another program at the console link
// (--pty, --stdio): no screen and nobody at it; its keys are the bytes
// the other program wrote, each a pasted key (never the tool's own keys),
// taken only as far as the key queue has room, so that a writer faster
// than the UART is held back. A terminating signal ends the program (the
// log complete), and so does the other program's input ending once what
// it wrote has been sent (settled: the program has nothing left to send).
#pragma once
#include <algorithm>
#include <functional>
#include <string>

#include "bridge/console_link.hpp"
#include "console/frontend.hpp"
#include "os/program_exit.hpp"
#include "os/signal_watch.hpp"

namespace qb7 {

class LinkFrontend final : public Frontend {
 public:
  // note: an event for the session's log (a reader came or went); false
  // when the log cannot take it yet, so it is told again later.
  LinkFrontend(ConsoleLink& link, std::function<bool()> settled, std::function<bool(const std::string&)> note)
      : link_(link), settled_(std::move(settled)), note_(std::move(note)) {}

  // Once the input has ended and everything was sent, the board's answer
  // still comes through for so long before the program ends.
  static constexpr uint64_t kAnswerUs = 1000000;

  void CollectKeys(KeyQueue& queue, uint64_t nowUs, bool) override {
    if (const int sig = SignalWatch::PendingTermination()) throw ProgramExit{128 + sig, sig};
    TellReaders();
    char bytes[KeyQueue::kCapacity];
    const std::size_t room = KeyQueue::kCapacity - std::min(queue.Size(), KeyQueue::kCapacity);
    const std::size_t n = link_.TakeWritten(bytes, room);
    for (std::size_t i = 0; i < n; ++i) queue.Push(KeyCode(1, bytes[i]), true);
    if (n != 0 || queue.Size() != 0 || !link_.InputEnded() || !settled_ || !settled_()) {
      endedUs_ = 0;
      return;
    }
    if (endedUs_ == 0) endedUs_ = nowUs + 1;
    if (nowUs >= endedUs_ + kAnswerUs) throw ProgramExit{0, 0};
  }
  void Present(const Frame&) override {}
  void Bell() override {}
  void WantAnswer(AnswerMode) override {}
  KeyCode TakeAnswer(KeyQueue&) override { return {}; }
  void Lend() override {}
  void TakeBack() override {}
  bool LoanSettled() const override { return true; }

 private:
  void TellReaders() {
    const uint64_t came = link_.ReadersCame(), left = link_.ReadersLeft();
    if (!note_ || (came == came_ && left == left_)) return;
    // In the order they happen: a reader comes, then goes.
    while (came_ < came || left_ < left) {
      if (came_ <= left_ && came_ < came) {
        const uint64_t away = link_.UnreadWhileAway();
        if (!note_("console reader came (" + std::to_string(away - awayTold_) +
                   " bytes received meanwhile with no reader, in Term.txt)"))
          return;
        ++came_;
        awayTold_ = away;
      } else if (left_ < left) {
        if (!note_("console reader went away")) return;
        ++left_;
      } else {
        break;
      }
    }
  }

  ConsoleLink& link_;
  std::function<bool()> settled_;
  std::function<bool(const std::string&)> note_;
  uint64_t came_ = 0, left_ = 0, awayTold_ = 0;
  uint64_t endedUs_ = 0;  // when the input was seen ended with nothing left to send
};

}  // namespace qb7
