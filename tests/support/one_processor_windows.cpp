#include "tests/support/one_processor.h"

#include <windows.h>

// Threads take the process's processors, not their starter's.
struct OnOneProcessor::Before {
  DWORD_PTR processors;
};

OnOneProcessor::OnOneProcessor() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0) return;
  const DWORD_PTR lowest = process & (~process + 1);
  if (SetProcessAffinityMask(GetCurrentProcess(), lowest)) m_before = std::make_unique<Before>(Before{process});
}

OnOneProcessor::~OnOneProcessor() {
  if (m_before) SetProcessAffinityMask(GetCurrentProcess(), m_before->processors);
}
