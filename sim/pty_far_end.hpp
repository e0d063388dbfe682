// A program run through the shell on a pseudo-terminal in raw mode, as the
// far end of a console line: what the UART sends reaches its input
// unchanged, what it writes goes onto the line at the line speed.
#pragma once
#include <sys/types.h>

#include <memory>
#include <string>

#include "sim/far_end.hpp"

namespace qb7::sim {

class PtyFarEnd final : public FarEnd {
 public:
  // How long a new far end is watched for a command that cannot start.
  static constexpr int kStartCheckMs = 250;

  // Starts the command; when it cannot be started (no pseudo-terminal, or
  // the shell finds no such program) sets why and returns null.
  static std::unique_ptr<PtyFarEnd> Start(const std::string& command, int baud, std::string& why);
  ~PtyFarEnd() override;

  void OnByte(uint8_t byte, uint64_t atUs) override;
  void Poll(uint64_t nowUs) override;
  bool running() const { return master_ >= 0; }

 private:
  PtyFarEnd(int master, pid_t child, int baud) : FarEnd(baud), master_(master), child_(child) {}
  void Hangup();

  int master_;
  pid_t child_;
};

}  // namespace qb7::sim
