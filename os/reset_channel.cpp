#include "os/reset_channel.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "os/helper_thread.hpp"

namespace qb7 {

namespace {

// How long the program thread may take to answer, and a client to ask.
constexpr int kAnswerMs = 5000;
constexpr int kRequestMs = 2000;

bool Address(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.size());
  return true;
}

std::string ReadLine(int fd, int waitMs) {
  std::string line;
  char c;
  while (line.size() < 256) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, waitMs) <= 0) break;
    if (read(fd, &c, 1) != 1 || c == '\n') break;
    line.push_back(c);
  }
  return line;
}

void WriteAll(int fd, const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const ssize_t n = send(fd, text.data() + at, text.size() - at, MSG_NOSIGNAL);
    if (n <= 0) return;
    at += static_cast<std::size_t>(n);
  }
}

}  // namespace

std::unique_ptr<ResetListener> ResetListener::Listen(const std::string& folder, std::string& error) {
  std::unique_ptr<ResetListener> l(new ResetListener);
  l->path_ = folder + "/" + kResetSocketName;
  sockaddr_un addr;
  if (!Address(l->path_, addr)) {
    error = l->path_ + ": the path is too long for a socket";
    return nullptr;
  }
  // Only a socket is replaced: the folder's lock says no other copy runs.
  struct stat st {};
  if (lstat(l->path_.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      error = l->path_ + ": something other than a socket is there";
      return nullptr;
    }
    unlink(l->path_.c_str());
  }
  l->socket_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  l->wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (l->socket_ < 0 || l->wake_ < 0 || bind(l->socket_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(l->socket_, 4) != 0) {
    error = l->path_ + ": " + std::strerror(errno);
    return nullptr;
  }
  if (StartHelperThread(l->thread_, &ResetListener::ThreadMain, l.get(), 64 * 1024, "qb7-reset") != 0) {
    error = "the reset channel's thread would not start";
    return nullptr;
  }
  l->started_ = true;
  return l;
}

ResetListener::~ResetListener() {
  stop_.store(true);
  if (wake_ >= 0) {
    const uint64_t one = 1;
    (void)!write(wake_, &one, sizeof one);
  }
  if (started_) pthread_join(thread_, nullptr);
  if (socket_ >= 0) {
    close(socket_);
    unlink(path_.c_str());
  }
  if (wake_ >= 0) close(wake_);
}

void* ResetListener::ThreadMain(void* self) {
  static_cast<ResetListener*>(self)->Run();
  return nullptr;
}

void ResetListener::Run() {
  while (!stop_.load()) {
    pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[1].revents & POLLIN) {
      uint64_t n;
      (void)!read(wake_, &n, sizeof n);
    }
    if (!(fds[0].revents & POLLIN)) continue;
    const int client = accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Serve(client);
    close(client);
  }
}

void ResetListener::Serve(int client) {
  if (ReadLine(client, kRequestMs) != "reset") {
    WriteAll(client, "refused: not a request this program knows\n");
    return;
  }
  ucred who{};
  socklen_t size = sizeof who;
  getsockopt(client, SOL_SOCKET, SO_PEERCRED, &who, &size);
  {
    std::lock_guard<std::mutex> hold(answerMutex_);
    answered_ = false;
  }
  askedBy_.store(who.pid);
  asked_.store(true, std::memory_order_release);
  // The answer, or the end, within the time the program thread has.
  for (int waited = 0; waited < kAnswerMs && !stop_.load(); waited += 50) {
    pollfd p{wake_, POLLIN, 0};
    if (poll(&p, 1, 50) > 0) {
      uint64_t n;
      (void)!read(wake_, &n, sizeof n);
    }
    std::lock_guard<std::mutex> hold(answerMutex_);
    if (answered_) {
      WriteAll(client, answer_ + "\n");
      return;
    }
  }
  asked_.store(false);
  WriteAll(client, "refused: the program holding the board did not answer\n");
}

bool ResetListener::Asked(pid_t& pid) {
  if (!asked_.exchange(false, std::memory_order_acquire)) return false;
  pid = askedBy_.load();
  return true;
}

void ResetListener::Answer(const std::string& text) {
  {
    std::lock_guard<std::mutex> hold(answerMutex_);
    answer_ = text;
    answered_ = true;
  }
  const uint64_t one = 1;
  (void)!write(wake_, &one, sizeof one);
}

int AskReset(const std::string& folder, std::string& answer) {
  const std::string path = folder + "/" + kResetSocketName;
  sockaddr_un addr;
  if (!Address(path, addr)) {
    answer = path + ": the path is too long for a socket";
    return -1;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    answer = std::strerror(errno);
    return -1;
  }
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    const int e = errno;
    close(fd);
    if (e == ENOENT || e == ECONNREFUSED) return 0;
    answer = path + ": " + std::strerror(e);
    return -1;
  }
  WriteAll(fd, "reset\n");
  answer = ReadLine(fd, kAnswerMs + kRequestMs);
  close(fd);
  if (answer.empty()) answer = "refused: no answer from the program holding the board";
  return 1;
}

}  // namespace qb7
