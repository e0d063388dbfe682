#include "session/received_queue.hpp"

#include <algorithm>

namespace qb7 {

std::size_t ReceivedQueue::Put(std::string_view bytes, uint64_t atUs, const RxErrors& errors) {
  const std::size_t lost = bytes_.Append(bytes);
  const std::size_t kept = bytes.size() - lost;
  if (kept == 0 && !errors.Any()) return lost;
  // Two looks with no error between them and the same time make one stretch.
  if (!errors.Any() && !stretches_.empty() && stretches_.back().atUs == atUs)
    stretches_.back().bytes += kept;
  else
    stretches_.push_back({kept, atUs, errors});
  return lost;
}

bool ReceivedQueue::Front(Piece& piece) {
  if (stretches_.empty()) return false;
  Stretch& s = stretches_.front();
  piece.atUs = s.atUs;
  piece.errors = s.errors;
  piece.bytes = bytes_.Front().substr(0, s.bytes);
  return true;
}

void ReceivedQueue::Pop(std::size_t n) {
  Stretch& s = stretches_.front();
  if (n > 0) bytes_.Pop(n);
  s.bytes -= n;
  s.errors = {};  // told with the first piece
  if (s.bytes == 0) stretches_.pop_front();
}

}  // namespace qb7
