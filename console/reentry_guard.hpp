// Marks a piece of work as running for as long as the guard lives, so the
// work is never entered again from inside itself, and the mark goes away
// however the work ends (an exception included).
#pragma once

namespace qb7 {

class ReentryGuard {
 public:
  explicit ReentryGuard(bool& running) : running_(running) { running_ = true; }
  ~ReentryGuard() { running_ = false; }
  ReentryGuard(const ReentryGuard&) = delete;
  ReentryGuard& operator=(const ReentryGuard&) = delete;

 private:
  bool& running_;
};

}  // namespace qb7
