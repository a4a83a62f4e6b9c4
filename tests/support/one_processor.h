#pragma once
// While it lives, the calling thread and the threads it starts run on one
// processor only (on Windows the whole process does), so that a thread
// started meanwhile mostly waits until its starter waits or has had its
// share. Changes nothing where the system will not have it.

#include <memory>

class OnOneProcessor {
 public:
  OnOneProcessor();
  ~OnOneProcessor();
  OnOneProcessor(const OnOneProcessor&) = delete;
  OnOneProcessor& operator=(const OnOneProcessor&) = delete;

 private:
  struct Before;
  std::unique_ptr<Before> m_before;  // null when nothing was changed
};
