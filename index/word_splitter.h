#pragma once
// Splits note texts into words on a second thread, so that a refresh that
// reads many notes uses both cores: the refresh reads, renames and records
// the notes in order while the splitter turns earlier texts into words.
// Results come back through futures, so the refresh takes them in the order
// it gave the texts and the index comes out the same as without it.
//
// Uses the code page and lower-casing as they are when the splitter is
// made; they must not change while it lives.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One word as the index keys it, with its hash for the index's lookup.
struct SplitWord {
  std::u16string text;
  std::uint64_t strong;  // StrongHash(text)
};

class WordSplitter {
 public:
  // Throws std::bad_alloc when the thread cannot be started.
  WordSplitter();
  // Drops the texts not yet started, finishes the one being split and
  // stops the thread. Take every future first to have all results.
  ~WordSplitter();
  WordSplitter(const WordSplitter&) = delete;
  WordSplitter& operator=(const WordSplitter&) = delete;

  // NoteWords of text, with hashes, when it is ready. Exhausted memory
  // throws std::bad_alloc here or comes out of the future's get(); it
  // never ends the process.
  std::future<std::vector<SplitWord>> Split(std::string text);

 private:
  struct Job {
    std::string text;
    std::promise<std::vector<SplitWord>> words;
  };
  void Run();

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<Job> m_jobs;
  bool m_stop = false;
  std::thread m_thread;
};
