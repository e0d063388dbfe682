#include "sim/boot_plan.hpp"

#include <cerrno>
#include <cstdlib>

namespace qb7::sim {

const char* FateName(BootFate fate) {
  switch (fate) {
    case BootFate::Good:
      return "good";
    case BootFate::Hang:
      return "hang";
    case BootFate::Panic:
      return "panic";
    case BootFate::Slow:
      return "slow";
  }
  return "good";
}

BootVariation::BootVariation(BootPlan plan) : plan_(std::move(plan)), state_(plan_.seed) {}

// splitmix64: the same numbers from the same seed with any compiler and
// library, which the standard distributions do not promise.
double BootVariation::Uniform() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * (1.0 / 9007199254740992.0);
}

BootFate BootVariation::NextBoot() {
  BootFate fate = BootFate::Good;
  if (!plan_.pattern.empty()) {
    const char c = plan_.pattern[boots_.size() % plan_.pattern.size()];
    fate = c == 'h' ? BootFate::Hang : c == 'p' ? BootFate::Panic : c == 's' ? BootFate::Slow : BootFate::Good;
  } else if (plan_.failRate > 0 && Uniform() < plan_.failRate) {
    fate = BootFate::Hang;
  }
  boots_.push_back(fate);
  return fate;
}

uint64_t BootVariation::LineDelayUs(uint64_t nominalUs) {
  if (!plan_.jitter) return nominalUs;
  const double factor = 1.0 + kJitter * (2.0 * Uniform() - 1.0);
  return static_cast<uint64_t>(static_cast<double>(nominalUs) * factor);
}

bool ParseBootFail(const std::string& text, BootPlan& plan) {
  if (text.empty()) return false;
  if (text.find_first_not_of(".hps") == std::string::npos) {
    plan.pattern = text;
    plan.failRate = 0;
    return true;
  }
  char* end = nullptr;
  errno = 0;
  const double rate = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !(rate >= 0) || rate > 1) return false;
  plan.failRate = rate;
  plan.pattern.clear();
  return true;
}

}  // namespace qb7::sim
