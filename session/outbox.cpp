#include "session/outbox.hpp"

#include "board/board_registers.hpp"

namespace qb7 {

namespace {
// A long pause looks for a key this often; a wait for a key, this often.
constexpr int64_t kPauseStepMs = 50;
constexpr int64_t kKeyLookMs = 10;
constexpr int64_t kPlainBelowMs = 100;
}  // namespace

Outbox::Item Outbox::ByteItem(uint8_t byte) {
  Item item(Item::Kind::Byte);
  item.byte = byte;
  return item;
}

Outbox::Item Outbox::PauseItem(int64_t ms) {
  Item item(Item::Kind::Pause);
  item.ms = ms;
  return item;
}

Outbox::Item Outbox::TellItem(std::string text) {
  Item item(Item::Kind::Tell);
  item.text = std::move(text);
  return item;
}

void Outbox::UartSendSlow(std::string_view bytes) {
  for (unsigned char b : bytes) steps_.push_back(ByteItem(b));
}

void Outbox::UartSendPaced(std::string_view bytes, uint64_t byteNs) {
  for (std::size_t at = 0; at < bytes.size(); at += board::uart::kTxFifoSize) {
    Item item(Item::Kind::Chunk);
    item.text = std::string(bytes.substr(at, board::uart::kTxFifoSize));
    item.us = (item.text.size() * byteNs + 999) / 1000;
    // The chunk before it, not yet gone, takes the new bytes in.
    if (!steps_.empty() && steps_.back().kind == Item::Kind::Chunk && !(steps_.size() == 1 && pauseStarted_) &&
        steps_.back().text.size() + item.text.size() <= static_cast<std::size_t>(board::uart::kTxFifoSize)) {
      steps_.back().text += item.text;
      steps_.back().us += item.us;
      continue;
    }
    steps_.push_back(std::move(item));
  }
}

void Outbox::Pause(int64_t ms) {
  if (ms > 0) steps_.push_back(PauseItem(ms));
}

void Outbox::PauseUntilKey() { steps_.emplace_back(Item::Kind::PauseUntilKey); }

void Outbox::Tell(std::string text) { steps_.push_back(TellItem(std::move(text))); }

void Outbox::Tell(std::shared_ptr<const std::string> head, std::string tail) {
  Item item = TellItem(std::move(tail));
  item.head = std::move(head);
  steps_.push_back(std::move(item));
}

void Outbox::WriteRegister(int reg, int value) {
  Item item(Item::Kind::Register);
  item.reg = reg;
  item.value = value;
  steps_.push_back(std::move(item));
}

void Outbox::PulseReset() {
  WriteRegister(board::kResetRegister, board::kResetAsserted);
  Pause(board::kResetPulseMs);
  WriteRegister(board::kResetRegister, board::kResetReleased);
  steps_.emplace_back(Item::Kind::ResetReleased);
}

void Outbox::StartExternal() { steps_.emplace_back(Item::Kind::StartExternal); }

void Outbox::Clear() {
  steps_.clear();
  pauseStarted_ = false;
}

void Outbox::Pop() {
  steps_.pop_front();
  pauseStarted_ = false;
}

uint64_t Outbox::NextStepUs() const {
  if (steps_.empty()) return UINT64_MAX;
  return pauseStarted_ ? stretchEndUs_ : 0;
}

bool Outbox::Paused(const Item& step, uint64_t now) {
  if (!pauseStarted_) {
    pauseStarted_ = true;
    if (step.kind == Item::Kind::PauseUntilKey) {
      remainingMs_ = -1;
    } else if (step.ms < kPlainBelowMs) {
      stretchEndUs_ = now + static_cast<uint64_t>(step.ms) * 1000;
      remainingMs_ = 0;
      return true;
    } else {
      remainingMs_ = step.ms;
    }
    stretchEndUs_ = now;
  }
  if (now < stretchEndUs_) return true;
  if (remainingMs_ < 0) {
    // Until a key waits: the key stays for the session to read.
    if (m_.console.KeyWaiting()) return false;
    stretchEndUs_ = now + kKeyLookMs * 1000;
    return true;
  }
  if (remainingMs_ >= kPauseStepMs) {
    if (m_.console.KeyWaiting()) return false;
    remainingMs_ -= kPauseStepMs;
    stretchEndUs_ = now + kPauseStepMs * 1000;
    return true;
  }
  if (remainingMs_ > 0) {
    // The remainder under a step is slept plainly.
    stretchEndUs_ = now + static_cast<uint64_t>(remainingMs_) * 1000;
    remainingMs_ = 0;
    return true;
  }
  return false;
}

Outbox::Event Outbox::Step() {
  while (!steps_.empty()) {
    const uint64_t now = m_.console.clock().NowUs();
    Item& step = steps_.front();
    switch (step.kind) {
      case Item::Kind::Byte: {
        const char byte = static_cast<char>(step.byte);
        const TxReport report =
            m_.uart.UartSendStr(m_.board.dataPort, m_.uartBase, std::string_view(&byte, 1));
        steps_.pop_front();
        notSent_ += report.notSent;
        // The pace after the byte, and before it what the send met, so the
        // pause starts once the operator has read it.
        steps_.push_front(PauseItem(kPaceMs));
        auto texts = Uart::Texts(report);
        for (auto it = texts.rbegin(); it != texts.rend(); ++it)
          steps_.push_front(TellItem(std::move(*it)));
        pauseStarted_ = false;
        continue;
      }
      case Item::Kind::Chunk: {
        if (!pauseStarted_) {
          const TxReport report = m_.uart.UartSendStr(m_.board.dataPort, m_.uartBase, step.text);
          notSent_ += report.notSent;
          pauseStarted_ = true;
          stretchEndUs_ = now + step.us;
          auto texts = Uart::Texts(report);
          if (!texts.empty()) {
            Pop();
            for (auto it = texts.rbegin(); it != texts.rend(); ++it) steps_.push_front(TellItem(std::move(*it)));
            continue;
          }
        }
        if (now < stretchEndUs_) return {};
        Pop();
        continue;
      }
      case Item::Kind::Pause:
      case Item::Kind::PauseUntilKey:
        if (Paused(step, now)) return {};
        Pop();
        continue;
      case Item::Kind::Register:
        m_.board.WriteRegister(step.reg, step.value);
        Pop();
        continue;
      case Item::Kind::Tell:
      case Item::Kind::ResetReleased:
      case Item::Kind::StartExternal: {
        // What someone else carries out: handed back to the loop.
        Event event;
        event.kind = step.kind == Item::Kind::Tell            ? Event::Kind::Tell
                     : step.kind == Item::Kind::ResetReleased ? Event::Kind::ResetReleased
                                                              : Event::Kind::StartExternal;
        event.text = step.head ? *step.head + step.text : std::move(step.text);
        event.atUs = now;
        Pop();
        return event;
      }
    }
  }
  return {};
}

}  // namespace qb7
