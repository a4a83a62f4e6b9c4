#pragma once
// A buffered binary stream over an open CFile, made for one direction: load
// or store. Numbers are unsigned little-endian. Through it the index file's
// maps write and read their count fields and string fields.
//
// Count field: N below 0xFFFF as 2 bytes; otherwise FF FF and N as 4 bytes.
// String field as written: the marker FF FE FF, the length in UTF-16 code
// units (below 255: 1 byte; below 0xFFFE: FF + 2 bytes; else FF FF FF +
// 4 bytes), then the code units as UTF-16LE. The reader also takes strings
// without the marker (8-bit characters in the ANSI code page) and every
// length form that is not the shortest, up to the 8-byte one.
//
// Failures throw: CArchiveException(endOfFile) when the file ends before a
// number or before the characters a length announces;
// CArchiveException(genericException) for a length beyond 0x7FFFFFFF;
// CFileException from the file. A string is grown as its bytes arrive, so
// a length that points past the end of the file allocates no more than the
// bytes the file actually holds.
//
// A load archive takes the file's length when it is made (the file is read
// from its start); ReadCountOf judges counts by it. ReadStringInPlace leaves
// the characters of a string where they were read; the archive then reads
// on into another buffer until its caller lets go of that one.
//
// A store archive writes each buffer that fills on a second thread
// (BackgroundWriter), started when the first one fills, while the next
// buffer fills (at once, when the system gives no thread); Close writes
// the rest and waits for it all. A failed write throws from a later store
// call or from Close.
//
// The archive does not own the file: the caller closes it after the archive.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/framework/file.h"

class BackgroundWriter;

class CArchive {
 public:
  enum Mode { load, store };
  // A store holds two: large enough that a big index costs few system
  // calls (one per 256 KiB is nothing beside copying them), small enough
  // that a small index touches little fresh memory, each page of which
  // costs a fault.
  static constexpr std::size_t kBufferSize = std::size_t{1} << 18;
  // A load buffer is smaller: lists read in place keep theirs until they
  // are split, so the few held stay in the processor's cache, and a small
  // index touches less fresh memory. It takes no more than the file needs.
  static constexpr std::size_t kLoadBufferSize = std::size_t{1} << 18;

  // The file must stay open for the archive's life. Throws std::bad_alloc
  // when the buffer cannot be had, CFileException when a load archive cannot
  // learn the file's length.
  CArchive(CFile& file, Mode mode);
  CArchive(const CArchive&) = delete;
  CArchive& operator=(const CArchive&) = delete;
  // Starts no write: an archive that is not closed abandons what its
  // buffers hold (a write already under way ends first), so a failed save
  // never half-writes from a destructor.
  ~CArchive();

  bool IsLoading() const { return m_mode == load; }
  bool IsStoring() const { return m_mode == store; }

  // Store: writes out the buffer. Either way the archive is then detached;
  // it must not be used again.
  void Close();

  // --- Store ---
  void WriteCount(std::uint32_t count);
  // Throws CArchiveException(genericException) for a string longer than a
  // signed 32-bit length, which the format cannot hold.
  void WriteString(std::u16string_view text);
  // The same string field in pieces: the marker and the length, then code
  // units that add up to exactly that length.
  void WriteStringLength(std::uint64_t length);
  // Inline while the units fit the buffer: a word list writes a name at a
  // time, millions of them.
  void WriteUnits(std::u16string_view units) {
    if constexpr (std::endian::native == std::endian::little) {
      if (units.size() <= (m_capacity - m_end) / 2) {
        std::memcpy(m_buffer.get() + m_end, units.data(), 2 * units.size());  // already UTF-16LE
        m_end += 2 * units.size();
        return;
      }
    }
    WriteUnitsAcross(units);
  }
  // WriteUnits for units whose storage goes on for kPaddingUnits code units
  // from units.data() at least, whatever units.size() is: a piece that
  // short is then copied as one fixed-size move, with no branch on its
  // length (only its own units reach the file).
  static constexpr std::size_t kPaddingUnits = 32;
  void WritePaddedUnits(std::u16string_view units) {
    if constexpr (std::endian::native == std::endian::little) {
      if (units.size() <= kPaddingUnits && m_capacity - m_end >= 2 * kPaddingUnits) {
        std::memcpy(m_buffer.get() + m_end, units.data(), 2 * kPaddingUnits);
        m_end += 2 * units.size();
        return;
      }
    }
    WriteUnits(units);
  }

