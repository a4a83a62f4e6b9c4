#include "tests/support/alloc_failure.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

// Replaces every non-aligned form of the global operator new and delete, so
// that new and delete always pair up (the sanitizer checks that they do).

namespace {

int g_countdown = -1;  // allocations to let through; -1 when disarmed
bool g_fired = false;
std::size_t g_live = 0;  // usable bytes held now
std::size_t g_base = 0;  // g_live when the measurement started
std::size_t g_peak = 0;

void* Allocate(std::size_t size) noexcept {
  if (g_countdown == 0) {
    g_countdown = -1;
    g_fired = true;
    return nullptr;
  }
  if (g_countdown > 0) --g_countdown;
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p != nullptr) {
    g_live += malloc_usable_size(p);
    if (g_live > g_peak) g_peak = g_live;
  }
  return p;
}

void Release(void* p) noexcept {
  if (p == nullptr) return;
  g_live -= malloc_usable_size(p);
  std::free(p);
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

MeasureHeapPeak::MeasureHeapPeak() {
  g_base = g_live;
  g_peak = g_live;
}

std::size_t MeasureHeapPeak::PeakBytes() const { return g_peak - g_base; }

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
