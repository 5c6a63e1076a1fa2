// The write-back wrapper against the plain handle it wraps: any sequence of
// writes, seeks, reads and truncations leaves the same bytes once flushed, and
// small writes that join reach the wrapped handle as one.
#include "engine/io/RVBufferedWriteHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "engine/io/RVDataHandle.h"
#include "engine/io/RVException.h"
#include "support/TestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;
using corvana_test::bytes;
using corvana_test::raisedName;

// Counts the writes that reach it; writes at most `step` bytes at a time, and
// from `fullAfter` bytes on none at all, like a full disk.
class CountingHandle : public RVDataHandle {
 public:
  uint64_t writeBytesMaxLength(const void* b, uint64_t n) override {
    ++writes;
    if (written >= fullAfter) return 0;
    n = std::min({n, step, fullAfter - written});
    written += n;
    return RVDataHandle::writeBytesMaxLength(b, n);
  }
  int writes = 0;
  uint64_t step = UINT64_MAX;
  uint64_t written = 0;
  uint64_t fullAfter = UINT64_MAX;
};

TEST(RVBufferedWriteHandleTest, AnySequenceEndsAsOnThePlainHandle) {
  // Buffer sizes from one byte to larger than every write; the wrapped handle
  // may also write short.
  const struct {
    size_t bufferSize;
    uint64_t step;
  } cases[] = {{1, UINT64_MAX}, {7, UINT64_MAX}, {64, 5}, {4096, UINT64_MAX}, {4096, 3}};
  for (const auto& c : cases) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
      SCOPED_TRACE(testing::Message()
                   << "buffer " << c.bufferSize << " step " << c.step << " seed " << seed);
      std::mt19937 random(seed);
      auto below = [&](uint64_t n) {
        return std::uniform_int_distribution<uint64_t>(0, n)(random);
      };
      RVDataHandle plain;
      auto inner = std::make_unique<CountingHandle>();
      inner->step = c.step;
      CountingHandle& wrapped = *inner;
      RVBufferedWriteHandle buffered(std::move(inner), c.bufferSize);
      for (int op = 0; op < 200; ++op) {
        const uint64_t length = plain.data().size();
        switch (below(9)) {
          case 0:
          case 1:
          case 2:
          case 3: {  // write, mostly small
            Bytes data(below(3) == 0 ? below(100) : below(8));
            for (auto& b : data) b = static_cast<uint8_t>(below(255));
            plain.writeData(data);
            buffered.writeData(data);
            break;
          }
          case 4:
          case 5: {  // seek back into what was written, or to the end
            const uint64_t to = below(length);
            plain.seekToOffset(to);
            buffered.seekToOffset(to);
            break;
          }
          case 6: {  // read a little
            Bytes a(below(20)), b(a.size());
            a.resize(plain.readBytesMaxLength(a.data(), a.size()));
            b.resize(buffered.readBytesMaxLength(b.data(), b.size()));
            ASSERT_EQ(a, b);
            break;
          }
          case 7: {  // cut, position kept
            const uint64_t at = below(length);
            plain.truncateAtOffset(at);
            buffered.truncateAtOffset(at);
            if (plain.offset() > at) {
              plain.seekToOffset(at);
              buffered.seekToOffset(at);
            }
            break;
          }
          case 8:
            ASSERT_EQ(buffered.seekToEnd(), plain.seekToEnd());
            break;
          default:
            buffered.flush();
            ASSERT_EQ(wrapped.data(), plain.data());
        }
        ASSERT_EQ(buffered.offset(), plain.offset());
      }
      buffered.flush();
      EXPECT_EQ(wrapped.data(), plain.data());
    }
  }
}

TEST(RVBufferedWriteHandleTest, GathersJoiningWritesAndPatchesInMemory) {
  auto inner = std::make_unique<CountingHandle>();
  CountingHandle& wrapped = *inner;
  RVBufferedWriteHandle buffered(std::move(inner), 64);
  // A header, data, the header patched, the end sought again: one write.
  buffered.writeData(Bytes(10, 'h'));
  buffered.writeData(Bytes(30, 'd'));
  buffered.seekToOffset(2);
  buffered.writeData(Bytes(3, 'H'));
  buffered.seekToOffset(40);
  EXPECT_EQ(wrapped.writes, 0);
  buffered.flush();
  EXPECT_EQ(wrapped.writes, 1);
  Bytes expected(40, 'd');
  std::fill_n(expected.begin(), 10, 'h');
  std::fill_n(expected.begin() + 2, 3, 'H');
  EXPECT_EQ(wrapped.data(), expected);
  // As large as the buffer: straight through, after what was gathered.
  buffered.writeData(Bytes(1, 'x'));
  buffered.writeData(Bytes(64, 'y'));
  EXPECT_EQ(wrapped.writes, 3);
  EXPECT_EQ(wrapped.data().size(), 105u);
  // Flushing nothing writes nothing.
  buffered.flush();
  EXPECT_EQ(wrapped.writes, 3);
}

TEST(RVBufferedWriteHandleTest, AWriteWithoutProgressIsADiskFullAndKeepsTheBytes) {
  auto inner = std::make_unique<CountingHandle>();
  CountingHandle& wrapped = *inner;
  wrapped.fullAfter = 4;
  RVBufferedWriteHandle buffered(std::move(inner), 64);
  buffered.writeData(bytes("abcdefgh"));
  EXPECT_EQ(raisedName([&] { buffered.flush(); }), RVDiskFullWriteException);
  EXPECT_EQ(wrapped.data(), bytes("abcd"));
  // Room again: the rest follows where the first part stopped.
  wrapped.fullAfter = UINT64_MAX;
  buffered.flush();
  EXPECT_EQ(wrapped.data(), bytes("abcdefgh"));
  // Cut behind the buffered bytes: they are dropped, not written past the cut.
  buffered.writeData(bytes("ijkl"));
  buffered.truncateAtOffset(10);
  buffered.flush();
  EXPECT_EQ(wrapped.data(), bytes("abcdefghij"));
}

}  // namespace
