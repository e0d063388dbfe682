#include "session/receive_path.hpp"

#include <algorithm>

namespace qb7 {

PollTiming PollTimingFor(int baud) {
  constexpr uint64_t kLongest = 30000;
  if (baud <= 0) return {kLongest, kLongest};
  const uint64_t fillUs = board::uart::FifoFillUs(baud);
  const uint64_t idle = std::clamp<uint64_t>(fillUs / 2, 100, kLongest);
  // While bytes flow, three quarters of the fill time stay in hand against
  // a wake-up that comes late: this machine's come several ms late at times.
  return {idle, std::clamp<uint64_t>(fillUs / 4, 100, idle)};
}

ReceivePath::ReceivePath(Machine& m, SessionLog& log, BoardPresence& board, int baud)
    : m_(m), log_(log), board_(board), timing_(PollTimingFor(baud)),
      interpreter_(m.console, m.colours, log), nextLookUs_(m.console.clock().NowUs()) {
  received_.reserve(board::uart::kRxFifoSize);
}

void ReceivePath::StatusLineShown(uint64_t row, int length) {
  counts_.session = true;
  counts_.statusRow = row;
  counts_.statusLength = length;
  m_.console.SetLineCounts(counts_);
}

void ReceivePath::SessionIs(uint32_t number, std::string_view header) {
  counts_.number = number;
  counts_.SetHeader(header);
  m_.console.SetLineCounts(counts_);
}

void ReceivePath::LookAtFifo() {
  const int port = m_.board.dataPort;
  const int countRegister = m_.uart.RxCountRegister(port, m_.uartBase);
  // An open bus reads 0xFF everywhere: no bytes, only the board's absence.
  const bool answers = board_.Answers(countRegister);
  const int count = answers ? countRegister & board::uart::kRxCountMask : 0;
  if (count > 0) {
    const RxErrors found = m_.uart.UartRcvStr(port, m_.uartBase, count, 1000, received_);
    errors_ |= found;
    lost_ += queue_.Put(received_, m_.console.clock().NowUs(), found);
    counts_.received += received_.size();
    counts_.framing += found.framing ? 1 : 0;
    counts_.overflow += found.overflow ? 1 : 0;
    m_.console.SetLineCounts(counts_);
  }
  const uint64_t wait = count > 0 || !queue_.Empty() ? timing_.busyUs : timing_.idleUs;
  nextLookUs_ = m_.console.clock().NowUs() + std::max<uint64_t>(wait, 100);
}

void ReceivePath::InterpretSlice() {
  // What a message held back is drawn a slice a look, so that the looks
  // keep their time while a backlog of minutes is worked off, and no faster
  // than the history takes the rows it makes (a byte makes one row at most).
  Interpret(std::min(kSliceBytes, m_.console.RowRoom()));
}

void ReceivePath::InterpretAll() { Interpret(SIZE_MAX); }

void ReceivePath::Interpret(std::size_t most) {
  std::size_t done = 0;
  ReceivedQueue::Piece piece;
  while (done < most && queue_.Front(piece)) {
    log_.SetNow(piece.atUs);
    m_.console.screen().SetRowTime(log_.RowTimeAt(piece.atUs));
    if (piece.errors.Any() || piece.errors.framing || piece.errors.overflow)
      m_.console.screen().MarkRowError();
    NoteErrors(piece);
    const std::string_view bytes = piece.bytes.substr(0, most - done);
    log_.Received(bytes, interpreter_.Fed());
    if (m_.received) m_.received(bytes);
    if (watch_) watch_->Bytes(bytes, piece.atUs);
    interpreter_.Feed(bytes);
    queue_.Pop(bytes.size());
    done += bytes.size();
  }
  // What the tool writes from now on is its own, not received.
  RowTime drawn = m_.console.screen().RowTimeNow();
  drawn.kind = RowTime::Kind::Drawn;
  m_.console.screen().SetRowTime(drawn);
  log_.Flush();
}

void ReceivePath::NoteErrors(const ReceivedQueue::Piece& piece) {
  if (piece.errors.timeout) log_.NoteAt(piece.atUs, "receive error: time-out");
  if (piece.errors.overflow) log_.NoteAt(piece.atUs, "receive error: overflow");
  if (piece.errors.framing) log_.NoteAt(piece.atUs, "receive error: framing");
  if (piece.errors.pending && !piece.errors.overflow && !piece.errors.framing)
    log_.NoteAt(piece.atUs, "receive error");
}

RxErrors ReceivePath::TakeErrors() {
  const RxErrors errors = errors_;
  errors_ = {};
  return errors;
}

uint64_t ReceivePath::TakeLost() {
  const uint64_t lost = lost_;
  lost_ = 0;
  return lost;
}

}  // namespace qb7
