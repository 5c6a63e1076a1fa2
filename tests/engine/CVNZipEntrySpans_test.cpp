// The spans of extracted entries against a plain list: in archive order, out
// of order, touching, on other parts and at the end of the offsets.
#include "engine/CVNZipEntrySpans.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

namespace {

TEST(CVNZipEntrySpansTest, AgreesWithAPlainList) {
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937_64 random(seed);
    CVNZipEntrySpans spans;
    std::vector<std::tuple<uint32_t, uint64_t, uint64_t>> plain;
    uint64_t cursor = 0;
    for (int i = 0; i < 300; ++i) {
      const uint32_t disk = random() % 3;
      // Mostly in order, as archives come; sometimes anywhere, sometimes to the end.
      uint64_t start = random() % 4 ? cursor + random() % 3 : random() % (cursor + 50);
      uint64_t end = random() % 50 ? start + 1 + random() % 40 : UINT64_MAX;
      if (random() % 20 == 0) start = UINT64_MAX - 1 - random() % 5, end = UINT64_MAX;
      bool expected = false;
      for (auto [d, s, e] : plain) expected |= d == disk && s < end && start < e;
      ASSERT_EQ(spans.overlaps(disk, start, end), expected) << disk << " " << start << " " << end;
      if (!expected) {
        spans.record(disk, start, end);
        plain.emplace_back(disk, start, end);
        if (end != UINT64_MAX) cursor = std::max(cursor, end);
      }
    }
  }
}

}  // namespace
