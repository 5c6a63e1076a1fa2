// CRC-32 known answers and agreement with zlib on every implementation path
// (lengths, alignments, running values, block splits, range bounds); NTFS dates.
#include "engine/io/RVCRC32.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <random>

#include "engine/io/RVCRC32Internal.h"
#include "engine/io/RVDate.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t crcOf(const void* p, size_t n) {
  return RVCRC32Final(RVCRC32Update(RVCRC32Init(), p, int64_t(n)));
}
uint32_t crcOf(const std::string& s) { return crcOf(s.data(), s.size()); }
uint32_t zlibCRC(const uint8_t* p, size_t n) { return uint32_t(::crc32(0, p, uInt(n))); }
// zlib's crc32 continues a finished CRC; a running value is its complement.
uint32_t zlibContinue(uint32_t running, const uint8_t* p, size_t n) {
  return ~uint32_t(::crc32(~running, p, uInt(n)));
}

Bytes randomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes data(n);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  return data;
}

TEST(RVCRC32Test, KnownAnswers) {
  EXPECT_EQ(crcOf("123456789"), 0xCBF43926u);
  EXPECT_EQ(crcOf("abc"), 0x352441C2u);
  EXPECT_EQ(crcOf(""), 0u);
  EXPECT_EQ(RVCRC32Update(0x12345678, "x", -5), 0x12345678u);

  // The one-byte step agrees with the block step.
  const Bytes data = randomBytes(5000, 42);
  uint32_t v = RVCRC32Init();
  for (uint8_t b : data) v = RVCRC32UpdateByte(v, b);
  EXPECT_EQ(RVCRC32Final(v), zlibCRC(data.data(), data.size()));

  RVCRC32 acc = RVCRC32::CRC32();
  acc.updateWithBytes("12345", 5);
  EXPECT_EQ(acc.value(), crcOf("12345"));
  acc.updateWithBytes("6789", 4);  // value() leaves the running value alone
  EXPECT_EQ(acc.value(), 0xCBF43926u);
}

// Runs each case with RVCRC32Update forced onto one path.
class RVCRC32PathTest : public testing::TestWithParam<RVCRC32Path> {
 protected:
  void SetUp() override {
    if (GetParam() == RVCRC32Path::Vector && !RVCRC32HasVectorKernel())
      GTEST_SKIP() << "this CPU lacks AVX-512 with VPCLMULQDQ";
    RVCRC32SetPath(GetParam());
  }
  void TearDown() override { RVCRC32SetPath(RVCRC32Path::Automatic); }
};

// Every length up to 2048 from every alignment class and several running
// values, so each head, tail and loop-exit case meets a value to fold in; on
// random bytes, and on uniform ones: zeros leave the folded state to the
// running value alone, all-ones set every coefficient the reduction must clear.
TEST_P(RVCRC32PathTest, AgreesWithZlibAtEveryLengthAndAlignment) {
  std::mt19937 rng(2);
  for (int fill : {-1, 0x00, 0xFF, 0x80}) {
    const Bytes data = fill < 0 ? randomBytes(2048 + 64, 1) : Bytes(2048 + 64, uint8_t(fill));
    for (size_t n = 0; n <= 2048; ++n) {
      const size_t offset = rng() % 64;
      const uint8_t* p = data.data() + offset;
      for (uint32_t running : {uint32_t(rng()), 0u, 0xFFFFFFFFu})
        ASSERT_EQ(RVCRC32Update(running, p, int64_t(n)), zlibContinue(running, p, n))
            << "fill " << fill << " length " << n << " offset " << offset << " running " << running;
    }
  }
}

// Large ranges whole, and cut at odd places into blocks of every scale.
TEST_P(RVCRC32PathTest, AgreesWithZlibOnLargeRangesAndOddSplits) {
  const Bytes data = randomBytes((3u << 20) + 64, 3);
  std::mt19937 rng(4);
  for (size_t n : {size_t{65536 + 1}, size_t{(1u << 20) + 255}, size_t{(3u << 20) + 17}}) {
    const uint8_t* p = data.data() + rng() % 64;
    const uint32_t expected = zlibCRC(p, n);
    EXPECT_EQ(crcOf(p, n), expected) << "whole, length " << n;
    for (int scale : {3, 31, 300, 5000, 100000}) {
      uint32_t v = RVCRC32Init();
      for (size_t done = 0, block; done < n; done += block) {
        block = std::min<size_t>(1 + rng() % scale, n - done);
        v = RVCRC32Update(v, p + done, int64_t(block));
      }
      EXPECT_EQ(RVCRC32Final(v), expected) << "length " << n << " blocks up to " << scale;
    }
  }
}

// A range that ends at, or starts at, an inaccessible page: no read may stray
// outside it.
TEST_P(RVCRC32PathTest, ReadsOnlyWithinTheRange) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  void* map = mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(map, MAP_FAILED);
  auto* base = static_cast<uint8_t*>(map);
  ASSERT_EQ(mprotect(base, page, PROT_NONE), 0);
  ASSERT_EQ(mprotect(base + 2 * page, page, PROT_NONE), 0);
  uint8_t *first = base + page, *last = base + 2 * page;
  std::mt19937 rng(5);
  for (size_t i = 0; i < page; ++i) first[i] = static_cast<uint8_t>(rng());
  for (size_t n = 1; n <= std::min<size_t>(page, 1100); ++n)
    for (const uint8_t* p : {last - n, first})
      ASSERT_EQ(RVCRC32Update(0x9E3779B9u, p, int64_t(n)), zlibContinue(0x9E3779B9u, p, n))
          << (p == first ? "starting after" : "ending at") << " the guard, length " << n;
  munmap(map, 3 * page);
}

INSTANTIATE_TEST_SUITE_P(Paths, RVCRC32PathTest,
                         testing::Values(RVCRC32Path::Automatic, RVCRC32Path::Fallback,
                                         RVCRC32Path::Vector),
                         [](const testing::TestParamInfo<RVCRC32Path>& info) -> std::string {
                           return info.param == RVCRC32Path::Vector     ? "Vector"
                                  : info.param == RVCRC32Path::Fallback ? "Fallback"
                                                                        : "Automatic";
                         });

TEST(RVDateTest, NTFSTimestampsAndGMTDateStrings) {
  EXPECT_EQ(RVTimeIntervalSince1970(_date1601()), -11644473600.0);
  EXPECT_EQ(RVTimeIntervalSince1970(dateWithNTFSTimestamp(0)), -11644473600.0);
  EXPECT_EQ(RVTimeIntervalSince1970(dateWithNTFSTimestamp(116444736000000000ull)), 0.0);
  EXPECT_EQ(RVTimeIntervalSince1970(dateWithNTFSTimestamp(10000000)), -11644473599.0);
  // GMTDateString ignores the local zone.
  const std::string saved = std::getenv("TZ") ? std::getenv("TZ") : "";
  const bool hadZone = std::getenv("TZ") != nullptr;
  setenv("TZ", "Asia/Tokyo", 1);
  tzset();
  EXPECT_EQ(GMTDateString(dateWithNTFSTimestamp(0)), "1601-01-01 00:00:00");
  EXPECT_EQ(GMTDateString(RVDateWithTimeIntervalSince1970(0)), "1970-01-01 00:00:00");
  EXPECT_EQ(GMTDateString(RVDateWithTimeIntervalSince1970(1741996800.75)), "2025-03-15 00:00:00");
  EXPECT_EQ(GMTDateString(RVDateWithTimeIntervalSince1970(-0.5)), "1969-12-31 23:59:59");
  hadZone ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
}

}  // namespace
