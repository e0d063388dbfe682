#include "input/pending_keys.hpp"

#include <algorithm>

namespace qb7 {

void PendingKeys::Add(DecodedKeys& fresh) {
  for (KeyCode& key : fresh) {
    if (key == paste::Start) {
      pasting_ = true;
      items_.push_back({{}, true, 0});
    } else if (key == paste::End) {
      pasting_ = false;
    } else if (pasting_) {
      // A paste gives one byte a key; what finds no room is counted.
      if (pasted_.Append(key) == 0)
        ++items_.back().left;
      else
        tooLong_ += key.size();
    } else {
      if (key == leaveKey_ && PasteWaiting()) DropPastes();
      items_.push_back({std::move(key), false, 0});
      ++typed_;
    }
  }
  fresh.clear();
}

bool PendingKeys::PasteWaiting() const {
  return std::any_of(items_.begin(), items_.end(), [](const Item& i) { return i.paste; });
}

void PendingKeys::DropPastes() {
  dropped_ += pasted_.Size();
  pasted_.Clear();
  std::erase_if(items_, [](const Item& i) { return i.paste; });
  dropAsked_ = true;
}

bool PendingKeys::Front(KeyCode& key, bool& pasted) {
  while (!items_.empty()) {
    Item& front = items_.front();
    if (!front.paste) {
      key = front.key;
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

bool PendingKeys::TakeTypedBehindPaste(KeyCode& key) {
  bool behind = false;
  for (auto it = items_.begin(); it != items_.end(); ++it) {
    if (it->paste) {
      behind = true;
      continue;
    }
    if (!behind) return false;  // it goes in its turn
    key = std::move(it->key);
    items_.erase(it);
    --typed_;
    return true;
  }
  return false;
}

bool PendingKeys::TakeDropAsked() {
  const bool asked = dropAsked_;
  dropAsked_ = false;
  return asked;
}

uint64_t PendingKeys::TakeDropped() {
  const uint64_t n = dropped_;
  dropped_ = 0;
  return n;
}

uint64_t PendingKeys::TakeTooLong() {
  const uint64_t n = tooLong_;
  tooLong_ = 0;
  return n;
}

}  // namespace qb7
