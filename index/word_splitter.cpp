#include "index/word_splitter.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "index/start_thread.h"
#include "index/strong_hash.h"
#include "platform/ansi_text.h"
#include "platform/lower_case.h"

WordSplitter::WordSplitter() {
  // Built here, so that the thread only ever reads the code page's table.
  ansi_detail::CurrentTable();
  m_thread = StartThread([this] { Run(); });
}

WordSplitter::~WordSplitter() {
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
    // Nobody waits for these any more (a failure is unwinding the refresh).
    m_jobs.clear();
  }
  m_wake.notify_one();
  m_thread.join();
}

std::future<SplitText> WordSplitter::Split(std::string text) {
  std::promise<SplitText> words;
  std::future<SplitText> result = words.get_future();
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_jobs.push_back(Job{std::move(text), std::move(words)});
  }
  m_wake.notify_one();
  return result;
}

void WordSplitter::Run() {
  // Nothing outside the try may allocate: an exception that left this
  // thread would end the process instead of reaching the refresh.
  for (;;) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
    if (m_jobs.empty()) return;
    Job job = std::move(m_jobs.front());  // moves the promise, allocates nothing
    m_jobs.pop_front();
    lock.unlock();
    try {
      if (m_failed) throw std::bad_alloc();
      job.words.set_value(SplitOne(job.text));
    } catch (...) {
      m_failed = true;
      job.words.set_exception(std::current_exception());
    }
  }
}

// The keyed hash of the run's bytes: lookups stay fast whatever a note
// holds. The bytes go through an aligned buffer of code units; the length's
// parity tells a run of odd length from the same bytes with a zero after.
std::uint64_t WordSplitter::RunHash(std::string_view run) {
  const std::size_t units = (run.size() + 1) / 2;
  if (m_hashBuffer.size() < units) m_hashBuffer.resize(std::max(units, 2 * m_hashBuffer.size()));
  m_hashBuffer[units - 1] = 0;
  std::memcpy(m_hashBuffer.data(), run.data(), run.size());
  return StrongHash(std::u16string_view(m_hashBuffer.data(), units)) ^ (run.size() & 1);
}

std::uint32_t WordSplitter::FindRun(std::string_view run, std::uint64_t hash) const {
  return m_runLookup.Find(hash, [&](std::uint32_t id) {
    const RunRecord& known = m_runs[id];
    return known.length == run.size() && std::memcmp(m_runBytes.data() + known.begin, run.data(), run.size()) == 0;
  });
}

SplitText WordSplitter::SplitOne(std::string_view text) {
  if (++m_textNumber == 0) {
    for (RunRecord& known : m_runs) known.lastText = 0;
    m_textNumber = 1;
  }
  SplitText split;
  split.firstNew = static_cast<std::uint32_t>(m_runs.size());
  ForEachWord(text, [&](std::string_view run) {
    if (run.empty()) return;
    const std::uint64_t hash = RunHash(run);
    std::uint32_t id = FindRun(run, hash);
    if (id == 0xFFFFFFFF) {
      if (m_runs.size() >= 0xFFFFFFFE || run.size() > 0xFFFFFFFF) throw std::bad_alloc();
      std::u16string word = AnsiToWide(run);
      LowerCaseInPlace(word);
      const std::uint64_t strong = StrongHash(word);
      split.newWords.push_back(SplitWord{std::move(word), strong});
      m_runLookup.Reserve(m_runs.size() + 1);
      m_runs.push_back(RunRecord{m_runBytes.size(), static_cast<std::uint32_t>(run.size()), 0});
      m_runBytes.append(run);
      id = static_cast<std::uint32_t>(m_runs.size() - 1);
      m_runLookup.Insert(hash, id);
    }
    if (m_runs[id].lastText == m_textNumber) return;
    m_runs[id].lastText = m_textNumber;
    split.runs.push_back(id);
  });
  return split;
}
