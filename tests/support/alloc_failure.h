#pragma once
// Makes one allocation through the global operator new fail, as exhausted
// memory would: the throwing forms throw std::bad_alloc, the nothrow forms
// return null. Link alloc_failure.cpp into the test binary to use it.

#include <cstddef>

class FailAllocation {
 public:
  // Lets `after` allocations succeed, then fails the next one; only one.
  explicit FailAllocation(int after);
  ~FailAllocation();  // disarms
  FailAllocation(const FailAllocation&) = delete;
  FailAllocation& operator=(const FailAllocation&) = delete;

  // Whether the failure has happened.
  bool Fired() const;
};

// Measures the most heap memory held at once, from its construction on, by
// blocks allocated through the global operator new (in usable bytes).
class MeasureHeapPeak {
 public:
  MeasureHeapPeak();
  MeasureHeapPeak(const MeasureHeapPeak&) = delete;
  MeasureHeapPeak& operator=(const MeasureHeapPeak&) = delete;

  std::size_t PeakBytes() const;
};
