#include "platform/os/memory.h"

// Left to the first touch on Windows: the hint pays only where it was
// measured.
void PrepareToWrite(void*, std::size_t) noexcept {}
