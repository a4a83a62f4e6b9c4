#pragma once
// Starts the second threads of the refresh and the index load.

#include <new>
#include <system_error>
#include <thread>
#include <utility>

// A new thread running fn. When the system cannot give one (no memory for
// its stack, too many threads) this throws std::bad_alloc, as exhausted
// memory does everywhere else in the refresh, so the caller reports it the
// same way and leaves the index as it was.
template <class Fn>
std::thread StartThread(Fn&& fn) {
  try {
    return std::thread(std::forward<Fn>(fn));
  } catch (const std::system_error&) {
    throw std::bad_alloc();
  }
}
