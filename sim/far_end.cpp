#include "sim/far_end.hpp"

#include "sim/pattern.hpp"

namespace qb7::sim {

void Outbox::Send(std::string_view bytes, uint64_t readyUs) {
  if (bytes.empty()) return;
  runs_.push_back({readyUs, std::string(bytes)});
  waiting_ += bytes.size();
}

void Outbox::SendPattern(uint64_t count, uint64_t readyUs) {
  if (count == 0) return;
  runs_.push_back({readyUs, {}, 0, count, 0});
  waiting_ += count;
}

bool Outbox::Peek(uint8_t& byte, uint64_t& readyUs) const {
  if (runs_.empty()) return false;
  const Run& r = runs_.front();
  readyUs = r.readyUs;
  byte = r.patternLeft > 0 ? PatternByte(r.patternNext) : static_cast<uint8_t>(r.bytes[r.pos]);
  return true;
}

void Outbox::Pop() {
  if (runs_.empty()) return;
  Run& r = runs_.front();
  --waiting_;
  if (r.patternLeft > 0) {
    ++r.patternNext;
    if (--r.patternLeft == 0) runs_.pop_front();
  } else if (++r.pos >= r.bytes.size()) {
    runs_.pop_front();
  }
}

}  // namespace qb7::sim
