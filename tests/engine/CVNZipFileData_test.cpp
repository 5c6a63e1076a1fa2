// The entry data codec: store and deflate round trips with and without a
// password, the result codes for damaged and mismatched entries, cancellation,
// and the zlib streams being ended on every way out.
#include "engine/CVNZipFileData.h"

#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/CVNEngineJob.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipDecryptor.h"
#include "engine/CVNZipEncryptor.h"
#include "engine/io/RVDataHandle.h"
#include "engine/io/RVException.h"

// --- zlib probe ---
// The test executable's own definitions take the engine's zlib calls, count the
// streams that are open and can make the next call fail; the real zlib does the
// work.
namespace {

std::atomic<int> gOpenStreams{0};
int gNextInitResult = Z_OK;  // not Z_OK: the next init fails with this
int gNextCallResult = Z_OK;  // not Z_OK: the next deflate or inflate fails with this

template <typename Fn>
Fn realZlib(const char* name) {
  auto real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
  if (!real) {
    // zlib linked statically: the probe cannot work.
    std::fprintf(stderr, "zlib probe: no shared %s\n", name);
    std::abort();
  }
  return real;
}

}  // namespace

extern "C" {

int deflateInit2_(z_streamp strm, int level, int method, int windowBits, int memLevel, int strategy,
                  const char* version, int streamSize) {
  using Fn = int (*)(z_streamp, int, int, int, int, int, const char*, int);
  static Fn real = realZlib<Fn>("deflateInit2_");
  if (int r = std::exchange(gNextInitResult, Z_OK); r != Z_OK) return r;
  int r = real(strm, level, method, windowBits, memLevel, strategy, version, streamSize);
  if (r == Z_OK) ++gOpenStreams;
  return r;
}

int deflate(z_streamp strm, int flush) {
  using Fn = int (*)(z_streamp, int);
  static Fn real = realZlib<Fn>("deflate");
  if (int r = std::exchange(gNextCallResult, Z_OK); r != Z_OK) return r;
  return real(strm, flush);
}

int deflateEnd(z_streamp strm) {
  using Fn = int (*)(z_streamp);
  static Fn real = realZlib<Fn>("deflateEnd");
  int r = real(strm);
  if (r != Z_STREAM_ERROR) --gOpenStreams;
  return r;
}

int inflateInit2_(z_streamp strm, int windowBits, const char* version, int streamSize) {
  using Fn = int (*)(z_streamp, int, const char*, int);
  static Fn real = realZlib<Fn>("inflateInit2_");
  if (int r = std::exchange(gNextInitResult, Z_OK); r != Z_OK) return r;
  int r = real(strm, windowBits, version, streamSize);
  if (r == Z_OK) ++gOpenStreams;
  return r;
}

int inflate(z_streamp strm, int flush) {
  using Fn = int (*)(z_streamp, int);
  static Fn real = realZlib<Fn>("inflate");
  if (int r = std::exchange(gNextCallResult, Z_OK); r != Z_OK) return r;
  return real(strm, flush);
}

int inflateEnd(z_streamp strm) {
  using Fn = int (*)(z_streamp);
  static Fn real = realZlib<Fn>("inflateEnd");
  int r = real(strm);
  if (r != Z_STREAM_ERROR) --gOpenStreams;
  return r;
}

}  // extern "C"

namespace {

using Password = std::optional<std::vector<uint8_t>>;
using testing::AnyOf;
using testing::Eq;

constexpr size_t kBuffer = 256 * 1024;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// Text runs and random runs, so that deflate has both kinds of work.
std::vector<uint8_t> mixedData(size_t size, unsigned seed = 1) {
  std::mt19937 random(seed);
  static const std::string text =
      "It was the best of times, it was the worst of times, it was the age of wisdom, "
      "it was the age of foolishness, it was the epoch of belief.\n";
  std::vector<uint8_t> data;
  data.reserve(size);
  while (data.size() < size) {
    size_t run = 1000 + random() % 30000;
    if (random() % 2) {
      for (size_t i = 0; i < run; ++i) data.push_back(uint8_t(text[(i + run) % text.size()]));
    } else {
      for (size_t i = 0; i < run; ++i) data.push_back(uint8_t(random()));
    }
  }
  data.resize(size);
  return data;
}

uint32_t zlibCRC(const std::vector<uint8_t>& data) {
  return uint32_t(crc32(0, data.data(), uInt(data.size())));
}

// A plain zlib raw inflate, independent of the codec.
std::vector<uint8_t> referenceInflate(const std::vector<uint8_t>& raw) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
  std::vector<uint8_t> out, buffer(65536);
  z.next_in = const_cast<Bytef*>(raw.data());
  z.avail_in = uInt(raw.size());
  int r;
  do {
    z.next_out = buffer.data();
    z.avail_out = uInt(buffer.size());
    r = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), buffer.data(), buffer.data() + (buffer.size() - z.avail_out));
  } while (r == Z_OK);
  EXPECT_EQ(r, Z_STREAM_END);
  inflateEnd(&z);
  return out;
}

