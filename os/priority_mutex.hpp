// A mutex with priority inheritance: a thread of normal priority that holds
// it runs at the priority of the real-time thread waiting for it, so the
// program thread is never held up behind a lower thread preempted while it
// holds the lock. For the few hand-overs that take a lock at all.
#pragma once
#include <pthread.h>

namespace qb7 {

class PriorityMutex {
 public:
  PriorityMutex() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
    pthread_mutex_init(&mutex_, &attr);
    pthread_mutexattr_destroy(&attr);
  }
  ~PriorityMutex() { pthread_mutex_destroy(&mutex_); }
  PriorityMutex(const PriorityMutex&) = delete;
  PriorityMutex& operator=(const PriorityMutex&) = delete;

  void lock() { pthread_mutex_lock(&mutex_); }
  void unlock() { pthread_mutex_unlock(&mutex_); }

 private:
  pthread_mutex_t mutex_;
};

}  // namespace qb7
