#include "platform/os/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; an older kernel refuses it
#endif

void PrepareToWrite(void* data, std::size_t bytes) noexcept {
  static const auto kPage = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  // Only the pages wholly inside: the others are shared with memory that
  // someone else may be writing, and are mostly backed already.
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (begin + kPage - 1) / kPage * kPage;
  const std::uintptr_t end = (begin + bytes) / kPage * kPage;
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
}