// A bare zlib deflate fed in the same pieces as the codec feeds it.
std::vector<uint8_t> referenceDeflate(const std::vector<uint8_t>& data, int level, size_t chunk) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
  std::vector<uint8_t> out, buffer(chunk);
  size_t position = 0;
  int flush;
  do {
    size_t n = std::min(chunk, data.size() - position);
    z.next_in = const_cast<Bytef*>(data.data() + position);
    z.avail_in = uInt(n);
    position += n;
    flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = buffer.data();
      z.avail_out = uInt(chunk);
      deflate(&z, flush);
      out.insert(out.end(), buffer.data(), buffer.data() + (chunk - z.avail_out));
    } while (z.avail_out == 0);
  } while (flush != Z_FINISH);
  deflateEnd(&z);
  return out;
}

// Cancels once it has taken `cancelAfter` progress calls (never when negative).
class FakeJob : public CVNEngineJob {
 public:
  explicit FakeJob(int cancelAfter = -1) : _cancelAfter(cancelAfter) {}
  bool isCancelled() const override { return _cancelAfter >= 0 && calls >= _cancelAfter; }
  void increaseCurrentValue(uint64_t byteCount) override {
    ++calls;
    total += byteCount;
  }
  int calls = 0;
  uint64_t total = 0;

 private:
  int _cancelAfter;
};

// A data handle whose writes fail once `limit` bytes have been written.
class FailingHandle : public RVDataHandle {
 public:
  explicit FailingHandle(uint64_t limit) : _limit(limit) {}
  uint64_t writeBytesMaxLength(const void* buffer, uint64_t length) override {
    if (offset() + length > _limit) RVRaiseDiskFull();
    return RVDataHandle::writeBytesMaxLength(buffer, length);
  }

 private:
  uint64_t _limit;
};

struct Entry {
  CVNZipCentralFileHeader header;
  std::vector<uint8_t> archive;
  CVNZipResult result;
};

CVNZipCentralFileHeader headerFor(uint16_t method, const Password& password) {
  CVNZipCentralFileHeader header;
  header.setCompressionMethod(method);
  header.setGeneralPurposeBitFlag(password ? 1 : 0);
  return header;
}

// Encodes `data` (nullptr: an entry without data) into a fresh archive.
Entry encode(const std::vector<uint8_t>* data, uint16_t method, const Password& password,
             int level = -1, size_t bufferSize = kBuffer, CVNEngineJob* job = nullptr) {
  Entry entry{headerFor(method, password), {}, CVNZipResultSucceeded};
  RVDataHandle archive;
  std::optional<RVDataHandle> source;
  if (data) source.emplace(*data);
  std::vector<uint8_t> input(bufferSize), output(bufferSize);
  entry.result = CVNZipFileData::compressFileDataWithIOHandle(
      archive, level, entry.header, password, input, output, source ? &*source : nullptr, job);
  entry.archive = archive.takeData();
  return entry;
}

struct Decoded {
  CVNZipResult result;
  std::vector<uint8_t> output;
  uint64_t offset;  // of the archive handle afterwards
};

Decoded decode(const std::vector<uint8_t>& archiveBytes, const CVNZipCentralFileHeader& header,
               const Password& password, size_t bufferSize = kBuffer, CVNEngineJob* job = nullptr) {
  RVDataHandle archive(archiveBytes);
  RVDataHandle output;
  std::vector<uint8_t> input(bufferSize), outputBuffer(bufferSize);
  CVNZipFileData codec;
  Decoded decoded{};
  decoded.result = codec.decompressFileDataWithIOHandle(archive, header, password, input,
                                                        outputBuffer, output, job);
  decoded.offset = archive.offset();
  decoded.output = output.takeData();
  return decoded;
}

void expectName(const std::function<void()>& body, std::string_view name) {
  try {
    body();
    ADD_FAILURE() << "no exception, expected " << name;
  } catch (const RVException& e) {
    EXPECT_EQ(e.name(), name) << e.what();
  }
}

class ZipFileDataTest : public testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(gOpenStreams.load(), 0) << "a zlib stream was left open";
    gOpenStreams = 0;
    gNextInitResult = gNextCallResult = Z_OK;
  }
};

// --- round trips ---