  // --- Load ---
  std::uint32_t ReadCount();
  // How many bytes of the file are not read yet.
  std::uint64_t BytesLeft() const { return m_unread + (m_end - m_begin); }
  // A count field of items that take at least minBytes bytes each. A count
  // that cannot fit in the rest of the file throws end of file at once, so
  // no count makes a reader loop longer than the file is.
  std::uint32_t ReadCountOf(std::size_t minBytes);
  // How many of count items of at least minBytes bytes each to make room
  // for before reading them: no more than the rest of the file could hold,
  // and no more than kMaxRoom, since a file's length may be a hole that
  // costs no disk. Tables grow as any further items arrive.
  std::size_t RoomFor(std::uint32_t count, std::size_t minBytes) const;
  static constexpr std::size_t kMaxRoom = std::size_t{1} << 17;
  // NUL code units are kept; the caller decides what they mean.
  std::u16string ReadString();
  // The same into text, whose storage is reused.
  void ReadString(std::u16string& text);
  // The same appended to text; on a failure text may hold part of it.
  void AppendString(std::u16string& text);
  // Reads a string field as AppendString does, unless its characters are
  // UTF-16LE: then they stay in the archive's buffer (gathered into one when
  // they would cross its end; longer than a buffer holds, read into a
  // block of their own), text is left as it was, and the view returned
  // points at them. The view lives as long as its buffer: keeps gets the
  // buffer unless it is keeps' last one, and the archive reads into no
  // buffer anyone else holds. Returns a view without data when the
  // characters went to text: 8-bit ones, and ones lying whole at an odd
  // address.
  using Block = std::shared_ptr<const unsigned char[]>;
  std::u16string_view ReadStringInPlace(std::u16string& text, std::vector<Block>& keeps);

 private:
  // Little-endian numbers; the readers throw end of file when the file
  // cannot satisfy them.
  void WriteUInt16(std::uint16_t value);
  void WriteUInt32(std::uint32_t value);
  std::uint8_t ReadUInt8();
  std::uint16_t ReadUInt16();
  std::uint32_t ReadUInt32();
  std::uint64_t ReadUInt64();

  void WriteBytes(const void* data, std::size_t size);
  // WriteUnits when the units do not fit the buffer's rest (or on a
  // big-endian system).
  void WriteUnitsAcross(std::u16string_view units);
  void WriteOut();
  // Makes at least `need` bytes (at most 8) available unless the file ends
  // first; returns how many are available. Inline: most calls find them
  // there already.
  std::size_t Fill(std::size_t need) { return m_end - m_begin >= need ? m_end - m_begin : Refill(need); }
  // Fill when the buffer holds fewer than need bytes: reads on.
  std::size_t Refill(std::size_t need);
  // Makes the next size bytes (at most a buffer's after its headroom) lie
  // whole in one buffer, the first of them aligned, or throws end of file.
  void Gather(std::size_t size);
  // The next size bytes, more than the buffer holds, read into a block of
  // their own that keeps gets; throws end of file at once when the file
  // holds fewer.
  std::u16string_view ReadOwnBlock(std::size_t size, std::vector<Block>& keeps);
  // Load: the buffer to read into next, this one unless another holds it.
  unsigned char* FreeBlock();
  // The length of the string field that begins next; wide tells whether its
  // characters are UTF-16.
  std::uint64_t ReadStringLength(bool& wide);
  // Points at `size` bytes of the buffer and consumes them, or throws
  // end of file.
  const unsigned char* Take(std::size_t size);
  void ReadWideChars(std::uint64_t length, std::u16string& text);
  void ReadAnsiChars(std::uint64_t length, std::u16string& text);
  std::uint64_t ReadLengthAfter(std::uint16_t word);

  CFile* m_file;
  Mode m_mode;
  std::uint64_t m_unread = 0;  // load: bytes of the file not yet in the buffer
  std::size_t m_capacity;  // bytes of m_buffer, or of each load buffer
  std::unique_ptr<unsigned char[]> m_buffer;  // store
  // Load: the buffers made, each held by callers of ReadStringInPlace or
  // not, and the one read from. Bytes are read into a buffer at kHeadroom,
  // a read's worth at a time; the few bytes of a number that a read's end
  // cut go right in front of them, so that an even offset of the file lies
  // at an even address.
  static constexpr std::size_t kHeadroom = 16;
  std::vector<std::shared_ptr<unsigned char[]>> m_blocks;
  std::size_t m_current = 0;
  unsigned char* m_data = nullptr;
  // Store, once the first buffer has filled: the buffer the writer holds
  // (or held last), and the writer, destroyed first.
  std::unique_ptr<unsigned char[]> m_written;
  std::unique_ptr<BackgroundWriter> m_writer;
  std::size_t m_begin = 0;  // load: next unread byte of m_data
  std::size_t m_end = 0;    // load: end of the bytes read; store: bytes held
};
