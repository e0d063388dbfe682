// What the console needs of a terminal: keys in, the screen out.
// ThreadedFrontend hands both over to the thread that owns the real
// terminal; HeadlessFrontend serves tests, synchronously.
#pragma once
#include <cstdint>

#include "console/key_queue.hpp"
#include "console/screen.hpp"

namespace qb7 {

class Frontend {
 public:
  virtual ~Frontend() = default;
  // Queues every key that has arrived, without waiting. Throws ProgramExit
  // when the operator pressed Ctrl-C or a terminating signal came in.
  virtual void CollectKeys(KeyQueue& queue, uint64_t nowUs) = 0;
  // Shows the screen model.
  virtual void Present(const Screen& screen) = 0;
  // The terminal's own bell; returns at once.
  virtual void Bell() = 0;
  // Leaves the full screen for an external program, and comes back.
  virtual void Suspend() = 0;
  virtual void Resume() = 0;
};

}  // namespace qb7