struct RoundTripCase {
  uint16_t method;
  bool encrypted;
  size_t dataSize;
  size_t bufferSize;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) {
  *os << "method " << c.method << (c.encrypted ? " encrypted " : " ") << c.dataSize << " bytes, "
      << c.bufferSize << "-byte buffers";
}

class ZipFileDataRoundTrip : public ZipFileDataTest,
                             public testing::WithParamInterface<RoundTripCase> {};

TEST_P(ZipFileDataRoundTrip, DecodesWhatItEncoded) {
  const RoundTripCase& c = GetParam();
  const std::vector<uint8_t> data = mixedData(c.dataSize, unsigned(c.dataSize));
  const Password password = c.encrypted ? Password(bytesOf("Tr0ub4dor&3")) : std::nullopt;
  const uint64_t headerLength = c.encrypted ? 12 : 0;

  FakeJob writeJob;
  Entry entry = encode(&data, c.method, password, -1, c.bufferSize, &writeJob);
  ASSERT_EQ(entry.result, CVNZipResultSucceeded);
  EXPECT_EQ(entry.header.crc32(), zlibCRC(data));
  EXPECT_EQ(entry.header.uncompressedSize(), data.size());
  EXPECT_EQ(entry.header.compressedSize(), entry.archive.size());
  // Every source byte is credited once, also when the CRC needs a pass of its own.
  EXPECT_EQ(writeJob.total, data.size());

  if (!c.encrypted) {
    EXPECT_EQ(c.method == kStored ? entry.archive : referenceInflate(entry.archive), data);
  } else {
    if (c.method == kStored) {
      EXPECT_EQ(entry.archive.size(), data.size() + headerLength);
    }
    // The data is not readable as it stands.
    std::vector<uint8_t> body(entry.archive.begin() + 12, entry.archive.end());
    EXPECT_NE(body, c.method == kStored ? data : referenceDeflate(data, -1, c.bufferSize));
  }

  FakeJob readJob;
  Decoded decoded = decode(entry.archive, entry.header, password, c.bufferSize, &readJob);
  EXPECT_EQ(decoded.result, CVNZipResultSucceeded);
  EXPECT_EQ(decoded.output, data);
  EXPECT_EQ(decoded.offset, entry.archive.size());
  EXPECT_EQ(readJob.total, data.size());
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ZipFileDataRoundTrip,
    testing::Values(RoundTripCase{kStored, false, 1300000, kBuffer},
                    RoundTripCase{kStored, true, 1300000, kBuffer},
                    RoundTripCase{kDeflated, false, 1300000, kBuffer},
                    RoundTripCase{kDeflated, true, 1300000, kBuffer},
                    // Small odd buffers: many passes, pieces that straddle everything.
                    RoundTripCase{kStored, true, 200000, 4093},
                    RoundTripCase{kDeflated, false, 200000, 4093},
                    RoundTripCase{kDeflated, true, 200000, 4093},
                    RoundTripCase{kDeflated, true, 1, 7}, RoundTripCase{kStored, false, 1, 1}),
    [](const testing::TestParamInfo<RoundTripCase>& info) {
      const RoundTripCase& c = info.param;
      return std::string(c.method == kStored ? "Stored" : "Deflated") +
             (c.encrypted ? "Encrypted" : "Plain") + "_" + std::to_string(c.dataSize) + "_" +
             std::to_string(c.bufferSize);
    });

TEST_F(ZipFileDataTest, LevelsMapToZlibLevels) {
  const std::vector<uint8_t> data = mixedData(600000);
  const std::vector<uint8_t> level0 = referenceDeflate(data, 0, kBuffer);
  const std::vector<uint8_t> level1 = referenceDeflate(data, 1, kBuffer);
  const std::vector<uint8_t> level9 = referenceDeflate(data, 9, kBuffer);
  const std::vector<uint8_t> standard = referenceDeflate(data, Z_DEFAULT_COMPRESSION, kBuffer);
  ASSERT_NE(level1, standard);
  ASSERT_NE(level0, standard);
  EXPECT_EQ(encode(&data, kDeflated, std::nullopt, 0).archive, level0);
  EXPECT_EQ(encode(&data, kDeflated, std::nullopt, 1).archive, level1);
  EXPECT_EQ(encode(&data, kDeflated, std::nullopt, 9).archive, level9);
  for (int level : {-1, 2, 3, 4, 5, 6, 7, 8, 10, -7}) {
    EXPECT_EQ(encode(&data, kDeflated, std::nullopt, level).archive, standard) << level;
  }
}

// --- entries without data, empty files ---

