#include "index/stamp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

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

}  // namespace
