// The board register port: a register is selected by writing its number to
// the index port (data port + 1), then read or written at the data port.
// A selection stays until the next index write.
#pragma once
#include <cstdint>

#include "board/board_registers.hpp"
#include "board/port_io.hpp"

namespace qb7 {

class RegisterPort {
 public:
  explicit RegisterPort(PortIo& io) : io_(io) {}

  // Ports reach the bus as their low 16 bits, values as their low 8 bits.
  void WriteByte(int port, int value) {
    io_.Write(static_cast<uint16_t>(port), static_cast<uint8_t>(value));
  }
  int ReadByte(int port) { return io_.Read(static_cast<uint16_t>(port)); }

  // Selects a register of the pair whose data port is given: its number
  // goes to the index port, the data port + 1. The one way a register is
  // selected.
  void Select(int port, int reg) { WriteByte(port + 1, reg); }
  void WriteRegister(int reg, int value) {
    Select(dataPort, reg);
    WriteByte(dataPort, value);
  }
  int ReadRegister(int reg) {
    Select(dataPort, reg);
    return ReadByte(dataPort);
  }

  int dataPort = board::kDataPort;
  int auxPort = board::kAuxPort;

 private:
  PortIo& io_;
};

}  // namespace qb7
