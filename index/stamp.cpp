#include "index/stamp.h"

#include <algorithm>

#include "platform/text/local_time.h"

namespace {

// Writes value as exactly digits decimal digits ending before end.
char16_t* PutDigits(char16_t* end, int value, int digits) {
  for (int i = 0; i < digits; ++i) {
    *--end = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  }
  return end;
}

}  // namespace

StampText::StampText(std::int64_t lastWriteUtc, std::int64_t utcOffset) {
  const auto t = ToLocalTime(lastWriteUtc, utcOffset);
  if (!t) {
    m_size = std::char_traits<char16_t>::length(kInvalidStamp);
    std::copy_n(kInvalidStamp, m_size, m_units);
    return;
  }
  m_size = 14;
  char16_t* end = m_units + m_size;
  end = PutDigits(end, t->second, 2);
  end = PutDigits(end, t->minute, 2);
  end = PutDigits(end, t->hour, 2);
  end = PutDigits(end, t->day, 2);
  end = PutDigits(end, t->month, 2);
  PutDigits(end, t->year, 4);
}

std::u16string MakeStamp(std::int64_t lastWriteUtc, std::int64_t utcOffset) {
  return std::u16string(StampText(lastWriteUtc, utcOffset).View());
}
