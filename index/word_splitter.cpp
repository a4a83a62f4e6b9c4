#include "index/word_splitter.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "index/start_thread.h"
#include "index/strong_hash.h"
#include "platform/text/ansi_text.h"
#include "platform/text/lower_case.h"

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
  if (m_thread.joinable()) m_thread.join();
}

std::uint64_t SplitText::NewWord(std::uint32_t run, std::u16string& word) const {
  const Piece piece = newRuns[run - firstNew];
  AnsiToWide(std::string_view(text).substr(piece.begin, piece.size), word);
  LowerCaseInPlace(word);
  return StrongHash(word);
}

bool SplitResult::Ready() const { return m_state->ready.load(std::memory_order_acquire); }

void SplitResult::Wait() {
  // The splitter offers bounded waits only.
  while (!Wait(std::chrono::hours(1))) {
  }
}

bool SplitResult::Wait(std::chrono::milliseconds most) {
  return Ready() || m_splitter->WaitFor(*m_state, most);
}

SplitText SplitResult::Get() {
  Wait();
  if (m_state->failure) std::rethrow_exception(m_state->failure);
  return std::move(m_state->words);
}

SplitResult WordSplitter::Split(std::string text) {
  auto state = std::make_shared<SplitResult::State>();
  SplitResult result(*this, state);
  if (!m_thread.joinable()) {
    SplitInto(text, *state);
    state->ready.store(true, std::memory_order_release);
    return result;
  }
  bool wake = false;
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_jobs.push_back(Job{std::move(text), std::move(state)});
    wake = m_sleeping && m_jobs.size() >= kBatch;
    if (wake) m_sleeping = false;
  }
  if (wake) m_wake.notify_one();
  return result;
}

void WordSplitter::Start() {
  bool wake = false;
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    wake = m_sleeping && !m_jobs.empty();
    if (wake) m_sleeping = false;
  }
  if (wake) m_wake.notify_one();
}

bool WordSplitter::WaitFor(const SplitResult::State& state, std::chrono::milliseconds most) {
  Start();
  std::unique_lock<std::mutex> lock(m_mutex);
  ++m_waiting;
  const bool ready =
      m_done.wait_for(lock, most, [&state] { return state.ready.load(std::memory_order_relaxed); });
  --m_waiting;
  return ready;
}

void WordSplitter::Run() {
  // Nothing outside the try may allocate: an exception that left this
  // thread would end the process instead of reaching the refresh.
  for (;;) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_jobs.empty() && !m_stop) {
      // Woken by a batch, a waiting result or the end.
      m_sleeping = true;
      m_wake.wait(lock, [this] { return m_stop || !m_sleeping; });
    }
    if (m_jobs.empty()) {
      if (m_stop) return;
      continue;
    }
    Job job = std::move(m_jobs.front());  // moves the pointers, allocates nothing
    m_jobs.pop_front();
    lock.unlock();
    SplitResult::State& result = *job.result;
    SplitInto(job.text, result);
    // Marked under the lock, so that a taker about to wait cannot miss it;
    // woken only when one waits.
    lock.lock();
    result.ready.store(true, std::memory_order_release);
    const bool waited = m_waiting > 0;
    lock.unlock();
    if (waited) m_done.notify_all();
  }
}

void WordSplitter::SplitInto(std::string& text, SplitResult::State& result) {
  try {
    if (m_failed) throw std::bad_alloc();
    result.words = SplitOne(text);
    result.words.text = std::move(text);  // the new runs lie in it
  } catch (...) {
    m_failed = true;
    result.failure = std::current_exception();
  }
}

// The keyed hash of the run's bytes: lookups stay fast whatever a note
// holds. Taken from the bytes where they lie; a run of one to three bytes,
// which the hash of code units reads only in pairs, goes in byte by byte.
std::uint64_t WordSplitter::RunHash(std::string_view run) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(run.data());
  const std::size_t size = run.size();
  if (size >= 4) return strong_hash::Hash(bytes, size);
  const std::uint64_t a = std::uint64_t{bytes[0]} << 16 | std::uint64_t{bytes[size / 2]} << 8 | bytes[size - 1];
  return strong_hash::Finish(strong_hash::kSecret.seed, a, 0, size);
}

