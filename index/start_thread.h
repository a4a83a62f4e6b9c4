#pragma once
// Starts the second threads of the refresh and the index load.

#include <system_error>
#include <thread>
#include <utility>

// A new thread running fn or, when the system gives none (too many threads
// for the user or the machine, no room for its stack, a sandbox that
// forbids them), a std::thread that is not joinable and fn never run. Each
// of these threads only speeds the work up, so its caller then does the
// work on its own thread instead of failing the refresh. Exhausted memory
// still throws std::bad_alloc.
template <class Fn>
std::thread StartThread(Fn&& fn) {
  try {
    return std::thread(std::forward<Fn>(fn));
  } catch (const std::system_error&) {
    return std::thread();
  }
}