TEST_F(ZipFileDataTest, FolderWithoutPasswordWritesNothing) {
  for (uint16_t method : {kStored, kDeflated}) {
    Entry entry = encode(nullptr, method, std::nullopt);
    EXPECT_EQ(entry.result, CVNZipResultSucceeded);
    EXPECT_TRUE(entry.archive.empty());
    EXPECT_EQ(entry.header.crc32(), 0u);
    EXPECT_EQ(entry.header.compressedSize(), 0u);
    EXPECT_EQ(entry.header.uncompressedSize(), 0u);
  }
  CVNZipCentralFileHeader folder = headerFor(kStored, std::nullopt);
  Decoded decoded = decode({}, folder, std::nullopt);
  EXPECT_EQ(decoded.result, CVNZipResultSucceeded);
  EXPECT_TRUE(decoded.output.empty());
}

TEST_F(ZipFileDataTest, FolderWithPasswordWritesOnlyTheEncryptionHeader) {
  const Password password = bytesOf("pw");
  Entry entry = encode(nullptr, kStored, password);
  EXPECT_EQ(entry.result, CVNZipResultSucceeded);
  ASSERT_EQ(entry.archive.size(), 12u);
  EXPECT_EQ(entry.header.crc32(), 0u);
  EXPECT_EQ(entry.header.compressedSize(), 12u);
  EXPECT_EQ(entry.header.uncompressedSize(), 0u);
  CVNZipDecryptor decryptor(*password, std::span<const uint8_t, 12>(entry.archive.data(), 12));
  EXPECT_EQ(decryptor.decryptedEncryptionHeader()[11], 0);

  Decoded decoded = decode(entry.archive, entry.header, password);
  EXPECT_EQ(decoded.result, CVNZipResultSucceeded);
  EXPECT_TRUE(decoded.output.empty());
  EXPECT_EQ(decoded.offset, 12u);
}

TEST_F(ZipFileDataTest, EmptyFileDeflatesToAnEmptyStream) {
  const std::vector<uint8_t> empty;
  Entry entry = encode(&empty, kDeflated, std::nullopt);
  EXPECT_EQ(entry.result, CVNZipResultSucceeded);
  EXPECT_EQ(entry.archive, referenceDeflate(empty, Z_DEFAULT_COMPRESSION, kBuffer));
  EXPECT_FALSE(entry.archive.empty());
  EXPECT_TRUE(referenceInflate(entry.archive).empty());
  EXPECT_EQ(entry.header.crc32(), 0u);
  EXPECT_EQ(entry.header.uncompressedSize(), 0u);
  EXPECT_EQ(entry.header.compressedSize(), entry.archive.size());
  EXPECT_EQ(decode(entry.archive, entry.header, std::nullopt).result, CVNZipResultSucceeded);

  const Password password = bytesOf("pw");
  Entry encrypted = encode(&empty, kDeflated, password);
  EXPECT_EQ(encrypted.header.compressedSize(), 12 + entry.archive.size());
  Decoded decoded = decode(encrypted.archive, encrypted.header, password);
  EXPECT_EQ(decoded.result, CVNZipResultSucceeded);
  EXPECT_TRUE(decoded.output.empty());

  Entry stored = encode(&empty, kStored, std::nullopt);
  EXPECT_TRUE(stored.archive.empty());
  EXPECT_EQ(stored.header.crc32(), 0u);
}

TEST_F(ZipFileDataTest, CRCPassCoversTheRestAndRewinds) {
  const std::vector<uint8_t> data = mixedData(10000);
  RVDataHandle source(data);
  source.seekToOffset(1234);
  std::vector<uint8_t> buffer(1000);
  FakeJob job;
  uint32_t crc = CVNZipFileData::calculateCRC32WithIOHandle(source, buffer, &job);
  EXPECT_EQ(crc, zlibCRC(std::vector<uint8_t>(data.begin() + 1234, data.end())));
  EXPECT_EQ(source.offset(), 0u);
  EXPECT_EQ(job.calls, 0);
}

// --- passwords ---

TEST_F(ZipFileDataTest, EncryptedEntryWithoutPasswordReadsNothing) {
  const std::vector<uint8_t> data = mixedData(5000);
  for (uint16_t method : {kStored, kDeflated, uint16_t(12)}) {
    Entry entry = encode(&data, method == 12 ? kStored : method, bytesOf("pw"));
    entry.header.setCompressionMethod(method);
    Decoded decoded = decode(entry.archive, entry.header, std::nullopt);
    EXPECT_EQ(decoded.result, CVNZipResultPasswordRequired) << method;
    EXPECT_EQ(decoded.offset, 0u);
    EXPECT_TRUE(decoded.output.empty());
  }
}

