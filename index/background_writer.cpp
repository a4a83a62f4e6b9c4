#include "index/background_writer.h"

#include "index/start_thread.h"

BackgroundWriter::BackgroundWriter(CFile& file)
    : m_file(file), m_thread(StartThread([this] { Run(); })) {}

BackgroundWriter::~BackgroundWriter() {
  {
    const std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_changed.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void BackgroundWriter::Write(const unsigned char* data, std::size_t size) {
  Finish();
  if (!m_thread.joinable()) {
    // Kept for the next call, as the thread would keep it.
    try {
      m_file.Write(data, size);
    } catch (...) {
      m_failure = std::current_exception();
    }
    return;
  }
  {
    const std::lock_guard lock(m_mutex);
    m_data = data;
    m_size = size;
  }
  m_changed.notify_all();
}

void BackgroundWriter::Finish() {
  std::unique_lock lock(m_mutex);
  m_changed.wait(lock, [this] { return m_data == nullptr; });
  if (m_failure) std::rethrow_exception(m_failure);
}

void BackgroundWriter::Run() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [this] { return m_data != nullptr || m_stop; });
    if (m_stop) return;
    const unsigned char* const data = m_data;
    const std::size_t size = m_size;
    lock.unlock();
    std::exception_ptr failure;
    try {
      m_file.Write(data, size);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    // A failed write ends the writing: the next Write throws before it
    // hands anything over.
    m_failure = failure;
    m_data = nullptr;
    m_changed.notify_all();
  }
}
