// The derived reads and writes of RVIOHandle, exercised through RVDataHandle.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/io/RVDataHandle.h"
#include "engine/io/RVException.h"
#include "support/TestSupport.h"

namespace {

using corvana_test::raisedName;
using Bytes = std::vector<uint8_t>;

// A handle whose reads and writes move at most `step` bytes, like a pipe.
class TrickleHandle : public RVDataHandle {
 public:
  explicit TrickleHandle(std::span<const uint8_t> data, uint64_t step)
      : RVDataHandle(data), step_(step) {}
  uint64_t readBytesMaxLength(void* b, uint64_t n) override {
    return RVDataHandle::readBytesMaxLength(b, std::min(n, step_));
  }
  uint64_t writeBytesMaxLength(const void* b, uint64_t n) override {
    return RVDataHandle::writeBytesMaxLength(b, std::min(n, step_));
  }
  uint64_t step_;
};

TEST(RVIOHandleTest, ReadsGatherShortReadsAndStopAtTheEnd) {
  Bytes source(5000);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7);
  TrickleHandle h(source, 3);  // short reads must end no read early
  EXPECT_EQ(h.readDataOfLength(10), Bytes(source.begin(), source.begin() + 10));
  EXPECT_EQ(h.readDataToEnd(), Bytes(source.begin() + 10, source.end()));
  h.seekToOffset(10);
  Bytes got(4989);
  h.readBytesLength(got.data(), got.size());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), source.begin() + 10));

  // 4 asked, 1 left: the byte arrives and stays, the position is at the end, the read raises.
  uint8_t four[4] = {9, 9, 9, 9};
  EXPECT_EQ(raisedName([&] { h.readBytesLength(four, 4); }), RVIOHandleEndOfBytesException);
  EXPECT_EQ((Bytes{four, four + 4}), (Bytes{source.back(), 9, 9, 9}));
  EXPECT_EQ(h.offset(), source.size());

  // Zero-length reads and writes return at once, even at the end.
  h.readBytesLength(four, 0);
  h.writeBytesLength(four, 0);
  EXPECT_EQ(h.data().size(), source.size());
  EXPECT_TRUE(h.readDataToEnd().empty());
  h.seekToOffset(4990);
  EXPECT_EQ(raisedName([&] { h.readDataOfLength(11); }), RVIOHandleEndOfBytesException);
  // A huge length from damaged input is out of memory, not an abort.
  EXPECT_EQ(raisedName([&] { h.readDataOfLength(UINT64_MAX / 2); }), RVOutOfMemoryException);
}

TEST(RVIOHandleTest, FixedWidthIntegers) {
  RVDataHandle w;
  w.writeInt24HostToBig(0xAABBCCDD);
  w.writeInt24HostToLittle(0xAABBCCDD);
  w.writeInt16HostToLittle(0x1234);
  w.writeInt16HostToBig(0x1234);
  w.writeInt32HostToLittle(0x11223344);
  w.writeInt64HostToBig(0x0102030405060708);
  w.writeDouble(-2.5);  // big-endian binary64
  EXPECT_EQ(w.data(), (Bytes{0xBB, 0xCC, 0xDD, 0xDD, 0xCC, 0xBB, 0x34, 0x12, 0x12, 0x34,
                             0x44, 0x33, 0x22, 0x11, 1,    2,    3,    4,    5,    6,
                             7,    8,    0xC0, 4,    0,    0,    0,    0,    0,    0}));

  // Read back in order (a braced list evaluates left to right).
  w.seekToOffset(0);
  EXPECT_EQ(
      (std::vector<uint64_t>{w.readInt24BigToHost(), w.readInt24LittleToHost(),
                             w.readInt16LittleToHost(), w.readInt16BigToHost(),
                             w.readInt32LittleToHost(), w.readInt64BigToHost()}),
      (std::vector<uint64_t>{0xBBCCDD, 0xBBCCDD, 0x1234, 0x1234, 0x11223344, 0x0102030405060708}));
  EXPECT_EQ(w.readDouble(), -2.5);
  w.seekToOffset(14);
  EXPECT_EQ(w.readInt64LittleToHost(), 0x0807060504030201u);
}

// A handle whose writes make no progress, like a full device that reports 0.
class StuckHandle : public RVDataHandle {
 public:
  uint64_t writeBytesMaxLength(const void*, uint64_t) override { return 0; }
};

TEST(RVIOHandleTest, AWriteWithoutProgressIsDiskFull) {
  StuckHandle h;
  uint8_t b = 1;
  EXPECT_EQ(raisedName([&] { h.writeBytesLength(&b, 1); }), RVDiskFullWriteException);
  TrickleHandle t(Bytes{}, 2);
  Bytes payload(9, 0x5A);
  t.writeData(payload);
  EXPECT_EQ(t.data(), payload);
}

TEST(RVDataHandleTest, SeeksStopAtTheLength) {
  RVDataHandle h(Bytes{1, 2, 3});
  h.seekToOffset(3);
  EXPECT_FALSE(h.hasBytesAvailable());
  EXPECT_EQ(raisedName([&] { h.seekToOffset(4); }), RVIOHandleEndOfBytesException);
  h.seekWithOffset(-2);  // from 3: the failed seek did not move
  EXPECT_EQ((std::pair{h.hasBytesAvailable(), h.readInt8()}), (std::pair{true, uint8_t(2)}));
  EXPECT_EQ(h.seekToEnd(), 3u);
}

TEST(RVDataHandleTest, WritesGrowAndTruncationKeepsThePosition) {
  RVDataHandle h(Bytes{1, 2, 3});
  h.seekToOffset(2);
  h.writeData(Bytes{7, 8, 9, 10});
  h.truncateAtOffset(8);
  EXPECT_EQ(h.data(), (Bytes{1, 2, 7, 8, 9, 10, 0, 0}));
  EXPECT_EQ(h.offset(), 6u);
  // Truncated below the position: reads find nothing, writes fill the gap with zeros.
  h.truncateAtOffset(2);
  uint8_t b;
  EXPECT_EQ(h.readBytesMaxLength(&b, 1), 0u);
  h.writeInt8(0xEE);
  EXPECT_EQ(h.data(), (Bytes{1, 2, 0, 0, 0, 0, 0xEE}));
  EXPECT_EQ((std::pair{h.takeData().size(), h.offset()}), (std::pair{size_t(7), uint64_t(0)}));
}

}  // namespace
