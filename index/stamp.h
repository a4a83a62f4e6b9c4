#pragma once
// A note's stamp: its last-write time as local time, whole seconds, in the
// 14 characters "%Y%m%d%H%M%S". Stamps are only ever compared as text, so
// a note counts as unchanged exactly when its stamp equals the recorded one.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The stamp given to a time that cannot be written as a date.
inline constexpr char16_t kInvalidStamp[] = u"Invalid DateTime";

// The stamp of lastWriteUtc (seconds since 1970-01-01 UTC) shifted by
// utcOffset, the local offset from UTC in force now (not the one in force
// at the file's time, so a change of offset changes every stamp).
// kInvalidStamp when the local time falls outside the years 1970 to 3000.
// Held in place, without allocating: a refresh compares one per note.
class StampText {
 public:
  StampText(std::int64_t lastWriteUtc, std::int64_t utcOffset);

  // Valid while this object lives.
  std::u16string_view View() const { return {m_units, m_size}; }

 private:
  char16_t m_units[sizeof kInvalidStamp / sizeof kInvalidStamp[0]];
  std::size_t m_size;
};

// The same stamp as a string of its own.
std::u16string MakeStamp(std::int64_t lastWriteUtc, std::int64_t utcOffset);
