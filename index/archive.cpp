#include "index/archive.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "index/background_writer.h"
#include "platform/os/memory.h"
#include "platform/text/ansi_text.h"
#include "platform/framework/exceptions.h"

namespace {

constexpr std::uint64_t kMaxLength = 0x7FFFFFFF;

// Little-endian encoding; every decode reads exactly the bytes its encode
// writes.
void EncodeFixed16(unsigned char* out, std::uint16_t value) {
  out[0] = static_cast<unsigned char>(value);
  out[1] = static_cast<unsigned char>(value >> 8);
}

void EncodeFixed32(unsigned char* out, std::uint32_t value) {
  EncodeFixed16(out, static_cast<std::uint16_t>(value));
  EncodeFixed16(out + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint16_t DecodeFixed16(const unsigned char* in) {
  return static_cast<std::uint16_t>(in[0] | (in[1] << 8));
}

std::uint32_t DecodeFixed32(const unsigned char* in) {
  return DecodeFixed16(in) | (std::uint32_t{DecodeFixed16(in + 2)} << 16);
}

std::uint64_t DecodeFixed64(const unsigned char* in) {
  return DecodeFixed32(in) | (std::uint64_t{DecodeFixed32(in + 4)} << 32);
}

[[noreturn]] void ThrowEndOfFile() { throw CArchiveException(CArchiveException::endOfFile); }

}  // namespace

CArchive::CArchive(CFile& file, Mode mode) : m_file(&file), m_mode(mode), m_capacity(kBufferSize) {
  if (IsLoading()) {
    m_unread = file.GetLength();
    // At least room for the widest number, and one more byte so that the
    // end of the file is seen.
    m_capacity = kHeadroom + static_cast<std::size_t>(std::clamp<std::uint64_t>(m_unread + 1, 16, kLoadBufferSize));
    m_blocks.push_back(std::shared_ptr<unsigned char[]>(new unsigned char[m_capacity]));
    m_data = m_blocks.front().get();
    PrepareToWrite(m_data, m_capacity);  // filled by reads at once
    return;
  }
  m_buffer.reset(new unsigned char[m_capacity]);
}

CArchive::~CArchive() = default;

void CArchive::Close() {
  if (!IsStoring()) return;
  if (m_writer) m_writer->Finish();
  if (m_end > 0) m_file->Write(m_buffer.get(), m_end);
  m_end = 0;
}

// --- Store ---

void CArchive::WriteBytes(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    if (m_end == m_capacity) WriteOut();
    const std::size_t part = std::min(size, m_capacity - m_end);
    std::memcpy(m_buffer.get() + m_end, bytes, part);
    m_end += part;
    bytes += part;
    size -= part;
  }
}

void CArchive::WriteOut() {
  if (!m_writer) {
    // Buffer and thread come together, so a writer always has its spare.
    auto spare = std::make_unique_for_overwrite<unsigned char[]>(m_capacity);
    m_writer = std::make_unique<BackgroundWriter>(*m_file);
    m_written = std::move(spare);
  }
  // Once it returns, the writer has let go of m_written.
  m_writer->Write(m_buffer.get(), m_end);
  std::swap(m_buffer, m_written);
  m_end = 0;
}

void CArchive::WriteUInt16(std::uint16_t value) {
  unsigned char bytes[2];
  EncodeFixed16(bytes, value);
  WriteBytes(bytes, sizeof bytes);
}

void CArchive::WriteUInt32(std::uint32_t value) {
  unsigned char bytes[4];
  EncodeFixed32(bytes, value);
  WriteBytes(bytes, sizeof bytes);
}

void CArchive::WriteCount(std::uint32_t count) {
  if (count < 0xFFFF) {
    WriteUInt16(static_cast<std::uint16_t>(count));
  } else {
    WriteUInt16(0xFFFF);
    WriteUInt32(count);
  }
}

void CArchive::WriteString(std::u16string_view text) {
  WriteStringLength(text.size());
  WriteUnits(text);
}

void CArchive::WriteStringLength(std::uint64_t fullLength) {
  if (fullLength > kMaxLength) throw CArchiveException(CArchiveException::genericException);
  const auto length = static_cast<std::uint32_t>(fullLength);
  // The marker of UTF-16 characters (FF, then FFFE), then the length.
  unsigned char field[10] = {0xFF, 0xFE, 0xFF, 0xFF};
  std::size_t size;
  if (length < 0xFF) {
    field[3] = static_cast<unsigned char>(length);
    size = 4;
  } else if (length < 0xFFFE) {
    EncodeFixed16(field + 4, static_cast<std::uint16_t>(length));
    size = 6;
  } else {
    EncodeFixed16(field + 4, 0xFFFF);
    EncodeFixed32(field + 6, length);
    size = 10;
  }
  WriteBytes(field, size);
}

void CArchive::WriteUnitsAcross(std::u16string_view units) {
  while (!units.empty()) {
    if (m_capacity - m_end < 2) WriteOut();
    const std::size_t part = std::min(units.size(), (m_capacity - m_end) / 2);
    unsigned char* out = m_buffer.get() + m_end;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(out, units.data(), 2 * part);  // already UTF-16LE
    } else {
      for (std::size_t i = 0; i < part; ++i) EncodeFixed16(out + 2 * i, units[i]);
    }
    m_end += 2 * part;
    units.remove_prefix(part);
  }
}

