#include "tests/support/one_processor.h"

#include <sched.h>

struct OnOneProcessor::Before {
  cpu_set_t processors;
};

OnOneProcessor::OnOneProcessor() {
  auto before = std::make_unique<Before>();
  if (sched_getaffinity(0, sizeof before->processors, &before->processors) != 0) return;
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &before->processors)) {
      CPU_SET(cpu, &one);
      break;
    }
  }
  if (sched_setaffinity(0, sizeof one, &one) == 0) m_before = std::move(before);
}

OnOneProcessor::~OnOneProcessor() {
  if (m_before) sched_setaffinity(0, sizeof m_before->processors, &m_before->processors);
}
