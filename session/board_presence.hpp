// Whether the board answers, as the looks at the receive FIFO find it: an
// absent board (not seated, not powered) leaves an open bus, which reads
// 0xFF at every register. While it does not answer nothing is sent and
// nothing of it is taken as text; when it answers again (a power cycle
// cleared it) it is given its route and its UART again. The news is drawn
// on the session's screen by the session, not by the look that found it.
#pragma once
#include <string_view>

#include "machine/machine.hpp"
#include "session/session_log.hpp"

namespace qb7 {

class BoardPresence {
 public:
  static constexpr std::string_view kNoAnswer =
      "No answer from the QB7 board at 0x352 (every register reads 0xFF): is it seated and "
      "powered?";
  static constexpr std::string_view kAnswersAgain = "The QB7 board at 0x352 answers again";

  BoardPresence(Machine& m, SessionLog& log, int route, int baud)
      : m_(m), log_(log), route_(route), baud_(baud) {}
  // The speed the UART is programmed at again after a power-on.
  void SetBaud(int baud) { baud_ = baud; }

  // At a look, with what its count register read: whether the board
  // answers (looking at the other registers when that one read 0xFF).
  bool Answers(int countRegister);
  bool answers() const { return answers_; }
  // True once after the board stopped or started answering.
  bool TakeNews();
  // True once after the UART given back to a board that answers again
  // could not take the session's baud.
  bool TakeBadBaud();

 private:
  void Changed(bool answers);

  Machine& m_;
  SessionLog& log_;
  const int route_;
  int baud_;
  bool answers_ = true;
  bool news_ = false;
  bool badBaud_ = false;
};

}  // namespace qb7