TEST_F(ZipFileDataTest, WrongPasswordOnStoredEntryFailsThroughTheCRC) {
  const std::vector<uint8_t> data = mixedData(70000);
  Entry entry = encode(&data, kStored, bytesOf("right"));
  Decoded decoded = decode(entry.archive, entry.header, bytesOf("wrong"));
  EXPECT_EQ(decoded.result, CVNZipResultPasswordRequired);
  // The garbage was written out all the same; the reader removes it.
  EXPECT_EQ(decoded.output.size(), data.size());
}

// An encrypted deflated entry built by hand with a chosen encryption header,
// so that what a wrong password makes of it is always the same.
Entry fixedEncryptedDeflatedEntry(const std::vector<uint8_t>& data, const Password& password) {
  Entry entry{headerFor(kDeflated, password), {}, CVNZipResultSucceeded};
  std::vector<uint8_t> archive = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0};
  archive[11] = uint8_t(zlibCRC(data) >> 24);
  std::vector<uint8_t> raw = referenceDeflate(data, Z_DEFAULT_COMPRESSION, kBuffer);
  archive.insert(archive.end(), raw.begin(), raw.end());
  CVNZipEncryptor encryptor(*password);
  encryptor.encryptBytes(archive.data(), int64_t(archive.size()));
  entry.archive = archive;
  entry.header.setCrc32(zlibCRC(data));
  entry.header.setCompressedSize(archive.size());
  entry.header.setUncompressedSize(data.size());
  return entry;
}

TEST_F(ZipFileDataTest, WrongPasswordOnDeflatedEntry) {
  const std::vector<uint8_t> data = mixedData(70000);
  Entry fixed = fixedEncryptedDeflatedEntry(data, bytesOf("right"));
  EXPECT_EQ(decode(fixed.archive, fixed.header, bytesOf("right")).result, CVNZipResultSucceeded);
  EXPECT_EQ(decode(fixed.archive, fixed.header, bytesOf("wrong")).result,
            CVNZipResultPasswordRequired);

  // With fresh headers the garbage may, rarely, inflate to a whole stream: then
  // the sizes or the CRC fail instead. It never passes.
  for (int i = 0; i < 20; ++i) {
    Entry entry = encode(&data, kDeflated, bytesOf("right"));
    EXPECT_THAT(decode(entry.archive, entry.header, bytesOf("wrong" + std::to_string(i))).result,
                AnyOf(Eq(CVNZipResultPasswordRequired), Eq(CVNZipResultVerificationFailed)));
  }
}

// --- damaged and mismatched entries ---

