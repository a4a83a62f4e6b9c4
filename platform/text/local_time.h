#pragma once
// The calendar fields of a moment in local time, as note names and stamps
// are written from them.

#include <cstdint>
#include <optional>

struct LocalTime {
  int year, month, day, hour, minute, second;
};

// utcSeconds (since 1970-01-01 UTC) shifted by utcOffset, the local offset
// from UTC, whole seconds. Nothing when the local time falls outside the
// years 1970 to 3000, the range a date is written for.
std::optional<LocalTime> ToLocalTime(std::int64_t utcSeconds, std::int64_t utcOffset);
