// The VSC7420's reset asked from outside: `qb7uart --reset` from another
// shell, a lab's power driver, a test script. The process that holds the
// board listens on a socket in its own folder (qb7uart-reset.sock, as
// private as the folder: the program's group shares it, nobody else); a
// thread of its own accepts a request, hands it to the program thread
// (which looks at its turns and never waits) and writes back the answer
// the program thread gives. One request at a time.
#pragma once
#include <pthread.h>
#include <sys/types.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace qb7 {

inline constexpr const char* kResetSocketName = "qb7uart-reset.sock";

class ResetListener {
 public:
  // Listens at folder/qb7uart-reset.sock (a socket left there by a process
  // that died is replaced); null with the reason when it cannot.
  static std::unique_ptr<ResetListener> Listen(const std::string& folder, std::string& error);
  ~ResetListener();
  ResetListener(const ResetListener&) = delete;
  ResetListener& operator=(const ResetListener&) = delete;

  // Program thread: a request waits; the process that asked (0: unknown).
  bool Asked(pid_t& pid);
  // Program thread: the answer to it, "ok: ..." or "refused: ...".
  void Answer(const std::string& text);

 private:
  ResetListener() = default;
  static void* ThreadMain(void* self);
  void Run();
  void Serve(int client);

  std::string path_;
  int socket_ = -1;
  int wake_ = -1;    // the end, or an answer given
  pthread_t thread_{};
  bool started_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<bool> asked_{false};
  std::atomic<int> askedBy_{0};
  std::mutex answerMutex_;  // the answer's text, between the two threads
  std::string answer_;
  bool answered_ = false;
};

// The client: asks the process holding the board in folder to pulse the
// reset. Returns 1 with its answer when one holds it, 0 when none listens
// there (the caller may take the board itself), -1 with the reason when
// the asking failed.
int AskReset(const std::string& folder, std::string& answer);

}  // namespace qb7
