// Large entries deflated in blocks on the shared pool: round trips on either
// side of the threshold, the same bytes with any number of threads, and a
// cancelled or failed entry that leaves no trace and no worker busy, alone and
// with two writers sharing the pool.
#include "engine/CVNDeflateWorkerPool.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileData.h"
#include "engine/CVNZipFileWriter.h"
#include "engine/io/RVDataHandle.h"
#include "engine/io/RVException.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

namespace {

using namespace corvana_test;
using Password = std::optional<Bytes>;
using std::tuple;

constexpr uint64_t kThreshold = CVNZipFileData::kParallelDeflateThreshold;
constexpr size_t kBuffer = 256 * 1024;

CVNDeflateWorkerPool& pool() { return CVNDeflateWorkerPool::shared(); }

// Runs of text and of random bytes of varying length, so that blocks end in both.
Bytes mixedData(size_t size, unsigned seed) {
  static const char text[] = "The archive holds the entries in the order they came.\n";
  std::mt19937 random(seed);
  Bytes data(size);
  for (size_t i = 0; i < size; ++i)
    data[i] = (i / 70001 + seed) % 3 ? uint8_t(text[i % (sizeof text - 1)]) : uint8_t(random());
  return data;
}

// Cancels once it has taken `cancelAfter` progress calls.
struct CountingJob : CVNEngineJob {
  explicit CountingJob(int after = -1) : cancelAfter(after) {}
  bool isCancelled() const override { return cancelAfter >= 0 && calls >= cancelAfter; }
  void increaseCurrentValue(uint64_t n) override { ++calls, total += n; }
  int cancelAfter, calls = 0;
  uint64_t total = 0;
};

// Reads fail once the position passes `limit`.
struct FailingSource : RVDataHandle {
  FailingSource(const Bytes& data, uint64_t limit) : RVDataHandle(data), limit(limit) {}
  uint64_t readBytesMaxLength(void* buffer, uint64_t maxLength) override {
    if (offset() + maxLength > limit) RVRaiseFileSystemError(EIO);
    return RVDataHandle::readBytesMaxLength(buffer, maxLength);
  }
  uint64_t limit;
};

struct Encoded {
  CVNZipCentralFileHeader header;
  Bytes output;
  std::string raised;
};

Encoded encode(RVIOHandle& source, int level, const Password& password, CVNEngineJob* job,
               RVIOHandle* into = nullptr) {
  Encoded e;
  e.header.setCompressionMethod(8);
  e.header.setGeneralPurposeBitFlag(password ? 1 : 0);
  RVDataHandle archive;
  Bytes in(kBuffer), out(kBuffer);
  e.raised = raised([&] {
    CVNZipFileData::compressFileDataWithIOHandle(into ? *into : archive, level, e.header, password,
                                                 in, out, &source, job);
  });
  e.output = archive.takeData();
  return e;
}

Encoded encode(const Bytes& data, int level, const Password& password = {},
               CVNEngineJob* job = nullptr) {
  RVDataHandle source(data);
  return encode(source, level, password, job);
}

Bytes decode(const Encoded& e, const Password& password) {
  RVDataHandle archive(e.output), output;
  Bytes in(kBuffer), out(kBuffer);
  EXPECT_EQ(CVNZipFileData().decompressFileDataWithIOHandle(archive, e.header, password, in, out,
                                                            output, nullptr),
            CVNZipResultSucceeded);
  return output.takeData();
}

class DeflateWorkerPoolTest : public testing::Test {
 protected:
  void TearDown() override {
    // Nothing held, so no worker is still on a block of a finished entry.
    EXPECT_EQ(pool().freeBlockCount(), pool().blockCount());
    pool().setThreadCount(0);
  }
};

TEST_F(DeflateWorkerPoolTest, RoundTripsAcrossTheThreshold) {
  const size_t block = pool().blockSize();
  ASSERT_EQ(kThreshold % block, 0u) << "the rows below assume whole blocks";
  // Below, at and above the threshold; several blocks; ending on a block's
  // end; a last block of one byte.
  const uint64_t sizes[] = {kThreshold - 1,         kThreshold,
                            kThreshold + 1,         3 * kThreshold + 12345,
                            kThreshold + 3 * block, kThreshold + 2 * block + 1};
  for (uint64_t size : sizes)
    for (int level : {-1, 1, 9})
      for (const Password& password : {Password(), Password(bytes("s3cret"))}) {
        SCOPED_TRACE(testing::Message() << size << " " << level << " " << bool(password));
        const Bytes data = mixedData(size, unsigned(size + level));
        CountingJob job;
        Encoded e = encode(data, level, password, &job);
        ASSERT_EQ(e.raised, "");
        const CVNZipCentralFileHeader& h = e.header;
        EXPECT_EQ(tuple(h.crc32(), h.uncompressedSize(), h.compressedSize(), job.total),
                  tuple(crc32Of(data), size, e.output.size(), size));
        EXPECT_EQ(decode(e, password), data);
        if (password) continue;
        // Below the threshold the one stream of before, byte for byte.
        if (size < kThreshold) {
          EXPECT_EQ(e.output, rawDeflate(data, level));
        } else {
          EXPECT_EQ(rawInflate(e.output), data);
          EXPECT_GE(job.calls, int(size / block));  // credited block by block
        }
      }
}

TEST_F(DeflateWorkerPoolTest, SameBytesWithAnyThreadCount) {
  const Bytes data = mixedData(5 * kThreshold + 777, 3);
  for (int level : {-1, 9}) {
    std::vector<Bytes> outputs;
    for (unsigned threads : {1u, 2u, 8u}) {
      pool().setThreadCount(threads);
      ASSERT_EQ(pool().threadCount(), threads);
      outputs.push_back(encode(data, level).output);
    }
    EXPECT_EQ(outputs[0], outputs[1]) << level;
    EXPECT_EQ(outputs[0], outputs[2]) << level;
    EXPECT_EQ(rawInflate(outputs[0]), data);
  }
}

// Cancellation and failures in the middle of an entry: raised as they were,
// every block back in the pool.
TEST_F(DeflateWorkerPoolTest, CancellationAndFailuresMidEntry) {
  const Bytes data = mixedData(4 * kThreshold, 5);
  for (unsigned threads : {1u, 8u}) {
    pool().setThreadCount(threads);
    for (int calls : {0, 1, 3}) {
      CountingJob job(calls);
      Encoded e = encode(data, -1, {}, &job);
      EXPECT_EQ(tuple(e.raised, job.calls),
                tuple("RVOperationCancelledException Cancelled", calls));
      EXPECT_EQ(pool().freeBlockCount(), pool().blockCount());
    }
    FailingSource source(data, 2 * kThreshold + 100);
    EXPECT_EQ(encode(source, -1, {}, nullptr).raised,
              "RVFileSystemException errno = " + std::to_string(EIO));
    EXPECT_EQ(pool().freeBlockCount(), pool().blockCount());
    struct FullArchive : RVDataHandle {
      uint64_t writeBytesMaxLength(const void* buffer, uint64_t length) override {
        if (offset() + length > 300000) RVRaiseDiskFull();
        return RVDataHandle::writeBytesMaxLength(buffer, length);
      }
    } full;
    RVDataHandle again(data);
    EXPECT_EQ(encode(again, -1, {}, nullptr, &full).raised, std::string(RVDiskFullException));
  }
}

class DeflateWorkerPoolWriterTest : public DeflateWorkerPoolTest {
 protected:
  void SetUp() override {
    writeFile(dir / "small.txt", mixedData(5000, 1));
    writeFile(dir / "large.bin", mixedData(3 * kThreshold + 5, 2));
    writeFile(dir / "other.bin", mixedData(2 * kThreshold + 9, 4));
  }
  // The entries of one archive, written as the archiving job does.
  std::string write(const std::string& name, CVNEngineJob* job = nullptr) {
    CVNZipFileWriter writer(dir / name);
    writer.setOperation(job);
    for (const char* entry : {"small.txt", "large.bin", "other.bin"})
      EXPECT_EQ(
          writer.writeFileName(std::u16string(entry, entry + std::strlen(entry)), dir / entry, -1),
          CVNZipResultSucceeded);
    writer.closeFile();
    return writer.path();
  }
  TempDir dir;
};

TEST_F(DeflateWorkerPoolWriterTest, CancelledLargeEntryLeavesNoTrace) {
  CountingJob job(3);  // within the large entry's blocks
  CVNZipFileWriter writer(dir / "cancelled.zip");
  writer.setOperation(&job);
  ASSERT_EQ(writer.writeFileName(u"small.txt", dir / "small.txt", -1), CVNZipResultSucceeded);
  const uint64_t before = std::filesystem::file_size(writer.path());
  EXPECT_EQ(raised([&] { writer.writeFileName(u"large.bin", dir / "large.bin", -1); }),
            "RVOperationCancelledException Cancelled");
  EXPECT_EQ(std::filesystem::file_size(writer.path()), before);
  EXPECT_EQ(pool().freeBlockCount(), pool().blockCount());
  // The archive goes on after the last complete entry.
  job.cancelAfter = -1;
  ASSERT_EQ(writer.writeFileName(u"other.bin", dir / "other.bin", -1), CVNZipResultSucceeded);
  writer.closeFile();
  ParsedZipArchive parsed = parseZipArchive(writer.path());
  ASSERT_EQ(parsed.entries.size(), 2u);
  EXPECT_EQ(parsed.entries[1].name, bytes("other.bin"));
  EXPECT_EQ(rawInflate(parsed.entries[1].data), readFile(dir / "other.bin"));
}

// The entries' names, CRCs and data, as the archive holds them (the local
// headers' access times may differ from run to run).
std::vector<tuple<Bytes, uint32_t, Bytes>> entriesOf(const std::string& archive) {
  std::vector<tuple<Bytes, uint32_t, Bytes>> entries;
  for (const ParsedZipEntry& e : parseZipArchive(archive).entries)
    entries.emplace_back(e.name, e.crc32, e.data);
  return entries;
}

// Two jobs at once share the pool's blocks, a few of them with two threads,
// and make the entries each would make alone.
TEST_F(DeflateWorkerPoolWriterTest, TwoWritersShareThePool) {
  for (unsigned threads : {2u, 0u}) {
    pool().setThreadCount(threads);
    const auto alone = entriesOf(write("alone.zip"));
    ASSERT_EQ(alone.size(), 3u);
    EXPECT_EQ(rawInflate(std::get<2>(alone[1])), readFile(dir / "large.bin"));
    std::string first, second;
    std::thread other([&] { second = write("second.zip"); });
    first = write("first.zip");
    other.join();
    EXPECT_EQ(entriesOf(first), alone);
    EXPECT_EQ(entriesOf(second), alone);
    for (const char* name : {"alone.zip", "first.zip", "second.zip"})
      std::filesystem::remove(dir / name);
  }
}

}  // namespace
