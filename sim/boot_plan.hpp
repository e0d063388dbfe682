// How the simulated VSC7420's boots differ from one reset to the next, as
// a real board's do: each line's delay with a seeded jitter, and boots that
// fail, at a rate or by a pattern. A boot that hangs stops before the
// prompt; one that panics prints the panic and boots again from the start,
// reaching the prompt late; a slow one has one step that takes 800 ms
// longer. Pure and deterministic: the same seed gives the
// same boots.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qb7::sim {

enum class BootFate { Good, Hang, Panic, Slow };

// "good", "hang", "panic", "slow".
const char* FateName(BootFate fate);

struct BootPlan {
  bool jitter = false;   // each line's delay varies (on with a seed)
  uint64_t seed = 0;
  double failRate = 0;   // the share of boots that hang
  // Or one letter per boot, used in turn and again from the start:
  // '.' a good boot, 'h' one that hangs, 'p' one that panics, 's' a slow one.
  std::string pattern;
};

class BootVariation {
 public:
  // A line's delay varies by up to this share of its own either way.
  static constexpr double kJitter = 0.25;

  explicit BootVariation(BootPlan plan = {});
  // A boot begins (a reset released, a power-on): its fate, recorded.
  BootFate NextBoot();
  // The delay before the boot's next line, from its nominal delay.
  uint64_t LineDelayUs(uint64_t nominalUs);
  // The fate of every boot begun so far, in order.
  const std::vector<BootFate>& Boots() const { return boots_; }

 private:
  double Uniform();  // in [0, 1)

  BootPlan plan_;
  uint64_t state_;
  std::vector<BootFate> boots_;
};

// Parses --boot-fail's value: a rate from 0 to 1, or a pattern of '.',
// 'h', 'p' and 's'. False on anything else.
bool ParseBootFail(const std::string& text, BootPlan& plan);

}  // namespace qb7::sim
