// A small built-in console at the far end of a line: echoes what it gets,
// keeps a prompt and answers a few commands. Each console is described by
// a profile, so the VSC7420, DK22N and DK22S differ only in data.
#pragma once
#include <string>
#include <vector>

#include "sim/boot_plan.hpp"
#include "sim/far_end.hpp"

namespace qb7::sim {

struct ConsoleProfile {
  std::string prompt;       // e.g. "vsc7420# "
  std::string banner;       // the answer to "version"
  std::string status;       // the answer to "status", with colour sequences
  std::vector<std::string> bootLog;  // lines printed after a reset pulse; empty: no boot
};

ConsoleProfile Vsc7420Profile();
ConsoleProfile Dk22nProfile();
ConsoleProfile Dk22sProfile();

class ConsoleFarEnd final : public FarEnd {
 public:
  static constexpr uint64_t kBootLineUs = 60000;  // the boot log comes line by line, as a real boot

  // After a panic, the boot starts again after this long.
  static constexpr uint64_t kPanicRebootUs = 1000000;
  // A slow boot's one slow step takes this much longer.
  static constexpr uint64_t kSlowStepUs = 800000;

  ConsoleFarEnd(ConsoleProfile profile, int baud, BootPlan plan = {})
      : FarEnd(baud), profile_(std::move(profile)), boots_(std::move(plan)) {}

  void OnByte(uint8_t byte, uint64_t atUs) override;
  void OnReset(uint64_t atUs) override;

  // The help listing, the same for every console.
  static const std::string& HelpText();
  // Every boot begun so far, with its fate.
  const std::vector<BootFate>& Boots() const { return boots_.Boots(); }

 private:
  void Execute(const std::string& line, uint64_t atUs);
  void Reply(std::string_view text, uint64_t atUs) { outbox_.Send(text, atUs); }

  // Sends the boot log's lines from, up to (not including) upTo, the
  // first at atUs; returns when the next would come.
  uint64_t SendBootLines(std::size_t from, std::size_t upTo, uint64_t atUs);

  ConsoleProfile profile_;
  BootVariation boots_;
  std::string line_;
  int escape_ = 0;     // 1 after ESC, 2 inside ESC [
  bool skipNext_ = false;  // after 255, the scan code of a PC key
};

}  // namespace qb7::sim
