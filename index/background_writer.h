#pragma once
// Writes buffers to an open CFile on a thread of its own, one at a time and
// in the order given, so that whoever fills the buffers goes on filling the
// next one while the file system copies the last. When the system gives no
// thread, each buffer is written as it is given, on the caller's thread,
// and a failure still comes out of the next call. The store archive's
// helper.

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/framework/file.h"

class BackgroundWriter {
 public:
  // Starts the thread, when the system gives one; throws std::bad_alloc
  // when memory runs out. The file must stay open for the writer's life,
  // and nobody else may use it meanwhile.
  explicit BackgroundWriter(CFile& file);
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;
  // Lets a write that has begun end, starts none that has not, and stops
  // the thread: a writer that is not finished abandons what it was given.
  ~BackgroundWriter();

  // Waits until the buffer given before is written, then starts writing
  // size bytes at data and returns. The bytes must stay as they are until
  // the next Write or Finish returns. Throws what writing an earlier
  // buffer threw (the file's CFileException); nothing more is written then.
  void Write(const unsigned char* data, std::size_t size);

  // Waits until every buffer given is written; throws as Write does.
  void Finish();

 private:
  void Run();

  CFile& m_file;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  const unsigned char* m_data = nullptr;  // the buffer to write; null when idle
  std::size_t m_size = 0;
  bool m_stop = false;
  std::exception_ptr m_failure;  // what the first failed write threw
  std::thread m_thread;          // last: started once the rest is ready; none: written by Write
};
