#include "bridge/console_link.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "os/helper_thread.hpp"
#include "os/monotonic.hpp"

namespace qb7 {

ConsoleLink::ConsoleLink(int in, int out, bool readerComesAndGoes)
    : in_(in), out_(out), comesAndGoes_(readerComesAndGoes) {
  wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  // 64 KB of stack: the thread holds two 4 KB buffers.
  const int rc = StartHelperThread(thread_, &ConsoleLink::ThreadMain, this, 64 * 1024, "qb7-console");
  if (rc != 0) {
    close(wake_);
    throw std::system_error(rc, std::generic_category(), "the console link's thread");
  }
  started_ = true;
}

void* ConsoleLink::ThreadMain(void* self) {
  static_cast<ConsoleLink*>(self)->Run();
  return nullptr;
}

ConsoleLink::~ConsoleLink() {
  stop_.store(true, std::memory_order_release);
  Wake();
  if (started_) pthread_join(thread_, nullptr);
  close(wake_);
}

void ConsoleLink::Wake() {
  const uint64_t one = 1;
  (void)!write(wake_, &one, sizeof one);
}

void ConsoleLink::Received(std::string_view bytes) {
  const std::size_t put = toReader_.Put(bytes);
  undelivered_ += bytes.size() - put;
  // The thread is woken only when it sleeps with nothing to do; otherwise
  // it comes for the bytes at its next turn (no system call per look).
  if (put != 0 && sleeping_.exchange(false, std::memory_order_acq_rel)) Wake();
}

void ConsoleLink::Run() {
  char buffer[4096];
  std::size_t pending = 0, sent = 0;  // taken from the ring, not yet written
  bool inputOpen = true;
  bool present = !comesAndGoes_;  // a reader has the pseudo-terminal open
  uint64_t nextWriteUs = 0;
  uint64_t stopBy = 0;  // once asked to stop: what is left is passed on until then
  for (;;) {
    const uint64_t now = MonotonicUs();
    if (stop_.load(std::memory_order_acquire)) {
      if (stopBy == 0) stopBy = now + kLastBytesUs;
      if ((pending == sent && toReader_.Waiting() == 0) || !present || now >= stopBy) break;
    }
    // A full buffer's worth goes at once; less waits for the gathering
    // (and nothing does once the end is asked).
    const bool due = now >= nextWriteUs || toReader_.Waiting() >= sizeof buffer || stopBy != 0;
    if (pending == sent && due) {
      pending = toReader_.Take(buffer, sizeof buffer);
      sent = 0;
    }
    pollfd fds[3];
    nfds_t n = 0;
    fds[n++] = {wake_, POLLIN, 0};
    const bool reading = inputOpen && toBoard_.Room() != 0;
    const nfds_t inAt = reading || comesAndGoes_ ? n : 99;
    if (inAt != 99) fds[n++] = {in_, static_cast<short>(reading ? POLLIN : 0), 0};
    const nfds_t outAt = pending > sent && present ? n : 99;
    if (outAt != 99) fds[n++] = {out_, POLLOUT, 0};
    int timeout = -1;
    if (!reading) timeout = 20;  // the ring to the program is looked at again shortly
    if (pending == sent && toReader_.Waiting() != 0)
      timeout = static_cast<int>(due || nextWriteUs <= now ? 0 : (nextWriteUs - now + 999) / 1000);
    if (timeout < 0) {
      sleeping_.store(true, std::memory_order_release);
      if (toReader_.Waiting() != 0) timeout = 0;  // came in meanwhile
    }
    if (!present) timeout = timeout < 0 || timeout > 50 ? 50 : timeout;
    if (stopBy != 0) timeout = timeout < 0 || timeout > 10 ? 10 : timeout;
    const int ready = poll(fds, n, timeout);
    sleeping_.store(false, std::memory_order_release);
    if (ready < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      uint64_t count;
      (void)!read(wake_, &count, sizeof count);
    }
    if (comesAndGoes_) {
      // The master hangs up while no one has the other end open.
      const bool now = !(fds[inAt].revents & POLLHUP);
      if (now != present) (now ? came_ : left_).fetch_add(1, std::memory_order_release);
      present = now;
      if (!present) {
        // What the board sends meanwhile is in the log, not kept for the
        // next reader.
        away_.fetch_add(pending - sent, std::memory_order_release);
        pending = sent = 0;
        for (std::size_t k; (k = toReader_.Take(buffer, sizeof buffer)) != 0;)
          away_.fetch_add(k, std::memory_order_release);
        continue;
      }
    }
    if (reading && (fds[inAt].revents & (POLLIN | POLLHUP | POLLERR))) {
      char in[4096];
      const std::size_t room = std::min(sizeof in, toBoard_.Room());
      const ssize_t got = read(in_, in, room);
      if (got > 0) {
        toBoard_.Put(std::string_view(in, static_cast<std::size_t>(got)));
      } else if (got == 0 || (errno != EAGAIN && errno != EINTR && !(comesAndGoes_ && errno == EIO))) {
        inputOpen = false;
        inputEnded_.store(true, std::memory_order_release);
      }
    }
    if (outAt != 99 && (fds[outAt].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t put = write(out_, buffer + sent, pending - sent);
      if (put > 0) sent += static_cast<std::size_t>(put);
      else if (put < 0 && errno != EAGAIN && errno != EINTR) sent = pending;  // the reader is gone
      // The next bytes are gathered a while: a write per look would cost
      // a system call each millisecond at full rate.
      if (sent == pending) nextWriteUs = MonotonicUs() + kGatherUs;
    }
  }
}

}  // namespace qb7