void WordSplitter::GrowTable() {
  // Small tables grow fourfold: a folder's first refresh meets tens of
  // thousands of runs, and each growth moves every run met so far, while
  // the one note of an ordinary refresh still gets a small table. Past
  // 1 MB doubling keeps the spare memory down.
  constexpr std::size_t kFirstSlots = 64;
  constexpr std::size_t kQuadrupleBelow = std::size_t{1} << 16;
  const std::size_t factor = m_slots.size() < kQuadrupleBelow ? 4 : 2;
  std::vector<Slot> slots(std::max(kFirstSlots, factor * m_slots.size()), Slot{0, kNoRun, 0, 0});
  const std::size_t mask = slots.size() - 1;
  for (const Slot& slot : m_slots) {
    if (slot.run == kNoRun) continue;
    std::size_t i = slot.check & mask;
    while (slots[i].run != kNoRun) i = (i + 1) & mask;
    slots[i] = slot;
  }
  m_slots = std::move(slots);
}

SplitText WordSplitter::SplitOne(std::string_view text) {
  // Where new runs lie is told in 32 bits.
  if (text.size() > 0xFFFFFFFF) throw std::bad_alloc();
  if (++m_textNumber == 0) {
    for (Slot& slot : m_slots) slot.lastText = 0;
    m_textNumber = 1;
  }
  // All runs hashed first, so that the slot of a run a few ahead can be
  // fetched from memory while this one is looked up.
  m_textRuns.clear();
  ForEachWord(text, [this](std::string_view run) { m_textRuns.push_back(Pending{run, RunHash(run)}); });
  SplitText split;
  split.firstNew = static_cast<std::uint32_t>(m_runCount);
  constexpr std::size_t kAhead = 8;
  // The slot's place comes from the check, so that a growth can place it
  // again from what the slot holds.
  const auto checkOf = [](std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 32); };
  for (std::size_t n = 0; n < m_textRuns.size(); ++n) {
    if (2 * (m_runCount + 1) > m_slots.size()) GrowTable();
    const std::size_t mask = m_slots.size() - 1;
    if (n + kAhead < m_textRuns.size()) __builtin_prefetch(&m_slots[checkOf(m_textRuns[n + kAhead].hash) & mask]);
    const std::string_view run = m_textRuns[n].run;
    const std::uint32_t check = checkOf(m_textRuns[n].hash);
    // A known run is no longer than the bytes after its start, and is
    // followed by its zero byte.
    const std::size_t known = m_runBytes.size();
    std::size_t i = check & mask;
    for (;; i = (i + 1) & mask) {
      const Slot& slot = m_slots[i];
      if (slot.run == kNoRun) break;
      if (slot.check != check || known - slot.begin <= run.size()) continue;
      const char* const bytes = m_runBytes.data() + slot.begin;
      if (bytes[run.size()] == '\0' && std::memcmp(bytes, run.data(), run.size()) == 0) break;
    }
    Slot& slot = m_slots[i];
    if (slot.run == kNoRun) {
      if (m_runCount >= kNoRun - 1 || known + run.size() >= 0xFFFFFFFF) throw std::bad_alloc();
      split.newRuns.push_back(SplitText::Piece{static_cast<std::uint32_t>(run.data() - text.data()),
                                               static_cast<std::uint32_t>(run.size())});
      m_runBytes.append(run);
      m_runBytes.push_back('\0');
      slot = Slot{check, static_cast<std::uint32_t>(m_runCount++), 0, static_cast<std::uint32_t>(known)};
    }
    if (slot.lastText == m_textNumber) continue;
    slot.lastText = m_textNumber;
    split.runs.push_back(slot.run);
  }
  return split;
}