struct DamageCase {
  const char* name;
  uint16_t method;
  bool encrypted;
  int64_t cutBytes;   // removed from the end of the archive
  int64_t sizeDelta;  // added to the header's compressed size
  int64_t uncompressedDelta;
  uint32_t crcXor;
  CVNZipResult expected;
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

class ZipFileDataDamage : public ZipFileDataTest, public testing::WithParamInterface<DamageCase> {};

TEST_P(ZipFileDataDamage, ReportsTheResult) {
  const DamageCase& c = GetParam();
  const std::vector<uint8_t> data = mixedData(300000, 7);
  const Password password = c.encrypted ? Password(bytesOf("pw")) : std::nullopt;
  Entry entry = encode(&data, c.method, password);
  ASSERT_EQ(entry.result, CVNZipResultSucceeded);
  std::vector<uint8_t> archive = entry.archive;
  archive.resize(archive.size() - size_t(c.cutBytes));
  // Records that follow the entry, as in a real archive.
  if (c.cutBytes == 0) archive.insert(archive.end(), 5000, 0x50);
  CVNZipCentralFileHeader header = entry.header;
  header.setCompressedSize(header.compressedSize() + uint64_t(c.sizeDelta));
  header.setUncompressedSize(header.uncompressedSize() + uint64_t(c.uncompressedDelta));
  header.setCrc32(header.crc32() ^ c.crcXor);
  for (size_t bufferSize : {kBuffer, size_t(3000)}) {
    EXPECT_EQ(decode(archive, header, password, bufferSize).result, c.expected) << bufferSize;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ZipFileDataDamage,
    testing::Values(
        DamageCase{"StoredTruncated", kStored, false, 1000, 0, 0, 0, CVNZipResultDataError},
        DamageCase{"StoredEncryptedTruncated", kStored, true, 1000, 0, 0, 0, CVNZipResultDataError},
        DamageCase{"DeflatedTruncated", kDeflated, false, 1000, 0, 0, 0, CVNZipResultDataError},
        // Encrypted, a stream cut short looks like a wrong password.
        DamageCase{"DeflatedEncryptedTruncated", kDeflated, true, 1000, 0, 0, 0,
                   CVNZipResultPasswordRequired},
        DamageCase{"DeflatedStreamEndsLate", kDeflated, false, 0, -1, 0, 0,
                   CVNZipResultVerificationFailed},
        DamageCase{"DeflatedStreamEndsEarly", kDeflated, false, 0, 1, 0, 0,
                   CVNZipResultVerificationFailed},
        DamageCase{"DeflatedEncryptedStreamEndsEarly", kDeflated, true, 0, 1, 0, 0,
                   CVNZipResultVerificationFailed},
        DamageCase{"DeflatedSizeMismatch", kDeflated, false, 0, 0, 1, 0,
                   CVNZipResultVerificationFailed},
        DamageCase{"DeflatedCRCMismatch", kDeflated, false, 0, 0, 0, 1,
                   CVNZipResultVerificationFailed},
        DamageCase{"StoredSizeMismatch", kStored, false, 0, 0, 1, 0,
                   CVNZipResultVerificationFailed},
        DamageCase{"StoredCRCMismatch", kStored, false, 0, 0, 0, 0x100,
                   CVNZipResultVerificationFailed},
        // Encrypted, a stored entry's failed check reads as a wrong password.
        DamageCase{"StoredEncryptedCRCMismatch", kStored, true, 0, 0, 0, 1,
                   CVNZipResultPasswordRequired}),
    [](const testing::TestParamInfo<DamageCase>& info) { return info.param.name; });

TEST_F(ZipFileDataTest, DamagedDeflateStream) {
  const std::vector<uint8_t> data = mixedData(100000);
  Entry entry = encode(&data, kDeflated, std::nullopt);
  std::vector<uint8_t> archive = entry.archive;
  archive[0] = 0xFF;  // a final block of the reserved type 3
  EXPECT_EQ(decode(archive, entry.header, std::nullopt).result, CVNZipResultDataError);

  archive = entry.archive;
  for (size_t i = archive.size() / 2; i < archive.size() / 2 + 64; ++i) archive[i] ^= 0x5A;
  EXPECT_THAT(decode(archive, entry.header, std::nullopt).result,
              AnyOf(Eq(CVNZipResultDataError), Eq(CVNZipResultVerificationFailed)));
}

TEST_F(ZipFileDataTest, EncryptedEntryTooShortForItsHeader) {
  // The header claims 5 bytes, and the archive holds just those.
  const std::vector<uint8_t> archive = {1, 2, 3, 4, 5};
  for (uint16_t method : {kStored, kDeflated}) {
    for (const Password& password : {Password(bytesOf("pw")), Password()}) {
      CVNZipCentralFileHeader header = headerFor(method, Password(bytesOf("pw")));
      header.setCompressedSize(5);
      Decoded decoded = decode(archive, header, password);
      EXPECT_EQ(decoded.result, CVNZipResultDataError);
      EXPECT_EQ(decoded.offset, 0u);
    }
  }
}

TEST_F(ZipFileDataTest, ArchiveEndingInsideTheEncryptionHeaderRaises) {
  const std::vector<uint8_t> archive = {1, 2, 3, 4, 5, 6, 7};
  CVNZipCentralFileHeader header = headerFor(kStored, bytesOf("pw"));
  header.setCompressedSize(100);
  expectName([&] { decode(archive, header, bytesOf("pw")); }, RVIOHandleEndOfBytesException);
}

TEST_F(ZipFileDataTest, UnsupportedMethod) {
  const std::vector<uint8_t> data = mixedData(5000);
  const Password password = bytesOf("pw");

  Entry plain = encode(&data, 12, std::nullopt);
  EXPECT_EQ(plain.result, CVNZipResultUnsupportedCompressionMethod);
  EXPECT_TRUE(plain.archive.empty());
  // The encryption header is written before the method is looked at.
  Entry encrypted = encode(&data, 14, password);
  EXPECT_EQ(encrypted.result, CVNZipResultUnsupportedCompressionMethod);
  EXPECT_EQ(encrypted.archive.size(), 12u);

  Entry stored = encode(&data, kStored, password);
  for (uint16_t method : {uint16_t(12), uint16_t(14), uint16_t(99)}) {
    stored.header.setCompressionMethod(method);
    Decoded withPassword = decode(stored.archive, stored.header, password);
    EXPECT_EQ(withPassword.result, CVNZipResultUnsupportedCompressionMethod);
    EXPECT_EQ(withPassword.offset, 12u);
    Decoded without = decode(stored.archive, stored.header, std::nullopt);
    EXPECT_EQ(without.result, CVNZipResultPasswordRequired);
    EXPECT_EQ(without.offset, 0u);
    CVNZipCentralFileHeader unencrypted = headerFor(method, std::nullopt);
    unencrypted.setCompressedSize(data.size());
    Decoded plainDecoded = decode(data, unencrypted, std::nullopt);
    EXPECT_EQ(plainDecoded.result, CVNZipResultUnsupportedCompressionMethod);
    EXPECT_EQ(plainDecoded.offset, 0u);
  }
}

TEST_F(ZipFileDataTest, HandleEndsJustAfterTheDeflateStream) {
  const std::vector<uint8_t> trailer = bytesOf("PK\x01\x02 the central directory follows here");
  for (const Password& password : {Password(), Password(bytesOf("pw"))}) {
    for (size_t size : {size_t(0), size_t(100), size_t(700000)}) {
      const std::vector<uint8_t> data = mixedData(size, 3);
      Entry entry = encode(&data, kDeflated, password);
      std::vector<uint8_t> archive = entry.archive;
      archive.insert(archive.end(), trailer.begin(), trailer.end());
      archive.insert(archive.end(), 300000, 0x33);
      for (size_t bufferSize : {kBuffer, size_t(1000), size_t(1)}) {
        if (bufferSize == 1 && size > 1000) continue;
        Decoded decoded = decode(archive, entry.header, password, bufferSize);
        EXPECT_EQ(decoded.result, CVNZipResultSucceeded) << size << " " << bufferSize;
        EXPECT_EQ(decoded.offset, entry.archive.size()) << size << " " << bufferSize;
        EXPECT_EQ(decoded.output, data);
      }
    }
  }
}

TEST_F(ZipFileDataTest, StoredEntryReadsNoFurtherThanItsData) {
  const std::vector<uint8_t> data = mixedData(300000);
  Entry entry = encode(&data, kStored, std::nullopt);
  std::vector<uint8_t> archive = entry.archive;
  archive.insert(archive.end(), 1000, 0x44);
  Decoded decoded = decode(archive, entry.header, std::nullopt);
  EXPECT_EQ(decoded.result, CVNZipResultSucceeded);
  EXPECT_EQ(decoded.offset, data.size());
}

// --- cancellation and failures ---

enum class Pass { CRC, Store, Deflate, Restore, Inflate };

struct CancelCase {
  const char* name;
  Pass pass;
  int cancelAfter;               // progress calls before the job reports cancelled
  uint64_t expectedInputOffset;  // of the handle read from, when the exception comes
};

void PrintTo(const CancelCase& c, std::ostream* os) { *os << c.name; }

class ZipFileDataCancel : public ZipFileDataTest, public testing::WithParamInterface<CancelCase> {};

TEST_P(ZipFileDataCancel, RaisesBeforeTheNextBuffer) {
  const CancelCase& c = GetParam();
  const std::vector<uint8_t> data = mixedData(2000000, 5);
  std::vector<uint8_t> input(kBuffer), outputBuffer(kBuffer);
  FakeJob job(c.cancelAfter);
  RVDataHandle out;
  std::optional<RVDataHandle> in;
  try {
    switch (c.pass) {
      case Pass::CRC:
      case Pass::Store:
      case Pass::Deflate: {
        in.emplace(data);
        CVNZipCentralFileHeader header =
            headerFor(c.pass == Pass::Deflate ? kDeflated : kStored,
                      c.pass == Pass::CRC ? Password(bytesOf("pw")) : std::nullopt);
        CVNZipFileData::compressFileDataWithIOHandle(
            out, -1, header, c.pass == Pass::CRC ? Password(bytesOf("pw")) : std::nullopt, input,
            outputBuffer, &*in, &job);
        break;
      }
      case Pass::Restore:
      case Pass::Inflate: {
        Entry entry = encode(&data, c.pass == Pass::Inflate ? kDeflated : kStored, std::nullopt);
        in.emplace(entry.archive);
        CVNZipFileData codec;
        codec.decompressFileDataWithIOHandle(*in, entry.header, std::nullopt, input, outputBuffer,
                                             out, &job);
        break;
      }
    }
    ADD_FAILURE() << "not cancelled";
  } catch (const RVException& e) {
    EXPECT_EQ(e.name(), RVOperationCancelledException);
    EXPECT_EQ(e.reason(), std::optional<std::string>("Cancelled"));
  }
  EXPECT_EQ(in->offset(), c.expectedInputOffset);
  EXPECT_EQ(gOpenStreams.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Passes, ZipFileDataCancel,
    testing::Values(CancelCase{"CRCAtOnce", Pass::CRC, 0, 0},
                    CancelCase{"StoreAtOnce", Pass::Store, 0, 0},
                    CancelCase{"StoreAfterOneBuffer", Pass::Store, 1, kBuffer},
                    CancelCase{"DeflateAtOnce", Pass::Deflate, 0, 0},
                    CancelCase{"DeflateAfterOneBuffer", Pass::Deflate, 1, kBuffer},
                    CancelCase{"DeflateAfterTwoBuffers", Pass::Deflate, 2, 2 * kBuffer},
                    CancelCase{"RestoreAtOnce", Pass::Restore, 0, 0},
                    CancelCase{"RestoreAfterOneBuffer", Pass::Restore, 1, kBuffer},
                    CancelCase{"InflateAtOnce", Pass::Inflate, 0, 0},
                    // Progress comes per output buffer; input is read a buffer at a time.
                    CancelCase{"InflateAfterOneBuffer", Pass::Inflate, 1, kBuffer}),
    [](const testing::TestParamInfo<CancelCase>& info) { return info.param.name; });

TEST_F(ZipFileDataTest, HandleFailuresPassThroughWithTheStreamEnded) {
  const std::vector<uint8_t> data = mixedData(1500000);
  std::vector<uint8_t> input(kBuffer), output(kBuffer);

  RVDataHandle source(data);
  FailingHandle archive(100000);
  CVNZipCentralFileHeader header = headerFor(kDeflated, std::nullopt);
  expectName(
      [&] {
        CVNZipFileData::compressFileDataWithIOHandle(archive, -1, header, std::nullopt, input,
                                                     output, &source, nullptr);
      },
      RVDiskFullException);
  EXPECT_EQ(gOpenStreams.load(), 0);

  Entry entry = encode(&data, kDeflated, std::nullopt);
  RVDataHandle archiveIn(entry.archive);
  FailingHandle file(300000);
  CVNZipFileData codec;
  expectName(
      [&] {
        codec.decompressFileDataWithIOHandle(archiveIn, entry.header, std::nullopt, input, output,
                                             file, nullptr);
      },
      RVDiskFullException);
  EXPECT_EQ(gOpenStreams.load(), 0);
}

TEST_F(ZipFileDataTest, ZlibFailuresBecomeNamedExceptions) {
  const std::vector<uint8_t> data = mixedData(100000);
  Entry entry = encode(&data, kDeflated, std::nullopt);

  struct Injection {
    int* slot;
    int result;
    bool deflating;
    std::string_view name;
  };
  const Injection injections[] = {
      {&gNextInitResult, Z_MEM_ERROR, true, RVOutOfMemoryException},
      {&gNextInitResult, Z_MEM_ERROR, false, RVOutOfMemoryException},
      {&gNextInitResult, Z_STREAM_ERROR, true, RVInternalInconsistencyException},
      {&gNextInitResult, Z_VERSION_ERROR, false, RVInternalInconsistencyException},
      {&gNextCallResult, Z_STREAM_ERROR, true, RVInternalInconsistencyException},
      {&gNextCallResult, Z_STREAM_ERROR, false, RVInternalInconsistencyException},
      {&gNextCallResult, Z_MEM_ERROR, false, RVOutOfMemoryException},
  };
  for (const Injection& injection : injections) {
    *injection.slot = injection.result;
    if (injection.deflating) {
      expectName([&] { encode(&data, kDeflated, std::nullopt); }, injection.name);
    } else {
      expectName([&] { decode(entry.archive, entry.header, std::nullopt); }, injection.name);
    }
    EXPECT_EQ(gOpenStreams.load(), 0) << injection.result;
    gNextInitResult = gNextCallResult = Z_OK;
  }
  // A dictionary request is damaged data like any other.
  gNextCallResult = Z_NEED_DICT;
  EXPECT_EQ(decode(entry.archive, entry.header, std::nullopt).result, CVNZipResultDataError);
  EXPECT_EQ(decode(entry.archive, entry.header, std::nullopt).result, CVNZipResultSucceeded);
}

TEST_F(ZipFileDataTest, MissingPasswordForEncryptedWriteIsAProgrammingError) {
  const std::vector<uint8_t> data = mixedData(100);
  RVDataHandle archive, source(data);
  std::vector<uint8_t> input(kBuffer), output(kBuffer);
  CVNZipCentralFileHeader header = headerFor(kStored, bytesOf("pw"));
  expectName(
      [&] {
        CVNZipFileData::compressFileDataWithIOHandle(archive, -1, header, std::nullopt, input,
                                                     output, &source, nullptr);
      },
      RVInternalInconsistencyException);
  EXPECT_TRUE(archive.data().empty());
}

}  // namespace
