#include "tests/support/alloc_failure.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

// Replaces every non-aligned form of the global operator new and delete, so
// that new and delete always pair up (the sanitizer checks that they do).

namespace {

// Atomic because the refresh and the load allocate on second threads too.
std::atomic<int> g_countdown{-1};  // allocations to let through; -1 when disarmed
std::atomic<bool> g_fired{false};
std::atomic<std::size_t> g_live{0};  // usable bytes held now
std::size_t g_base = 0;              // g_live when the measurement started
std::atomic<std::size_t> g_peak{0};

// Takes one allocation off the countdown; true for the one to fail.
bool FailThisOne() noexcept {
  int left = g_countdown.load();
  while (left >= 0) {
    if (g_countdown.compare_exchange_weak(left, left - 1)) {
      if (left > 0) return false;
      g_fired = true;
      return true;
    }
  }
  return false;
}

void* Allocate(std::size_t size) noexcept {
  if (FailThisOne()) return nullptr;
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p != nullptr) {
    const std::size_t live = g_live += malloc_usable_size(p);
    std::size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
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
  g_fired = false;
  g_countdown = after;
}

FailAllocation::~FailAllocation() { g_countdown = -1; }

bool FailAllocation::Fired() const { return g_fired; }

MeasureHeapPeak::MeasureHeapPeak() {
  g_base = g_live;
  g_peak = g_base;
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
