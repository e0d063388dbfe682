// Starting a thread that serves the program thread (the terminal, the log
// writer): at normal scheduling, whatever the program thread runs at, and
// with every asynchronous signal blocked, so that the signals reach the
// program thread, whose sleeps they cut short, and never interrupt a write
// to the terminal or the disk half-way.
#pragma once
#include <pthread.h>

#include <cstddef>

namespace qb7 {

// pthread_create's result: 0, or the reason the thread could not start.
// The stack is of the size given: these threads need little, and a small
// stack lets the program start where memory is scarce.
// The name (at most 15 characters) is what ps, top and /proc show for it.
int StartHelperThread(pthread_t& thread, void* (*main)(void*), void* argument,
                      std::size_t stackBytes, const char* name);

}  // namespace qb7
