// Starting a thread that serves the program thread (the terminal, the log
// writer): at normal scheduling, whatever the program thread runs at, and
// with every asynchronous signal blocked, so that the signals reach the
// program thread, whose sleeps they cut short, and never interrupt a write
// to the terminal or the disk half-way.
#pragma once
#include <pthread.h>

namespace qb7 {

// pthread_create's result: 0, or the reason the thread could not start.
int StartHelperThread(pthread_t& thread, void* (*main)(void*), void* argument);

}  // namespace qb7
