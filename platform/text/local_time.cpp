#include "platform/text/local_time.h"

#include <chrono>

namespace {

// 3001-01-01 00:00:00, the first second past the last year written.
constexpr std::int64_t kEndOfYear3000 = 32535216000;

}  // namespace

std::optional<LocalTime> ToLocalTime(std::int64_t utcSeconds, std::int64_t utcOffset) {
  std::int64_t local = 0;
  if (__builtin_add_overflow(utcSeconds, utcOffset, &local) || local < 0 ||
      local >= kEndOfYear3000) {
    return std::nullopt;
  }
  using namespace std::chrono;
  const sys_seconds time{seconds{local}};
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};
  return LocalTime{static_cast<int>(date.year()),
                   static_cast<int>(static_cast<unsigned>(date.month())),
                   static_cast<int>(static_cast<unsigned>(date.day())),
                   static_cast<int>(clock.hours().count()),
                   static_cast<int>(clock.minutes().count()),
                   static_cast<int>(clock.seconds().count())};
}
