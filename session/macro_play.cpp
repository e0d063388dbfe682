#include "session/macro_play.hpp"

#include <memory>

#include "macro/macro_scanner.hpp"

namespace qb7 {

void MacroPlay(const Store& store, int slot, Outbox& outbox) {
  const int count = store.SlotCount(slot);
  if (count == 0) return;
  if (count >= 2) {
    outbox.StartExternal();
    return;
  }
  const std::string& line = store.SlotLine(slot, 1);
  // The line is held once, however many of its characters cannot be read.
  std::shared_ptr<const std::string> head;
  for (const MacroStep& step : ScanMacro(line)) {
    switch (step.kind) {
      case MacroStep::Kind::Send: {
        const char byte = static_cast<char>(step.byte);
        outbox.UartSendSlow(std::string_view(&byte, 1));
        break;
      }
      case MacroStep::Kind::Pause: outbox.Pause(step.ms); break;
      case MacroStep::Kind::PauseUntilKey: outbox.PauseUntilKey(); break;
      case MacroStep::Kind::Report:
        if (!head) head = std::make_shared<const std::string>(MacroReportHead(line));
        outbox.Tell(head, MacroReportTail(step.position));
        break;
    }
  }
}

}  // namespace qb7
