#include "index/word_splitter.h"

#include "index/start_thread.h"
#include "index/strong_hash.h"
#include "index/word_index.h"
#include "platform/text/ansi_text.h"

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

std::future<std::vector<SplitWord>> WordSplitter::Split(std::string text) {
  std::promise<std::vector<SplitWord>> words;
  std::future<std::vector<SplitWord>> result = words.get_future();
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
      std::vector<SplitWord> words;
      for (std::u16string& word : NoteWords(job.text)) {
        const std::uint64_t strong = StrongHash(word);
        words.push_back(SplitWord{std::move(word), strong});
      }
      job.words.set_value(std::move(words));
    } catch (...) {
      job.words.set_exception(std::current_exception());
    }
  }
}
