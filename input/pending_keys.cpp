#include "input/pending_keys.hpp"

#include <algorithm>
#include <utility>

namespace qb7 {

PendingKeys::CompactKey PendingKeys::Pack(const KeyCode& key) {
  CompactKey k;
  k.size = static_cast<uint8_t>(std::min<std::size_t>(key.size(), sizeof k.bytes));
  key.copy(k.bytes, k.size);
  return k;
}

void PendingKeys::Add(DecodedKeys& fresh, bool backlog) {
  // Keys that waited for room before these came (here, or on the program's
  // side): the leave key drops them; keys that only just came with it go
  // in their turn.
  const bool waitingBefore = Waiting() || backlog;
  for (KeyCode& key : fresh) {
    if (key == paste::Start) {
      pasting_ = true;
      tooLong_ = 0;
      items_.push_back({{}, true, 0});
    } else if (key == paste::End) {
      pasting_ = false;
    } else if (pasting_) {
      // A paste gives one byte a key; what finds no room is counted.
      if (pasted_.Append(key) == 0) {
        ++items_.back().left;
      } else {
        tooLong_ += key.size();
        tooLongNews_ = true;
      }
    } else if (typed_ >= kTypedKeys) {
      ++tooMany_;
    } else {
      // The leave key typed while keys wait (a paste, or type-ahead the
      // program has no room for yet) acts now: what waits is dropped.
      if (key == leaveKey_ && waitingBefore) DropAll();
      items_.push_back({Pack(key), false, 0});
      ++typed_;
    }
  }
  fresh.clear();
}

bool PendingKeys::Waiting() const {
  return std::any_of(items_.begin(), items_.end(),
                     [](const Item& i) { return !i.paste || i.left > 0; });
}

void PendingKeys::DropAll() {
  dropped_.pasted += pasted_.Size();
  dropped_.typed += typed_;
  pasted_.Clear();
  items_.clear();
  typed_ = 0;
  dropAsked_ = true;
}

bool PendingKeys::Front(KeyCode& key, bool& pasted) {
  while (!items_.empty()) {
    Item& front = items_.front();
    if (!front.paste) {
      key = Unpack(front.key);
      pasted = false;
      return true;
    }
    if (front.left > 0) {
      key.assign(1, pasted_.Front()[0]);
      pasted = true;
      return true;
    }
    // A paste whose bytes have all gone; one still coming waits for more.
    if (pasting_ && items_.size() == 1) return false;
    items_.pop_front();
  }
  return false;
}

void PendingKeys::Pop() {
  Item& front = items_.front();
  if (!front.paste) {
    items_.pop_front();
    --typed_;
    return;
  }
  pasted_.Pop(1);
  --front.left;
}

bool PendingKeys::TakeTyped(std::size_t skip, KeyCode& key) {
  for (auto it = items_.begin(); it != items_.end(); ++it) {
    if (it->paste) continue;
    if (skip > 0) {
      --skip;
      continue;
    }
    key = Unpack(it->key);
    items_.erase(it);
    --typed_;
    return true;
  }
  return false;
}

bool PendingKeys::TakeDropAsked() { return std::exchange(dropAsked_, false); }

PendingKeys::Dropped PendingKeys::TakeDropped() { return std::exchange(dropped_, Dropped{}); }

bool PendingKeys::TakeTooLong(uint64_t& bytes) {
  if (!tooLongNews_) return false;
  tooLongNews_ = false;
  bytes = tooLong_;
  return true;
}

uint64_t PendingKeys::TakeTooMany() { return std::exchange(tooMany_, 0); }

}  // namespace qb7
