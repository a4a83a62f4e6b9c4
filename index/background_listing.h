#pragma once
// The notes folder listed (FindNotes) on a thread of its own while the
// refresh loads the index on its own thread: the listing waits mostly on
// the system, the load mostly on the processor. When the system gives no
// thread, the folder is listed first, on the caller's thread.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "index/notes_folder.h"
#include "platform/os/env.h"

class RefreshProgress;

class BackgroundListing {
 public:
  // Starts listing folder (which ends in a path separator). With
  // removeLeftovers (the caller holds the folder's lock) the temporary
  // index files that killed runs left are removed after the listing, when
  // it met any. env and folder must outlive this object. Throws
  // std::bad_alloc when memory runs out before the listing begins.
  BackgroundListing(Env& env, const std::u16string& folder, bool removeLeftovers);
  // Waits for the thread: a refresh unwinding past it (the load failed)
  // never leaves it running. What it met is then dropped.
  ~BackgroundListing();
  BackgroundListing(const BackgroundListing&) = delete;
  BackgroundListing& operator=(const BackgroundListing&) = delete;

  // Waits for the listing and returns the notes, as FindNotes orders them.
  // Meanwhile report hears, now and then, how many notes were found so far.
  // Rethrows what the listing could not cope with (exhausted memory).
  // Called once.
  std::vector<NoteEntry> Finish(RefreshProgress& report);
  // After Finish: whether the folder was listed to its end (ListingFacts).
  bool ListedWhole() const { return m_facts.whole; }

 private:
  // Lists, on whichever thread, and tells Finish it is done.
  void List(Env& env, const std::u16string& folder, bool removeLeftovers);

  std::atomic<std::size_t> m_listed{0};
  std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_finished = false;  // guarded by m_mutex
  std::vector<NoteEntry> m_notes;
  ListingFacts m_facts;
  std::exception_ptr m_failure;
  std::thread m_thread;  // last: it starts once the rest is made
};
