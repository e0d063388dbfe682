// The terminal lent to an external program: whoever holds it is asked to
// lend it just before the program starts, and to take it back once the
// program has ended. Both return only when it is done, so the program never
// starts while the terminal is still drawn on.
#pragma once

namespace qb7 {

class TerminalLoan {
 public:
  virtual ~TerminalLoan() = default;
  virtual void Lend() = 0;
  virtual void TakeBack() = 0;
};

}  // namespace qb7
