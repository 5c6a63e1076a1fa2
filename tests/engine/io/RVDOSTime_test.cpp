// DOS time and date to and from seconds since 1970 in fixed time zones, and the
// seconds to and from points in time.
#include "engine/io/RVDOSTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>

#include "support/ZipRecordTestSupport.h"

namespace {

using namespace corvana_test;

constexpr const char* kTokyo = "Asia/Tokyo";
constexpr const char* kBerlin = "Europe/Berlin";
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
enum Direction { kBoth, kDecode, kEncode };

// Decoding is local time normalised as mktime does: summer time from the
// zone's rules, out-of-range fields carried first. Encoding wraps years outside
// 1980...2107 modulo 128 (1979 has the field of 2107).
TEST(RVDOSTimeTest, LocalTimeInFixedZones) {
  for (const char* zone : {kTokyo, kBerlin})
    if (!haveTimeZone(zone)) GTEST_SKIP() << "no rules for " << zone;
  struct Case {
    const char* what;
    const char* zone;
    uint16_t time, date;
    int64_t epoch;
    Direction direction;
  } cases[] = {
      {"Tokyo noon", kTokyo, dosTime(12, 0, 0), dosDate(2025, 3, 15), 1742007600, kBoth},
      {"Berlin winter", kBerlin, dosTime(12, 0, 0), dosDate(2025, 1, 15), 1736938800, kBoth},
      {"Berlin summer", kBerlin, dosTime(12, 0, 0), dosDate(2025, 7, 1), 1751364000, kBoth},
      {"spring, before", kBerlin, dosTime(1, 59, 58), dosDate(2025, 3, 30), 1743296398, kBoth},
      {"spring, after", kBerlin, dosTime(3, 0, 0), dosDate(2025, 3, 30), 1743296400, kBoth},
      {"24:30 into summer", kBerlin, dosTime(24, 30, 0), dosDate(2025, 3, 30), 1743373800, kDecode},
      {"day 0", kTokyo, dosTime(12, 0, 0), dosDate(2025, 3, 0), 1740711600, kDecode},
      {"month 0", kTokyo, dosTime(12, 0, 0), dosDate(2025, 0, 15), 1734231600, kDecode},
      {"month 13", kTokyo, dosTime(12, 0, 0), dosDate(2025, 13, 15), 1768446000, kDecode},
      {"hour 24", kTokyo, dosTime(24, 0, 0), dosDate(2025, 3, 15), 1742050800, kDecode},
      {"11:60:62", kTokyo, dosTime(11, 60, 62), dosDate(2025, 3, 15), 1742007662, kDecode},
      {"all bits set", kTokyo, 0xFFFF, 0xFFFF, 4362678242, kDecode},
      {"last second", kTokyo, dosTime(23, 59, 58), dosDate(2107, 12, 31), 4354786798, kBoth},
      {"all zero is 1979-11-30", kTokyo, 0, 0, 312735600, kDecode},
      {"all zero in Berlin", kBerlin, 0, 0, 312764400, kDecode},
      {"odd second", kTokyo, dosTime(12, 0, 0), dosDate(2025, 3, 15), 1742007601, kEncode},
      {"1979 wraps to 127", kBerlin, dosTime(12, 0, 0), dosDate(2107, 12, 31), 315486000, kEncode},
      {"2108 wraps to 0", kBerlin, dosTime(12, 0, 0), dosDate(1980, 1, 1), 4354858800, kEncode},
      {"1969 wraps to 117", kBerlin, dosTime(22, 17, 40), dosDate(2097, 7, 20), -14179340, kEncode},
      {"-1 like any second", kTokyo, dosTime(8, 59, 59), dosDate(2098, 1, 1), -1, kEncode},
      {"beyond any calendar", kTokyo, 0, dosDate(1980, 1, 1), kMax, kEncode},
      {"before any calendar", kTokyo, 0, dosDate(1980, 1, 1), kMin, kEncode},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTimeZone zone(c.zone);
    if (c.direction != kEncode) {
      EXPECT_EQ(RVEpochWithDOSTime(c.time, c.date), c.epoch);
    }
    RVDOSTime dos = RVDOSTimeWithEpoch(c.epoch);
    if (c.direction != kDecode) {
      EXPECT_EQ(std::pair(dos.time, dos.date), std::pair(c.time, c.date));
    }
  }
}

TEST(RVDOSTimeTest, EvenSecondsSurviveAYearOfBerlin) {
  if (!haveTimeZone(kBerlin)) GTEST_SKIP() << "no rules for " << kBerlin;
  ScopedTimeZone zone(kBerlin);
  // 02:30 happens twice on 2025-10-26 and not at all on 2025-03-30: either instant will do.
  int64_t twice = RVEpochWithDOSTime(dosTime(2, 30, 0), dosDate(2025, 10, 26));
  EXPECT_TRUE(twice == 1761438600 || twice == 1761442200) << twice;
  int64_t never = RVEpochWithDOSTime(dosTime(2, 30, 0), dosDate(2025, 3, 30));
  EXPECT_TRUE(never == 1743298200 || never == 1743294600) << never;
  // Outside the repeated hour, every even second maps back to itself.
  for (int64_t epoch = 1735686000; epoch < 1767222000; epoch += 3607) {
    if (epoch >= 1761436800 && epoch < 1761444000) continue;
    ASSERT_EQ(RVEpochWithDOSTime(RVDOSTimeWithEpoch(epoch)), epoch - (epoch & 1)) << epoch;
  }
}

TEST(RVDOSTimeTest, EpochsAndDates) {
  EXPECT_FALSE(RVDateWithEpoch(-1).has_value());
  for (int64_t epoch : {int64_t(0), int64_t(-2), int64_t(5000000000)})
    EXPECT_EQ(RVTimeIntervalSince1970(*RVDateWithEpoch(epoch)), double(epoch));
  // Toward zero, so -0.5 is 0 and -1.9 is -1, which reads as no time; saturated; NaN is none.
  EXPECT_EQ(RVEpochWithDate(std::nullopt), -1);
  const std::pair<double, int64_t> cases[] = {{1.9, 1},           {-0.5, 0},     {-1.9, -1},
                                              {-86400.7, -86400}, {1e300, kMax}, {-INFINITY, kMin},
                                              {NAN, -1}};
  for (auto [interval, epoch] : cases)
    EXPECT_EQ(RVEpochWithDate(RVDateWithTimeIntervalSince1970(interval)), epoch) << interval;
}

}  // namespace

