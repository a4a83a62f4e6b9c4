#include "tests/support/alloc_failure.h"

#include <cstdlib>
#include <new>

// Replaces every non-aligned form of the global operator new and delete, so
// that new and delete always pair up (the sanitizer checks that they do).

namespace {

int g_countdown = -1;  // allocations to let through; -1 when disarmed
bool g_fired = false;

void* Allocate(std::size_t size) noexcept {
  if (g_countdown == 0) {
    g_countdown = -1;
    g_fired = true;
    return nullptr;
  }
  if (g_countdown > 0) --g_countdown;
  return std::malloc(size == 0 ? 1 : size);
}

void* AllocateOrThrow(std::size_t size) {
  void* p = Allocate(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

FailAllocation::FailAllocation(int after) {
  g_countdown = after;
  g_fired = false;
}

FailAllocation::~FailAllocation() { g_countdown = -1; }

bool FailAllocation::Fired() const { return g_fired; }

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
