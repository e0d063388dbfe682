#include "session/macro_play.hpp"

#include "macro/macro_scanner.hpp"

namespace qb7 {

void MacroPlay(const Store& store, int slot, Outbox& outbox) {
  const int count = store.SlotCount(slot);
  if (count == 0) return;
  if (count >= 2) {
    outbox.StartExternal();
    return;
  }
  for (MacroStep& step : ScanMacro(store.SlotLine(slot, 1))) {
    switch (step.kind) {
      case MacroStep::Kind::Send: {
        const char byte = static_cast<char>(step.byte);
        outbox.UartSendSlow(std::string_view(&byte, 1));
        break;
      }
      case MacroStep::Kind::Pause: outbox.Pause(step.ms); break;
      case MacroStep::Kind::PauseUntilKey: outbox.PauseUntilKey(); break;
      case MacroStep::Kind::Report: outbox.Tell(std::move(step.text)); break;
    }
  }
}

}  // namespace qb7
