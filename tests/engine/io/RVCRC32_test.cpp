// CRC-32 known answers, block splitting against zlib, and the NTFS date helpers.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <random>

#include "engine/io/RVCRC32.h"
#include "engine/io/RVDate.h"

namespace {

uint32_t crcOf(const std::string& s) {
  return RVCRC32Final(RVCRC32Update(RVCRC32Init(), s.data(), static_cast<int64_t>(s.size())));
}

TEST(RVCRC32Test, KnownAnswers) {
  EXPECT_EQ(crcOf("123456789"), 0xCBF43926u);
  EXPECT_EQ(crcOf("abc"), 0x352441C2u);
  EXPECT_EQ(crcOf(""), 0u);
  EXPECT_EQ(RVCRC32Update(0x12345678, "x", -5), 0x12345678u);

  uint32_t v = RVCRC32Update(RVCRC32Init(), "ab", 2);
  v = RVCRC32UpdateByte(v, 'c');
  EXPECT_EQ(RVCRC32Final(v), 0x352441C2u);

  RVCRC32 acc = RVCRC32::CRC32();
  acc.updateWithBytes("12345", 5);
  EXPECT_EQ(acc.value(), crcOf("12345"));
  acc.updateWithBytes("6789", 4);  // value() leaves the running value alone
  EXPECT_EQ(acc.value(), 0xCBF43926u);
}

TEST(RVCRC32Test, AgreesWithZlibAcrossBlockSplits) {
  std::mt19937 rng(42);
  std::vector<uint8_t> data(1 << 20);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  uint32_t expected = static_cast<uint32_t>(::crc32(0, data.data(), data.size()));
  for (size_t block : {size_t{1}, size_t{3}, size_t{4096}, size_t{65537}, data.size()}) {
    uint32_t v = RVCRC32Init();
    for (size_t i = 0; i < data.size(); i += block) {
      size_t n = std::min(block, data.size() - i);
      if (block == 1)
        v = RVCRC32UpdateByte(v, data[i]);
      else
        v = RVCRC32Update(v, data.data() + i, static_cast<int64_t>(n));
    }
    EXPECT_EQ(RVCRC32Final(v), expected) << "block " << block;
  }
}

TEST(RVDateTest, NTFSTimestamps) {
  EXPECT_EQ(RVTimeIntervalSince1970(_date1601()), -11644473600.0);
  EXPECT_EQ(RVTimeIntervalSince1970(dateWithNTFSTimestamp(0)), -11644473600.0);
  EXPECT_EQ(RVTimeIntervalSince1970(dateWithNTFSTimestamp(116444736000000000ull)), 0.0);
  EXPECT_EQ(RVTimeIntervalSince1970(dateWithNTFSTimestamp(10000000)), -11644473599.0);
  EXPECT_EQ(GMTDateString(dateWithNTFSTimestamp(0)), "1601-01-01 00:00:00");
}

TEST(RVDateTest, GMTDateStringIgnoresTheLocalZone) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "Asia/Tokyo", 1);
  tzset();
  EXPECT_EQ(GMTDateString(RVDateWithTimeIntervalSince1970(0)), "1970-01-01 00:00:00");
  EXPECT_EQ(GMTDateString(RVDateWithTimeIntervalSince1970(1741996800.75)), "2025-03-15 00:00:00");
  EXPECT_EQ(GMTDateString(RVDateWithTimeIntervalSince1970(-0.5)), "1969-12-31 23:59:59");
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

}  // namespace
