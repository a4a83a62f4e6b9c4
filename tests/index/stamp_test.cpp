#include "index/stamp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "platform/text/local_time.h"

namespace {

constexpr std::int64_t kJan5At0930 = 1704447000;  // 2024-01-05 09:30:00 UTC

TEST(Stamp, WritesLocalTimeAsFourteenDigits) {
  EXPECT_EQ(MakeStamp(kJan5At0930, 0), u"20240105093000");
  EXPECT_EQ(MakeStamp(kJan5At0930 + 59, 0), u"20240105093059");
  EXPECT_EQ(MakeStamp(1709208000, 0), u"20240229120000");  // leap day
}

TEST(Stamp, AppliesTheOffsetAcrossDayAndYearBoundaries) {
  EXPECT_EQ(MakeStamp(kJan5At0930, 3 * 3600), u"20240105123000");
  EXPECT_EQ(MakeStamp(kJan5At0930, 15 * 3600), u"20240106003000");
  // 2024-01-01 00:30 UTC seen from one hour west of Greenwich.
  EXPECT_EQ(MakeStamp(1704069000, -3600), u"20231231233000");
}

TEST(Stamp, KeepsTheYears1970To3000AndRejectsTheRest) {
  EXPECT_EQ(MakeStamp(0, 0), u"19700101000000");
  EXPECT_EQ(MakeStamp(-1, 0), kInvalidStamp);
  EXPECT_EQ(MakeStamp(0, -1), kInvalidStamp);
  EXPECT_EQ(MakeStamp(32535215999, 0), u"30001231235959");
  EXPECT_EQ(MakeStamp(32535215999, 1), kInvalidStamp);
  EXPECT_EQ(MakeStamp(std::numeric_limits<std::int64_t>::max(), 3600), kInvalidStamp);
  EXPECT_EQ(MakeStamp(std::numeric_limits<std::int64_t>::min(), -3600), kInvalidStamp);
  EXPECT_EQ(std::u16string(kInvalidStamp), u"Invalid DateTime");
}

// The digits are written by hand; printf of the calendar fields is what
// they must equal, at every field width and across the whole range.
TEST(Stamp, WritesTheDigitsPrintfWouldAcrossTheRange) {
  std::uint64_t state = 12345;
  for (int i = 0; i < 20000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const auto utc = static_cast<std::int64_t>(state >> 29) % 32535216000;
    const std::int64_t offset = static_cast<std::int64_t>(state % 100000) - 50000;
    const auto t = ToLocalTime(utc, offset);
    std::u16string expected = kInvalidStamp;
    if (t) {
      char text[64];
      std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", t->year, t->month, t->day,
                    t->hour, t->minute, t->second);
      expected.assign(text, text + 14);
    }
    ASSERT_EQ(MakeStamp(utc, offset), expected) << utc << " " << offset;
    ASSERT_EQ(StampText(utc, offset).View(), expected);
  }
}

}  // namespace
