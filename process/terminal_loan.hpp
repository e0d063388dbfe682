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
  // While the program runs: about this long passes, the lender's own work
  // going on meanwhile (the looks at the receive FIFO), its keys and
  // signals left for the one who waits for the program.
  virtual void WhileLent(int ms) = 0;
};

}  // namespace qb7
