#include "index/stamp.h"

#include <cstdio>

#include "platform/text/local_time.h"

std::u16string MakeStamp(std::int64_t lastWriteUtc, std::int64_t utcOffset) {
  const auto t = ToLocalTime(lastWriteUtc, utcOffset);
  if (!t) return kInvalidStamp;
  char text[64];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", t->year, t->month, t->day,
                t->hour, t->minute, t->second);
  return std::u16string(text, text + 14);
}