// Pinning the zone keeps every conversion as it was with TZ unset, and leaves a
// TZ the user set alone.
TEST(RVDOSTimeTest, PinningTheZoneChangesNoConversion) {
  const char* saved = std::getenv("TZ");
  const std::string savedValue = saved ? saved : "";
  const uint16_t summerTime = (13 << 11) | (5 << 5) | 10;
  const uint16_t summerDate = ((2024 - 1980) << 9) | (7 << 5) | 15;
  const uint16_t winterDate = ((2024 - 1980) << 9) | (1 << 5) | 15;

  ::unsetenv("TZ");
  ::tzset();
  const int64_t summer = RVEpochWithDOSTime(summerTime, summerDate);
  const int64_t winter = RVEpochWithDOSTime(summerTime, winterDate);
  RVPinLocalTimeZone();
  EXPECT_STREQ(std::getenv("TZ"), ":/etc/localtime");
  EXPECT_EQ(RVEpochWithDOSTime(summerTime, summerDate), summer);
  EXPECT_EQ(RVEpochWithDOSTime(summerTime, winterDate), winter);

  ::setenv("TZ", "Asia/Tokyo", 1);
  RVPinLocalTimeZone();
  EXPECT_STREQ(std::getenv("TZ"), "Asia/Tokyo");

  if (saved) {
    ::setenv("TZ", savedValue.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}
