#include "session/boot_watch.hpp"

#include <cstdio>

namespace qb7 {

std::string BootResult::Text() const {
  char text[160];
  const double first = static_cast<double>(firstByteUs) / 1000.0;
  if (prompt)
    std::snprintf(text, sizeof text, "boot: first byte %.1f ms, prompt after %.1f ms", first,
                  static_cast<double>(promptUs) / 1000.0);
  else if (anything)
    std::snprintf(text, sizeof text, "boot: first byte %.1f ms, no prompt within %g s", first,
                  static_cast<double>(timeOutUs) / 1e6);
  else
    std::snprintf(text, sizeof text, "boot: nothing received within %g s",
                  static_cast<double>(timeOutUs) / 1e6);
  return text;
}

std::string BootResult::ShortText() const {
  char text[64];
  if (prompt)
    std::snprintf(text, sizeof text, "boot: prompt after %.3f s", static_cast<double>(promptUs) / 1e6);
  else
    std::snprintf(text, sizeof text, "boot: %s within %g s", anything ? "no prompt" : "nothing",
                  static_cast<double>(timeOutUs) / 1e6);
  return text;
}

void BootWatch::Start(uint64_t atUs) {
  watching_ = true;
  startUs_ = atUs;
  lastAnyUs_ = 0;
  any_ = false;
  lineOpen_ = false;
  tail_.clear();
  found_.reset();
}

void BootWatch::Bytes(std::string_view bytes, uint64_t atUs) {
  if (!bytes.empty()) lastAnyUs_ = atUs;
  if (!watching_ || bytes.empty() || found_) return;
  if (!any_) {
    any_ = true;
    firstUs_ = atUs;
  }
  lastUs_ = atUs;
  lineOpen_ = bytes.back() != '\n';
  if (prompt_.empty()) return;
  // The prompt may come in two looks: what is kept of the last bytes goes
  // in front of these.
  tail_.append(bytes);
  if (tail_.find(prompt_) != std::string::npos) {
    found_ = Decide(true, atUs);
    return;
  }
  if (tail_.size() > prompt_.size()) tail_.erase(0, tail_.size() - prompt_.size());
}

std::optional<BootResult> BootWatch::Decide(bool prompt, uint64_t atUs) {
  BootResult r;
  r.prompt = prompt;
  r.anything = any_;
  r.firstByteUs = any_ ? firstUs_ - startUs_ : 0;
  r.promptUs = prompt ? atUs - startUs_ : 0;
  r.atUs = atUs;
  r.timeOutUs = timeOutUs_;
  return r;
}

std::optional<BootResult> BootWatch::Check(uint64_t nowUs) {
  if (!watching_) return std::nullopt;
  std::optional<BootResult> result;
  if (found_) {
    result = found_;
  } else if (prompt_.empty() && any_ && lineOpen_ && nowUs >= lastUs_ + kQuietUs) {
    // A line left open, then quiet: the prompt waits for a command.
    result = Decide(true, lastUs_);
  } else if (nowUs >= startUs_ + timeOutUs_) {
    result = Decide(false, nowUs);
  }
  if (result) watching_ = false;
  return result;
}

}  // namespace qb7
