// DOS time and date to and from seconds since 1970 in fixed time zones, and the
// seconds to and from points in time.
#include "engine/io/RVDOSTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/ZipRecordTestSupport.h"

namespace {

using corvana_test::dosDate;
using corvana_test::dosTime;
using corvana_test::haveTimeZone;
using corvana_test::ScopedTimeZone;

struct DecodeCase {
  const char* what;
  const char* zone;
  uint16_t time;
  uint16_t date;
  int64_t epoch;
};

class RVDOSTimeDecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(RVDOSTimeDecodeTest, LocalTimeNormalisedAsMktime) {
  const DecodeCase& c = GetParam();
  if (!haveTimeZone(c.zone)) GTEST_SKIP() << "no rules for " << c.zone;
  ScopedTimeZone zone(c.zone);
  EXPECT_EQ(RVEpochWithDOSTime(c.time, c.date), c.epoch) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Zones, RVDOSTimeDecodeTest,
    testing::Values(
        DecodeCase{"Tokyo noon", "Asia/Tokyo", dosTime(12, 0, 0), dosDate(2025, 3, 15), 1742007600},
        DecodeCase{"Berlin winter noon", "Europe/Berlin", dosTime(12, 0, 0), dosDate(2025, 1, 15),
                   1736938800},
        // Summer time comes from the zone's rules, not from the caller.
        DecodeCase{"Berlin summer noon", "Europe/Berlin", dosTime(12, 0, 0), dosDate(2025, 7, 1),
                   1751364000},
        DecodeCase{"Berlin before the spring change", "Europe/Berlin", dosTime(1, 59, 58),
                   dosDate(2025, 3, 30), 1743296398},
        DecodeCase{"Berlin after the spring change", "Europe/Berlin", dosTime(3, 0, 0),
                   dosDate(2025, 3, 30), 1743296400},
        // Carry first, then summer time for the normalised instant.
        DecodeCase{"hour 24 into the first summer day", "Europe/Berlin", dosTime(24, 30, 0),
                   dosDate(2025, 3, 30), 1743373800},
        DecodeCase{"day 0 is the last day of February", "Asia/Tokyo", dosTime(12, 0, 0),
                   dosDate(2025, 3, 0), 1740711600},
        DecodeCase{"day 0 in Berlin", "Europe/Berlin", dosTime(12, 0, 0), dosDate(2025, 3, 0),
                   1740740400},
        DecodeCase{"month 0 is December before", "Asia/Tokyo", dosTime(12, 0, 0),
                   dosDate(2025, 0, 15), 1734231600},
        DecodeCase{"month 13 is January after", "Asia/Tokyo", dosTime(12, 0, 0),
                   dosDate(2025, 13, 15), 1768446000},
        DecodeCase{"hour 24", "Asia/Tokyo", dosTime(24, 0, 0), dosDate(2025, 3, 15), 1742050800},
        DecodeCase{"minute 60, second 62", "Asia/Tokyo", dosTime(11, 60, 62), dosDate(2025, 3, 15),
                   1742007662},
        DecodeCase{"all bits set, past 2106", "Asia/Tokyo", 0xFFFF, 0xFFFF, 4362678242},
        DecodeCase{"last regular second, past 2106", "Asia/Tokyo", dosTime(23, 59, 58),
                   dosDate(2107, 12, 31), 4354786798},
        DecodeCase{"all zero is 1979-11-30", "Asia/Tokyo", 0, 0, 312735600},
        DecodeCase{"all zero in Berlin", "Europe/Berlin", 0, 0, 312764400}));

TEST(RVDOSTimeTest, AmbiguousAndMissingHoursTakeOneOfTheirInstants) {
  if (!haveTimeZone("Europe/Berlin")) GTEST_SKIP() << "no rules for Europe/Berlin";
  ScopedTimeZone zone("Europe/Berlin");
  // 02:30 happens twice on 2025-10-26 and not at all on 2025-03-30.
  int64_t twice = RVEpochWithDOSTime(dosTime(2, 30, 0), dosDate(2025, 10, 26));
  EXPECT_TRUE(twice == 1761438600 || twice == 1761442200) << twice;
  int64_t never = RVEpochWithDOSTime(dosTime(2, 30, 0), dosDate(2025, 3, 30));
  EXPECT_TRUE(never == 1743298200 || never == 1743294600) << never;
}

struct EncodeCase {
  const char* what;
  const char* zone;
  int64_t epoch;
  uint16_t time;
  uint16_t date;
};

class RVDOSTimeEncodeTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(RVDOSTimeEncodeTest, LocalTimeWithYearsModulo128) {
  const EncodeCase& c = GetParam();
  if (!haveTimeZone(c.zone)) GTEST_SKIP() << "no rules for " << c.zone;
  ScopedTimeZone zone(c.zone);
  RVDOSTime dos = RVDOSTimeWithEpoch(c.epoch);
  EXPECT_EQ(dos.time, c.time) << c.what;
  EXPECT_EQ(dos.date, c.date) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Zones, RVDOSTimeEncodeTest,
    testing::Values(
        EncodeCase{"Tokyo noon", "Asia/Tokyo", 1742007600, dosTime(12, 0, 0), dosDate(2025, 3, 15)},
        EncodeCase{"odd second halves down", "Asia/Tokyo", 1742007601, dosTime(12, 0, 0),
                   dosDate(2025, 3, 15)},
        EncodeCase{"Berlin summer", "Europe/Berlin", 1751364000, dosTime(12, 0, 0),
                   dosDate(2025, 7, 1)},
        EncodeCase{"Berlin winter", "Europe/Berlin", 1736938800, dosTime(12, 0, 0),
                   dosDate(2025, 1, 15)},
        EncodeCase{"1979 wraps to year field 127", "Europe/Berlin", 315486000, dosTime(12, 0, 0),
                   static_cast<uint16_t>((127 << 9) | (12 << 5) | 31)},
        EncodeCase{"2108 wraps to year field 0", "Europe/Berlin", 4354858800, dosTime(12, 0, 0),
                   static_cast<uint16_t>((0 << 9) | (1 << 5) | 1)},
        EncodeCase{"1969 wraps to year field 117", "Europe/Berlin", -14179340, dosTime(22, 17, 40),
                   static_cast<uint16_t>((117 << 9) | (7 << 5) | 20)},
        // -1 (no time) is converted like any second: 1970-01-01 08:59:59 in Tokyo.
        EncodeCase{"no time", "Asia/Tokyo", -1, dosTime(8, 59, 59),
                   static_cast<uint16_t>((118 << 9) | (1 << 5) | 1)},
        EncodeCase{"beyond any calendar", "Asia/Tokyo", std::numeric_limits<int64_t>::max(), 0,
                   dosDate(1980, 1, 1)},
        EncodeCase{"before any calendar", "Asia/Tokyo", std::numeric_limits<int64_t>::min(), 0,
                   dosDate(1980, 1, 1)}));

TEST(RVDOSTimeTest, EncodeThenDecodeKeepsEvenSecondsThroughAYearOfBerlin) {
  if (!haveTimeZone("Europe/Berlin")) GTEST_SKIP() << "no rules for Europe/Berlin";
  ScopedTimeZone zone("Europe/Berlin");
  // The hour of 2025-10-26 that happens twice maps back to only one of its instants.
  const int64_t repeatedFrom = 1761436800, repeatedTo = 1761444000;
  for (int64_t epoch = 1735686000; epoch < 1767222000; epoch += 3607) {
    if (epoch >= repeatedFrom && epoch < repeatedTo) continue;
    RVDOSTime dos = RVDOSTimeWithEpoch(epoch);
    ASSERT_EQ(RVEpochWithDOSTime(dos), epoch - (epoch & 1)) << epoch;
  }
}

TEST(RVDOSTimeTest, EpochsAndDates) {
  EXPECT_FALSE(RVDateWithEpoch(-1).has_value());
  EXPECT_EQ(RVTimeIntervalSince1970(*RVDateWithEpoch(0)), 0.0);
  EXPECT_EQ(RVTimeIntervalSince1970(*RVDateWithEpoch(-2)), -2.0);
  EXPECT_EQ(RVTimeIntervalSince1970(*RVDateWithEpoch(5000000000)), 5000000000.0);

  EXPECT_EQ(RVEpochWithDate(std::nullopt), -1);
  EXPECT_EQ(RVEpochWithDate(RVDateWithTimeIntervalSince1970(1.9)), 1);
  // Toward zero, so -0.5 is 0 and -1.9 is -1, which reads as no time.
  EXPECT_EQ(RVEpochWithDate(RVDateWithTimeIntervalSince1970(-0.5)), 0);
  EXPECT_EQ(RVEpochWithDate(RVDateWithTimeIntervalSince1970(-1.9)), -1);
  EXPECT_EQ(RVEpochWithDate(RVDateWithTimeIntervalSince1970(-86400.7)), -86400);
  EXPECT_EQ(RVEpochWithDate(RVDateWithTimeIntervalSince1970(1e300)),
            std::numeric_limits<int64_t>::max());
  EXPECT_EQ(RVEpochWithDate(RVDateWithTimeIntervalSince1970(-INFINITY)),
            std::numeric_limits<int64_t>::min());
  EXPECT_EQ(RVEpochWithDate(RVDateWithTimeIntervalSince1970(NAN)), -1);
}

}  // namespace