// --- Load ---

std::size_t CArchive::Refill(std::size_t need) {
  const std::size_t left = m_end - m_begin;
  const unsigned char* const rest = m_data + m_begin;
  m_data = FreeBlock();
  std::memmove(m_data + kHeadroom - left, rest, left);
  m_begin = kHeadroom - left;
  m_end = kHeadroom;
  while (m_end - m_begin < need) {
    const std::size_t got = m_file->Read(m_data + m_end, m_capacity - m_end);
    if (got == 0) break;
    m_end += got;
    m_unread -= std::min<std::uint64_t>(m_unread, got);
  }
  return m_end - m_begin;
}

void CArchive::Gather(std::size_t size) {
  const std::size_t left = m_end - m_begin;
  const unsigned char* const rest = m_data + m_begin;
  m_data = FreeBlock();
  // At the headroom's end, aligned whatever the offset in the file.
  std::memmove(m_data + kHeadroom, rest, left);
  m_begin = kHeadroom;
  m_end = kHeadroom + left;
  while (m_end - m_begin < size) {
    const std::size_t got = m_file->Read(m_data + m_end, m_capacity - m_end);
    if (got == 0) ThrowEndOfFile();
    m_end += got;
    m_unread -= std::min<std::uint64_t>(m_unread, got);
  }
}

std::u16string_view CArchive::ReadOwnBlock(std::size_t size, std::vector<Block>& keeps) {
  // No more than the file holds, so a length that lies costs nothing.
  if (size > BytesLeft()) ThrowEndOfFile();
  std::shared_ptr<unsigned char[]> block(new unsigned char[size]);
  PrepareToWrite(block.get(), size);
  std::size_t got = m_end - m_begin;
  std::memcpy(block.get(), m_data + m_begin, got);
  m_begin = m_end;
  while (got < size) {
    const std::size_t part = m_file->Read(block.get() + got, size - got);
    if (part == 0) ThrowEndOfFile();
    got += part;
    m_unread -= std::min<std::uint64_t>(m_unread, part);
  }
  keeps.push_back(block);
  return std::u16string_view(reinterpret_cast<const char16_t*>(block.get()), size / 2);
}

unsigned char* CArchive::FreeBlock() {
  // Held by callers only on this thread, so the counts are exact.
  if (m_blocks[m_current].use_count() > 1) {
    m_current = 0;
    while (m_current < m_blocks.size() && m_blocks[m_current].use_count() > 1) ++m_current;
    if (m_current == m_blocks.size()) {
      std::shared_ptr<unsigned char[]> block(new unsigned char[m_capacity]);
      PrepareToWrite(block.get(), m_capacity);
      m_blocks.push_back(std::move(block));
    }
  }
  return m_blocks[m_current].get();
}

const unsigned char* CArchive::Take(std::size_t size) {
  if (Fill(size) < size) ThrowEndOfFile();
  const unsigned char* bytes = m_data + m_begin;
  m_begin += size;
  return bytes;
}

std::uint8_t CArchive::ReadUInt8() { return *Take(1); }
std::uint16_t CArchive::ReadUInt16() { return DecodeFixed16(Take(2)); }
std::uint32_t CArchive::ReadUInt32() { return DecodeFixed32(Take(4)); }
std::uint64_t CArchive::ReadUInt64() { return DecodeFixed64(Take(8)); }

std::uint32_t CArchive::ReadCount() {
  const std::uint16_t count = ReadUInt16();
  return count < 0xFFFF ? count : ReadUInt32();
}

std::uint32_t CArchive::ReadCountOf(std::size_t minBytes) {
  const std::uint32_t count = ReadCount();
  if (std::uint64_t{count} * minBytes > BytesLeft()) ThrowEndOfFile();
  return count;
}

std::size_t CArchive::RoomFor(std::uint32_t count, std::size_t minBytes) const {
  return static_cast<std::size_t>(std::min<std::uint64_t>({count, BytesLeft() / minBytes, kMaxRoom}));
}

