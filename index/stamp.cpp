#include "index/stamp.h"

#include <chrono>
#include <cstdio>

namespace {

// 3001-01-01 00:00:00, the first second past the last year a stamp holds.
constexpr std::int64_t kEndOfYear3000 = 32535216000;

}  // namespace

std::u16string MakeStamp(std::int64_t lastWriteUtc, std::int64_t utcOffset) {
  std::int64_t local = 0;
  if (__builtin_add_overflow(lastWriteUtc, utcOffset, &local) || local < 0 ||
      local >= kEndOfYear3000) {
    return kInvalidStamp;
  }

  using namespace std::chrono;
  const sys_seconds time{seconds{local}};
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};

  char text[64];
  std::snprintf(text, sizeof text, "%04d%02u%02u%02d%02d%02d", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return std::u16string(text, text + 14);
}
