#pragma once
// Memory that the system backs a page at a time, when each is first
// touched: a fault per page, which for a large array about to be filled
// costs more than having all its pages at once.

#include <cstddef>

// Asks the system to back the whole pages among the bytes at data with
// memory now, ready to be written. A hint only: the bytes keep what they
// hold, and where the system cannot, nothing happens.
void PrepareToWrite(void* data, std::size_t bytes) noexcept;
