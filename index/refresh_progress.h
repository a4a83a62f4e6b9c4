#pragma once
// What the refresh tells the user interface while it works, so that a long
// refresh never looks like a hang. Kept as an interface so that the refresh
// stays free of any window system and runs headless in tests and benchmarks.

#include <cstddef>

class RefreshProgress {
 public:
  virtual ~RefreshProgress() = default;

  // Called often (many times a second while work goes on): done of total
  // steps of the current phase are finished. Must return quickly; it may
  // show a window and let it paint.
  virtual void Working(std::size_t done, std::size_t total) = 0;

  // The work is over; called once, right before the search window is shown.
  virtual void Done() = 0;
};