std::uint64_t CArchive::ReadLengthAfter(std::uint16_t word) {
  if (word < 0xFFFF) return word;
  const std::uint32_t length = ReadUInt32();
  if (length < 0xFFFFFFFF) return length;
  const std::uint64_t longLength = ReadUInt64();
  if (longLength > kMaxLength) throw CArchiveException(CArchiveException::genericException);
  return longLength;
}

std::u16string CArchive::ReadString() {
  std::u16string text;
  ReadString(text);
  return text;
}

void CArchive::ReadString(std::u16string& text) {
  text.clear();
  AppendString(text);
}

std::uint64_t CArchive::ReadStringLength(bool& wide) {
  // The field this program writes for all but long strings, at once.
  if (m_end - m_begin >= 4) {
    const unsigned char* const in = m_data + m_begin;
    if (in[0] == 0xFF && in[1] == 0xFE && in[2] == 0xFF && in[3] < 0xFF) {
      m_begin += 4;
      wide = true;
      return in[3];
    }
  }
  const std::uint8_t first = ReadUInt8();
  wide = false;
  if (first < 0xFF) return first;
  const std::uint16_t word = ReadUInt16();
  if (word != 0xFFFE) return ReadLengthAfter(word);
  wide = true;
  const std::uint8_t shortLength = ReadUInt8();
  return shortLength < 0xFF ? shortLength : ReadLengthAfter(ReadUInt16());
}

void CArchive::AppendString(std::u16string& text) {
  try {
    bool wide;
    const std::uint64_t length = ReadStringLength(wide);
    return wide ? ReadWideChars(length, text) : ReadAnsiChars(length, text);
  } catch (const std::bad_alloc&) {
    throw CMemoryException();
  }
}

std::u16string_view CArchive::ReadStringInPlace(std::u16string& text, std::vector<Block>& keeps) {
  try {
    bool wide;
    const std::uint64_t length = ReadStringLength(wide);
    if constexpr (std::endian::native == std::endian::little) {
      // Characters that a buffer could hold whole but the buffer's end cuts
      // are gathered into one, so that they too stay where they are read;
      // more than a buffer holds get a block of their own.
      if (wide && length > (m_end - m_begin) / 2) {
        if (length > (m_capacity - kHeadroom) / 2) return ReadOwnBlock(2 * static_cast<std::size_t>(length), keeps);
        Gather(2 * static_cast<std::size_t>(length));
      }
      const unsigned char* const in = m_data + m_begin;
      if (wide && length <= (m_end - m_begin) / 2 &&
          reinterpret_cast<std::uintptr_t>(in) % alignof(char16_t) == 0) {
        if (keeps.empty() || keeps.back().get() != m_data) keeps.push_back(m_blocks[m_current]);
        m_begin += 2 * static_cast<std::size_t>(length);
        return std::u16string_view(reinterpret_cast<const char16_t*>(in), static_cast<std::size_t>(length));
      }
    }
    wide ? ReadWideChars(length, text) : ReadAnsiChars(length, text);
    return {};
  } catch (const std::bad_alloc&) {
    throw CMemoryException();
  }
}

// The characters are taken in buffer-sized pieces and the string grows only
// by what has arrived, so a length that lies about the file costs at most
// the file's own size before the end of file is met.
void CArchive::ReadWideChars(std::uint64_t length, std::u16string& text) {
  while (length > 0) {
    const std::size_t available = Fill(2);
    if (available < 2) ThrowEndOfFile();
    const auto units = static_cast<std::size_t>(std::min<std::uint64_t>(length, available / 2));
    const std::size_t old = text.size();
    const unsigned char* in = m_data + m_begin;
    if constexpr (std::endian::native == std::endian::little) {
      // Appended straight from the buffer where its units lie aligned (in a
      // file of ours every field has an even size): one copy, no zeroing.
      if (reinterpret_cast<std::uintptr_t>(in) % alignof(char16_t) == 0) {
        text.append(reinterpret_cast<const char16_t*>(in), units);
      } else {
        text.resize(old + units);
        std::memcpy(text.data() + old, in, 2 * units);
      }
    } else {
      text.resize(old + units);
      for (std::size_t i = 0; i < units; ++i) text[old + i] = static_cast<char16_t>(DecodeFixed16(in + 2 * i));
    }
    m_begin += 2 * units;
    length -= units;
  }
}

void CArchive::ReadAnsiChars(std::uint64_t length, std::u16string& text) {
  std::string bytes;
  while (length > 0) {
    const std::size_t available = Fill(1);
    if (available == 0) ThrowEndOfFile();
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(length, available));
    bytes.append(reinterpret_cast<const char*>(m_data + m_begin), part);
    m_begin += part;
    length -= part;
  }
  text += AnsiToWide(bytes);
}
