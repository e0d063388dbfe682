#include "os/helper_thread.hpp"

#include <sched.h>
#include <signal.h>

#include <initializer_list>

namespace qb7 {

namespace {

// Every signal but those a fault raises in the thread that caused it.
sigset_t AsynchronousSignals() {
  sigset_t set;
  sigfillset(&set);
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS}) sigdelset(&set, sig);
  return set;
}

}  // namespace

int StartHelperThread(pthread_t& thread, void* (*main)(void*), void* argument,
                      std::size_t stackBytes, const char* name) {
  // The thread inherits the mask in force when it is made.
  const sigset_t blocked = AsynchronousSignals();
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &blocked, &old);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
  pthread_attr_setschedpolicy(&attr, SCHED_OTHER);
  sched_param normal{};
  pthread_attr_setschedparam(&attr, &normal);
  pthread_attr_setstacksize(&attr, stackBytes);
  int rc = pthread_create(&thread, &attr, main, argument);
  if (rc != 0) {
    // Tried again with the default stack, but never with the default
    // attributes: those would inherit the program thread's real-time
    // scheduling.
    pthread_attr_t plain;
    pthread_attr_init(&plain);
    pthread_attr_setinheritsched(&plain, PTHREAD_EXPLICIT_SCHED);
    pthread_attr_setschedpolicy(&plain, SCHED_OTHER);
    pthread_attr_setschedparam(&plain, &normal);
    rc = pthread_create(&thread, &plain, main, argument);
    pthread_attr_destroy(&plain);
  }
  pthread_attr_destroy(&attr);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (rc == 0) pthread_setname_np(thread, name);
  return rc;
}

}  // namespace qb7
