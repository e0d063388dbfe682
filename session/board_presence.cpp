#include "session/board_presence.hpp"

#include "board/board_registers.hpp"

namespace qb7 {

bool BoardPresence::Answers(int countRegister) {
  const bool answers =
      countRegister != 0xFF || !m_.uart.NoAnswer(m_.board.dataPort, m_.uartBase);
  if (answers != answers_) Changed(answers);
  return answers;
}

void BoardPresence::Changed(bool answers) {
  answers_ = answers;
  m_.uart.SetBoardAnswers(answers);
  news_ = true;
  log_.Note(answers ? kAnswersAgain : kNoAnswer);
  if (!answers) return;
  if (route_ >= 0) m_.board.WriteRegister(board::kRouteRegister, route_);
  if (!m_.uart.UartInit(board::uart::kClockHz, baud_, m_.board.dataPort, m_.uartBase))
    badBaud_ = true;
}

bool BoardPresence::TakeNews() {
  const bool news = news_;
  news_ = false;
  return news;
}

bool BoardPresence::TakeBadBaud() {
  const bool bad = badBaud_;
  badBaud_ = false;
  return bad;
}

}  // namespace qb7
