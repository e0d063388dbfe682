// What the fuzz targets share: a front end that answers every key wait at
// once, so message lines never stop a run.
#pragma once
#include "board/port_io.hpp"
#include "console/frontend.hpp"

namespace qb7::fuzz {

class AnsweringFrontend final : public Frontend {
 public:
  void CollectKeys(KeyQueue& queue, uint64_t) override {
    if (queue.Empty()) queue.Push("x");
  }
  void Present(const Screen&) override {}
  void Bell() override {}
  void Lend() override {}
  void TakeBack() override {}
};

// Ports with nothing behind them: the transmitter is never busy, the
// receive FIFO always empty.
class IdlePorts final : public PortIo {
 public:
  void Write(uint16_t, uint8_t) override {}
  uint8_t Read(uint16_t) override { return 0; }
};

}  // namespace qb7::fuzz
