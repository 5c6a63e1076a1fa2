// CRC-32 known answers and agreement with zlib on every implementation path
// (lengths, alignments, running values, block splits, range bounds), and the
// NTFS date helpers.
#include "engine/io/RVCRC32.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "engine/io/RVCRC32Internal.h"
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

// zlib's crc32 continues a finished CRC; a running value is its complement.
uint32_t zlibContinue(uint32_t running, const uint8_t* p, size_t n) {
  return ~static_cast<uint32_t>(::crc32(~running, p, static_cast<uInt>(n)));
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> data(n);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  return data;
}

const char* pathName(RVCRC32Path path) {
  switch (path) {
    case RVCRC32Path::Automatic:
      return "Automatic";
    case RVCRC32Path::Fallback:
      return "Fallback";
    case RVCRC32Path::Vector:
      return "Vector";
  }
  return "?";
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

// Every length up to 2048 from every alignment class, from a random running
// value, so each head, tail and loop-exit case meets a value to fold in.
TEST_P(RVCRC32PathTest, AgreesWithZlibAtEveryLengthAndAlignment) {
  const std::vector<uint8_t> data = randomBytes(2048 + 64, 1);
  std::mt19937 rng(2);
  for (size_t n = 0; n <= 2048; ++n) {
    const size_t offset = rng() % 64;
    const uint32_t running = static_cast<uint32_t>(rng());
    const uint8_t* p = data.data() + offset;
    ASSERT_EQ(RVCRC32Update(running, p, static_cast<int64_t>(n)), zlibContinue(running, p, n))
        << "length " << n << " offset " << offset;
    ASSERT_EQ(RVCRC32Final(RVCRC32Update(RVCRC32Init(), p, static_cast<int64_t>(n))),
              static_cast<uint32_t>(::crc32(0, p, static_cast<uInt>(n))))
        << "length " << n << " offset " << offset;
  }
}

// Uniform bytes: zeros leave the folded state to the running value alone, and
// all-ones inputs set every coefficient the reduction must clear.
TEST_P(RVCRC32PathTest, AgreesWithZlibOnUniformBytes) {
  for (uint8_t fill : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x80}}) {
    const std::vector<uint8_t> data(70000, fill);
    for (size_t n : {15u, 16u, 63u, 64u, 255u, 256u, 257u, 4096u, 65535u, 70000u}) {
      for (uint32_t running : {0u, 0xFFFFFFFFu}) {
        EXPECT_EQ(RVCRC32Update(running, data.data(), static_cast<int64_t>(n)),
                  zlibContinue(running, data.data(), n))
            << "fill " << int(fill) << " length " << n << " running " << running;
      }
    }
  }
}

// Large ranges whole, and cut at odd places into blocks of every scale.
TEST_P(RVCRC32PathTest, AgreesWithZlibOnLargeRangesAndOddSplits) {
  const std::vector<uint8_t> data = randomBytes((3u << 20) + 64, 3);
  std::mt19937 rng(4);
  for (size_t n : {size_t{65536 + 1}, size_t{(1u << 20) + 255}, size_t{(3u << 20) + 17}}) {
    const size_t offset = rng() % 64;
    const uint8_t* p = data.data() + offset;
    const uint32_t expected = static_cast<uint32_t>(::crc32(0, p, static_cast<uInt>(n)));
    EXPECT_EQ(RVCRC32Final(RVCRC32Update(RVCRC32Init(), p, static_cast<int64_t>(n))), expected)
        << "whole, length " << n;

    for (int scale : {31, 300, 5000, 100000}) {
      uint32_t v = RVCRC32Init();
      size_t done = 0;
      while (done < n) {
        size_t block = std::min<size_t>(1 + rng() % scale, n - done);
        v = RVCRC32Update(v, p + done, static_cast<int64_t>(block));
        done += block;
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
  uint8_t* first = base + page;
  uint8_t* last = base + 2 * page;
  std::mt19937 rng(5);
  for (size_t i = 0; i < page; ++i) first[i] = static_cast<uint8_t>(rng());

  for (size_t n = 1; n <= std::min<size_t>(page, 1100); ++n) {
    ASSERT_EQ(RVCRC32Update(0x9E3779B9u, last - n, static_cast<int64_t>(n)),
              zlibContinue(0x9E3779B9u, last - n, n))
        << "ending at the guard, length " << n;
    ASSERT_EQ(RVCRC32Update(0x9E3779B9u, first, static_cast<int64_t>(n)),
              zlibContinue(0x9E3779B9u, first, n))
        << "starting after the guard, length " << n;
  }
  munmap(map, 3 * page);
}

INSTANTIATE_TEST_SUITE_P(Paths, RVCRC32PathTest,
                         testing::Values(RVCRC32Path::Automatic, RVCRC32Path::Fallback,
                                         RVCRC32Path::Vector),
                         [](const testing::TestParamInfo<RVCRC32Path>& info) {
                           return std::string(pathName(info.param));
                         });

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
