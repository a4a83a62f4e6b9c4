#include "index/background_listing.h"

#include <chrono>
#include <utility>

#include "index/refresh_progress.h"
#include "index/start_thread.h"

namespace {

// How long the caller waits between two reports of the count.
constexpr std::chrono::milliseconds kReportEvery{50};

}  // namespace

BackgroundListing::BackgroundListing(Env& env, const std::u16string& folder, bool removeLeftovers)
    : m_thread(StartThread([this, &env, &folder, removeLeftovers] { List(env, folder, removeLeftovers); })) {
  if (!m_thread.joinable()) List(env, folder, removeLeftovers);
}

void BackgroundListing::List(Env& env, const std::u16string& folder, bool removeLeftovers) {
  // An exception must not leave the thread: it is kept for Finish.
  try {
    m_notes = FindNotes(
        env, folder, [this](std::size_t listed) { m_listed.store(listed, std::memory_order_relaxed); },
        &m_facts);
    if (removeLeftovers && m_facts.tempIndexSeen) env.RemoveStaleTempFiles(folder);
  } catch (...) {
    m_failure = std::current_exception();
  }
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_finished = true;
  m_done.notify_one();
}

BackgroundListing::~BackgroundListing() {
  if (m_thread.joinable()) m_thread.join();
}

std::vector<NoteEntry> BackgroundListing::Finish(RefreshProgress& report) {
  for (bool finished = false; !finished;) {
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      finished = m_done.wait_for(lock, kReportEvery, [this] { return m_finished; });
    }
    // Also once the listing is over, so that its phase is always heard of.
    report.Working(m_listed.load(std::memory_order_relaxed), 0);
  }
  if (m_thread.joinable()) m_thread.join();
  if (m_failure) std::rethrow_exception(m_failure);
  return std::move(m_notes);
}
