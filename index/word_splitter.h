#pragma once
// Splits note texts into words on a second thread, so that a refresh that
// reads many notes uses both cores: the refresh reads, renames and records
// the notes in order while the splitter turns earlier texts into words.
// The refresh takes the results in the order it gave the texts, so the
// index comes out the same as without it. The splitter is woken for a
// batch of texts, or when a result is waited for, and a result wakes its
// taker only when it waits: waking a thread costs system calls on both
// (a std::promise made one for every text, waited for or not).
//
// Most words of a text are ones met before, so the splitter numbers each
// distinct byte run it meets (over all texts, in the order first met); a
// text comes back as the numbers of its runs, with the bytes of the runs
// new in it, which the taker converts and lower-cases, once a run: that
// share of the work goes to the thread that reads the notes, which has
// less to do.
//
// When the system gives no thread, each text is split as it is given, on
// the caller's thread, with the same results.
//
// Uses the code page and lower-casing as they are when the splitter is
// made; they must not change while it lives.

#include <condition_variable>
#include <cstdint>
#include <atomic>
#include <chrono>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// The words of one text, told by run number. A word is a byte run
// (ForEachWord) converted from the ANSI code page and lower-cased with
// LowerCaseInPlace; runs that differ only in case are distinct runs of the
// same word.
struct SplitText {
  // The distinct byte runs of the text in the order of their first
  // occurrence. Runs are numbered from 0 in the order the splitter first
  // met them, over every text it was given, so a run new in this text has a
  // number no earlier text had and the numbers new here rise by one.
  std::vector<std::uint32_t> runs;
  // The text split, and where in it each run first met in this text lies:
  // newRuns[i] is run firstNew + i.
  struct Piece {
    std::uint32_t begin;
    std::uint32_t size;
  };
  std::string text;
  std::vector<Piece> newRuns;
  std::uint32_t firstNew = 0;

  // The word of a run first met in this text, converted here into word,
  // whose storage is reused; returns its StrongHash.
  std::uint64_t NewWord(std::uint32_t run, std::u16string& word) const;
};

class WordSplitter;

// The words of one text, once split. Waiting for them starts the splitter
// on every text given so far. Used only while its splitter lives.
class SplitResult {
 public:
  // Whether Get would return at once.
  bool Ready() const;
  // Waits until the words are ready.
  void Wait();
  // Waits until the words are ready or most has passed; whether they are.
  bool Wait(std::chrono::milliseconds most);
  // Waits for the words and takes them; at most once. Throws std::bad_alloc
  // when they could not be had.
  SplitText Get();

 private:
  friend class WordSplitter;
  // Shared by the splitter and the result: either side may go first.
  struct State {
    SplitText words;
    std::exception_ptr failure;
    std::atomic<bool> ready{false};  // set once words or failure is final
  };
  SplitResult(WordSplitter& splitter, std::shared_ptr<State> state)
      : m_splitter(&splitter), m_state(std::move(state)) {}

  WordSplitter* m_splitter;
  std::shared_ptr<State> m_state;
};

class WordSplitter {
 public:
  // Starts the thread, when the system gives one; throws std::bad_alloc
  // when memory runs out.
  WordSplitter();
  // Drops the texts not yet started, finishes the one being split and
  // stops the thread. Take every result first to have them all.
  ~WordSplitter();
  WordSplitter(const WordSplitter&) = delete;
  WordSplitter& operator=(const WordSplitter&) = delete;

  // The words of text when they are ready. Exhausted memory throws
  // std::bad_alloc here or comes out of the result's Get; it never ends
  // the process. Once a text has failed, every later one fails too: its
  // run numbers could refer to runs first met in the lost text.
  SplitResult Split(std::string text);

 private:
  friend class SplitResult;
  // Texts queued while the splitter sleeps before it is woken for them.
  static constexpr std::size_t kBatch = 16;

  struct Job {
    std::string text;
    std::shared_ptr<SplitResult::State> result;
  };
  // Wakes the splitter when it sleeps with texts queued.
  void Start();
  // Waits, the splitter started, until state is ready or most has passed;
  // whether it is ready.
  bool WaitFor(const SplitResult::State& state, std::chrono::milliseconds most);
  void Run();
  // Splits text into result, or keeps in result why it could not be;
  // throws nothing.
  void SplitInto(std::string& text, SplitResult::State& result);
  SplitText SplitOne(std::string_view text);
  static std::uint64_t RunHash(std::string_view run);
  void GrowTable();

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_done;  // a result is ready and someone waits
  int m_waiting = 0;               // results being waited for
  std::deque<Job> m_jobs;
  bool m_sleeping = false;  // the splitter waits to be woken
  bool m_stop = false;

  // The splitter thread's own: every run met, in an open-addressing table
  // (linear probing, at most half full) of small slots, four to a cache
  // line, so that a folder's tens of thousands of runs fill few pages. A
  // slot tells a run apart by its hash; a run met before is then confirmed
  // against its bytes, which lie close together in m_runBytes.
  struct Slot {
    std::uint32_t check;     // the high half of the run's hash
    std::uint32_t run;       // kNoRun: the slot is free
    std::uint32_t lastText;  // the text that last had the run
    std::uint32_t begin;     // where the run starts in m_runBytes
  };
  static constexpr std::uint32_t kNoRun = 0xFFFFFFFF;
  std::vector<Slot> m_slots;
  std::size_t m_runCount = 0;
  // Every run, one after another in run order, each followed by a zero
  // byte, which no run holds: a run compared with its first bytes and
  // that zero after them is known whole, with no length kept beside it.
  std::string m_runBytes;
  struct Pending {
    std::string_view run;
    std::uint64_t hash;
  };
  std::vector<Pending> m_textRuns;  // the runs of the text being split
  std::uint32_t m_textNumber = 0;
  bool m_failed = false;

  std::thread m_thread;  // none: Split splits
};
