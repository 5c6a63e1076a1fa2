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
#include <random>
#include <tuple>
#include <utility>

#include "engine/CVNEngineJob.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/io/RVDataHandle.h"
#include "engine/io/RVException.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

// The executable's own definitions take the engine's zlib calls: they count the
// open streams and can make the next call fail; the real zlib does the work.
namespace {
std::atomic<int> gOpenStreams{0};
// Atomic: the blocks of a large entry reach zlib from the pool's threads.
std::atomic<int> gNextInit{Z_OK};  // not Z_OK: the next init fails with this
std::atomic<int> gNextCall{Z_OK};  // not Z_OK: the next deflate or inflate fails with this
std::atomic<int> gNextEnd{Z_OK};   // never set

void* realZlib(const char* name) {
  void* real = dlsym(RTLD_NEXT, name);
  if (!real) std::fprintf(stderr, "zlib probe: no shared %s\n", name), std::abort();
  return real;
}
}  // namespace

// `opens`: +1 for an init that succeeds, -1 for an end that frees the stream.
#define ZLIB_PROBE(name, failure, opens, params, args)                                         \
  extern "C" int name params {                                                                 \
    static auto real = reinterpret_cast<decltype(&name)>(realZlib(#name));                     \
    if (int f = failure.exchange(Z_OK); f != Z_OK) return f;                                   \
    int r = real args;                                                                         \
    if ((opens > 0 && r == Z_OK) || (opens < 0 && r != Z_STREAM_ERROR)) gOpenStreams += opens; \
    return r;                                                                                  \
  }
ZLIB_PROBE(deflateInit2_, gNextInit, 1,
           (z_streamp s, int l, int m, int w, int ml, int st, const char* v, int n),
           (s, l, m, w, ml, st, v, n))
ZLIB_PROBE(inflateInit2_, gNextInit, 1, (z_streamp s, int w, const char* v, int n), (s, w, v, n))
ZLIB_PROBE(deflate, gNextCall, 0, (z_streamp s, int f), (s, f))
ZLIB_PROBE(inflate, gNextCall, 0, (z_streamp s, int f), (s, f))
ZLIB_PROBE(deflateEnd, gNextEnd, -1, (z_streamp s), (s))
ZLIB_PROBE(inflateEnd, gNextEnd, -1, (z_streamp s), (s))

namespace {

using corvana_test::bytes;
using corvana_test::crc32Of;
using corvana_test::raised;
using corvana_test::rawDeflate;
using corvana_test::rawInflate;
using Bytes = std::vector<uint8_t>;
using Password = std::optional<Bytes>;
using std::tuple;
using testing::AnyOf;
using testing::Eq;
using testing::StartsWith;

constexpr size_t kBuffer = 256 * 1024;
constexpr uint16_t kStored = 0, kDeflated = 8;
const Password kNone, kPw = bytes("pw");
constexpr CVNZipResult kOK = CVNZipResultSucceeded, kDataError = CVNZipResultDataError,
                       kCheckFailed = CVNZipResultVerificationFailed,
                       kPasswordRequired = CVNZipResultPasswordRequired,
                       kUnsupported = CVNZipResultUnsupportedCompressionMethod;

// Runs of text and of random bytes, so that deflate has both kinds of work.
Bytes mixedData(size_t size, unsigned seed = 1) {
  static const char text[] = "It was the best of times, it was the worst of times.\n";
  std::mt19937 random(seed);
  Bytes data(size);
  for (size_t i = 0; i < size; ++i)
    data[i] = (i / 20000 + seed) % 3 ? uint8_t(text[i % (sizeof text - 1)]) : uint8_t(random());
  return data;
}

// Cancels once it has taken `cancelAfter` progress calls (never when negative).
struct FakeJob : CVNEngineJob {
  explicit FakeJob(int after = -1) : cancelAfter(after) {}
  bool isCancelled() const override { return cancelAfter >= 0 && calls >= cancelAfter; }
  void increaseCurrentValue(uint64_t n) override { ++calls, total += n; }
  int cancelAfter, calls = 0;
  uint64_t total = 0;
};

// Writes fail once `limit` bytes have been written.
struct FailingHandle : RVDataHandle {
  explicit FailingHandle(uint64_t limit) : limit(limit) {}
  uint64_t writeBytesMaxLength(const void* buffer, uint64_t length) override {
    if (offset() + length > limit) RVRaiseDiskFull();
    return RVDataHandle::writeBytesMaxLength(buffer, length);
  }
  uint64_t limit;
};

CVNZipCentralFileHeader headerFor(uint16_t method, bool encrypted, uint64_t compressedSize = 0) {
  CVNZipCentralFileHeader header;
  header.setCompressionMethod(method);
  header.setGeneralPurposeBitFlag(encrypted ? 1 : 0);
  header.setCompressedSize(compressedSize);
  return header;
}

// How a pass runs: "into" replaces the handle it writes to; "encrypted" sets
// flag bit 0 even without a password; "trusted" takes the password as right.
struct Options {
  int level = -1;
  size_t buffer = kBuffer;
  CVNEngineJob* job = nullptr;
  RVIOHandle* into = nullptr;
  bool encrypted = false;
  bool trusted = false;
};

// What a pass made: the header it filled (encoding), its result or what it
// raised, the bytes it wrote and where the handle it read from stands then.
struct Coded {
  CVNZipCentralFileHeader header;
  CVNZipResult result = CVNZipResult(-1);
  std::string raised = "";
  Bytes output = {};
  uint64_t offset = 0;
};

// Runs `codec(header, from, to, inputBuffer, outputBuffer)` from `input` into
// a fresh handle, or into `o.into`.
template <typename Codec>
Coded run(Coded coded, const Bytes& input, const Options& o, Codec codec) {
  RVDataHandle from(input), to;
  Bytes a(o.buffer), b(o.buffer);
  coded.raised =
      raised([&] { coded.result = codec(coded.header, from, o.into ? *o.into : to, a, b); });
  coded.output = to.takeData();
  coded.offset = from.offset();
  return coded;
}

// Encodes `data` (nullptr: an entry without data) into a fresh archive.
Coded encode(const Bytes* data, uint16_t method, const Password& password, Options o = {}) {
  return run({headerFor(method, password || o.encrypted)}, data ? *data : Bytes{}, o,
             [&](auto& header, auto& from, auto& to, auto& in, auto& out) {
               return CVNZipFileData::compressFileDataWithIOHandle(
                   to, o.level, header, password, in, out, data ? &from : nullptr, o.job);
             });
}

// Decodes the entry at the start of `archive` into a fresh file.
Coded decode(const Bytes& archive, const CVNZipCentralFileHeader& header, const Password& password,
             Options o = {}) {
  return run({header}, archive, o, [&](auto& h, auto& from, auto& to, auto& in, auto& out) {
    CVNZipFileData codec;
    codec.setPasswordTrusted(o.trusted);
    return codec.decompressFileDataWithIOHandle(from, h, password, in, out, to, o.job);
  });
}

class ZipFileDataTest : public testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(gOpenStreams.exchange(0), 0) << "a zlib stream was left open";
    gNextInit = gNextCall = Z_OK;
  }
};

// Records follow every entry: the handle must stop right after its data.
TEST_F(ZipFileDataTest, RoundTrips) {
  const Bytes trailer = bytes("PK\x01\x02 the central directory follows here");
  // Small odd buffers: many passes, pieces that straddle everything.
  const std::pair<size_t, size_t> sizesAndBuffers[] = {
      {1300000, kBuffer}, {700000, 1000}, {200000, 4093}, {100, 1}, {1, 7}, {0, 1}, {0, kBuffer},
  };
  for (uint16_t method : {kStored, kDeflated})
    for (bool encrypted : {false, true})
      for (auto [size, bufferSize] : sizesAndBuffers) {
        SCOPED_TRACE(testing::Message()
                     << method << " " << encrypted << " " << size << " " << bufferSize);
        const Bytes data = mixedData(size, unsigned(size));
        const Password password = encrypted ? Password(bytes("Tr0ub4dor&3")) : kNone;
        FakeJob writeJob, readJob;
        Coded entry = encode(&data, method, password, {.buffer = bufferSize, .job = &writeJob});
        const CVNZipCentralFileHeader& h = entry.header;
        // Every source byte is credited once, also when the CRC needs a pass of its own.
        EXPECT_EQ(tuple(entry.raised, entry.result, h.crc32(), h.uncompressedSize(),
                        h.compressedSize(), writeJob.total),
                  tuple("", kOK, crc32Of(data), size, entry.output.size(), size));
        // Large entries are deflated in blocks: another stream of the same data.
        const bool inBlocks =
            method == kDeflated && size >= CVNZipFileData::kParallelDeflateThreshold;
        const Bytes plain = method == kStored ? data : rawDeflate(data);
        const Bytes body(entry.output.begin() + (encrypted ? 12 : 0), entry.output.end());
        EXPECT_TRUE(inBlocks || body.size() == plain.size());
        if (encrypted) {
          EXPECT_TRUE(plain.size() <= 8 || body != plain);
        } else {
          EXPECT_EQ(inBlocks ? rawInflate(body) : body, inBlocks ? data : plain);
        }

        Bytes archive = entry.output;
        archive.insert(archive.end(), trailer.begin(), trailer.end());
        archive.insert(archive.end(), 300000, 0x33);
        Coded decoded = decode(archive, h, password, {.buffer = bufferSize, .job = &readJob});
        EXPECT_EQ(tuple(decoded.raised, decoded.result, decoded.offset, readJob.total),
                  tuple("", kOK, entry.output.size(), size));
        EXPECT_EQ(decoded.output, data);
      }
}

TEST_F(ZipFileDataTest, LevelsMapToZlibLevels) {
  const Bytes data = mixedData(CVNZipFileData::kParallelDeflateThreshold - 1);  // one stream
  ASSERT_NE(rawDeflate(data, 1), rawDeflate(data));
  for (int level : {1, 9, -1, 2, 3, 4, 5, 6, 7, 8, 10, -7})
    EXPECT_EQ(encode(&data, kDeflated, kNone, {.level = level}).output,
              rawDeflate(data, level == 1 || level == 9 ? level : Z_DEFAULT_COMPRESSION))
        << level;
  // Level 0 stores in deflate blocks: a few bytes more than the data.
  EXPECT_EQ(encode(&data, kDeflated, kNone, {.level = 0}).output.size() / 1000, data.size() / 1000);
}

TEST_F(ZipFileDataTest, FoldersWriteNothingButTheEncryptionHeader) {
  for (auto [method, password] : {std::pair{kStored, kNone}, {kDeflated, kNone}, {kStored, kPw}}) {
    Coded entry = encode(nullptr, method, password);
    const CVNZipCentralFileHeader& h = entry.header;
    const size_t size = password ? 12 : 0;
    EXPECT_EQ(tuple(entry.result, entry.output.size(), h.compressedSize(), h.crc32(),
                    h.uncompressedSize()),
              tuple(kOK, size, size, 0u, 0u));
    if (!password) continue;
    Coded decoded = decode(entry.output, h, password);
    EXPECT_EQ(tuple(decoded.result, decoded.output.size(), decoded.offset), tuple(kOK, 0u, 12u));
  }
  EXPECT_EQ(decode({}, headerFor(kStored, false), kNone).result, kOK);
}

TEST_F(ZipFileDataTest, WrongPasswords) {
  const Bytes data = mixedData(70000);
  const Password right = bytes("right"), wrong = bytes("wrong");
  Coded stored = encode(&data, kStored, right);
  // 5 through the failed CRC; the garbage is written all the same, the reader removes it.
  Coded decoded = decode(stored.output, stored.header, wrong);
  EXPECT_EQ(tuple(decoded.result, decoded.output.size()), tuple(kPasswordRequired, data.size()));
  // Deflated, the garbage fails to inflate, or inflates to a whole stream that
  // fails the sizes or the CRC (a few times in a hundred): 5 either way, so
  // that the next password is tried. Each round has a new encryption header.
  for (int i = 0; i < 200; ++i) {
    Coded entry = encode(&data, kDeflated, right);
    EXPECT_EQ(decode(entry.output, entry.header, wrong).result, kPasswordRequired) << i;
  }
  // Trusted, the same failures stand as they are: the stored garbage fails its
  // check and stays; the deflated one is damaged, or fails its check.
  decoded = decode(stored.output, stored.header, wrong, {.trusted = true});
  EXPECT_EQ(tuple(decoded.result, decoded.output.size()), tuple(kCheckFailed, data.size()));
  for (int i = 0; i < 50; ++i) {
    Coded entry = encode(&data, kDeflated, right);
    EXPECT_THAT(decode(entry.output, entry.header, wrong, {.trusted = true}).result,
                AnyOf(Eq(kDataError), Eq(kCheckFailed)))
        << i;
    EXPECT_EQ(decode(entry.output, entry.header, right, {.trusted = true}).result, kOK) << i;
  }
}

TEST_F(ZipFileDataTest, DamagedAndMismatchedEntries) {
  const Bytes data = mixedData(300000, 7);
  // Method, encrypted, bytes cut from the end (0: records follow), changes to the
  // header's sizes and CRC; the result, and the result with the password
  // trusted. Encrypted, a truncated deflate stream and a bad size or CRC read as
  // a wrong password unless the password is trusted.
  const tuple<uint16_t, bool, int64_t, int64_t, int64_t, uint32_t, CVNZipResult, CVNZipResult>
      cases[] = {{kStored, false, 1000, 0, 0, 0, kDataError, kDataError},
                 {kStored, true, 1000, 0, 0, 0, kDataError, kDataError},
                 {kDeflated, false, 1000, 0, 0, 0, kDataError, kDataError},
                 {kDeflated, true, 1000, 0, 0, 0, kPasswordRequired, kDataError},
                 {kDeflated, false, 0, -1, 0, 0, kCheckFailed, kCheckFailed},
                 {kDeflated, false, 0, 1, 0, 0, kCheckFailed, kCheckFailed},
                 {kDeflated, true, 0, 1, 0, 0, kPasswordRequired, kCheckFailed},
                 {kDeflated, true, 0, 0, 0, 1, kPasswordRequired, kCheckFailed},
                 {kDeflated, false, 0, 0, 1, 0, kCheckFailed, kCheckFailed},
                 {kDeflated, false, 0, 0, 0, 1, kCheckFailed, kCheckFailed},
                 {kStored, false, 0, 0, 1, 0, kCheckFailed, kCheckFailed},
                 {kStored, false, 0, 0, 0, 0x100, kCheckFailed, kCheckFailed},
                 {kStored, true, 0, 0, 0, 1, kPasswordRequired, kCheckFailed}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << &c - cases);
    auto& [method, encrypted, cut, compressedDelta, uncompressedDelta, crcXor, expected,
           trustedExpected] = c;
    const Password password = encrypted ? kPw : kNone;
    Coded entry = encode(&data, method, password);
    Bytes archive(entry.output.begin(), entry.output.end() - cut);
    if (cut == 0) archive.insert(archive.end(), 5000, 0x50);
    CVNZipCentralFileHeader header = entry.header;
    header.setCompressedSize(header.compressedSize() + uint64_t(compressedDelta));
    header.setUncompressedSize(header.uncompressedSize() + uint64_t(uncompressedDelta));
    header.setCrc32(header.crc32() ^ crcXor);
    for (size_t bufferSize : {kBuffer, size_t(3000)}) {
      EXPECT_EQ(decode(archive, header, password, {.buffer = bufferSize}).result, expected)
          << bufferSize;
      EXPECT_EQ(decode(archive, header, password, {.buffer = bufferSize, .trusted = true}).result,
                trustedExpected)
          << bufferSize;
    }
  }
  Coded entry = encode(&data, kDeflated, kNone);
  entry.output[0] = 0xFF;  // a final block of the reserved type 3
  EXPECT_EQ(decode(entry.output, entry.header, kNone).result, kDataError);

  // Encrypted, the header claims 5 bytes and the archive holds just those:
  // too short for the encryption header, damaged, read no further.
  for (uint16_t method : {kStored, kDeflated})
    for (const Password& password : {kPw, kNone}) {
      Coded decoded = decode({1, 2, 3, 4, 5}, headerFor(method, true, 5), password);
      EXPECT_EQ(tuple(decoded.result, decoded.offset), tuple(kDataError, 0u));
    }
  // The archive ends inside a header that claims more.
  EXPECT_THAT(decode({1, 2, 3, 4, 5, 6, 7}, headerFor(kStored, true, 100), kPw).raised,
              StartsWith(std::string(RVIOHandleEndOfBytesException)));
}

TEST_F(ZipFileDataTest, UnsupportedMethodAndMissingPassword) {
  const Bytes data = mixedData(5000);
  // The encryption header is written before the method is looked at.
  for (auto [method, password, written] : {tuple{12, kNone, 0u}, {14, kPw, 12u}}) {
    Coded entry = encode(&data, uint16_t(method), password);
    EXPECT_EQ(tuple(entry.result, entry.output.size()), tuple(kUnsupported, written));
  }

  for (uint16_t method : {kStored, kDeflated, uint16_t(12), uint16_t(14), uint16_t(99)}) {
    SCOPED_TRACE(method);
    const bool known = method == kStored || method == kDeflated;
    Coded entry = encode(&data, known ? method : kStored, kPw);
    entry.header.setCompressionMethod(method);
    // Without a password nothing is read, whatever the method.
    Coded without = decode(entry.output, entry.header, kNone);
    EXPECT_EQ(tuple(without.result, without.offset, without.output.size()),
              tuple(kPasswordRequired, 0u, 0u));
    if (known) continue;
    Coded with = decode(entry.output, entry.header, kPw);
    EXPECT_EQ(tuple(with.result, with.offset), tuple(kUnsupported, 12u));
    Coded plain = decode(data, headerFor(method, false, data.size()), kNone);
    EXPECT_EQ(tuple(plain.result, plain.offset), tuple(kUnsupported, 0u));
  }
}

TEST_F(ZipFileDataTest, CancellationRaisesBeforeTheNextBuffer) {
  enum Pass { CRC, Store, Deflate, Restore, Inflate };
  // The progress calls before the job reports cancelled; as many buffers have
  // been read then. Inflate takes progress per output buffer.
  const std::pair<Pass, int> cases[] = {
      {CRC, 0},     {Store, 0},   {Store, 1},   {Deflate, 0}, {Deflate, 1},
      {Restore, 0}, {Restore, 1}, {Restore, 2}, {Inflate, 0}, {Inflate, 1},
  };
  const Bytes data = mixedData(2000000, 5);
  // One stream: the blocks of a large entry are cancelled in their own test.
  const Bytes small(data.begin(), data.begin() + CVNZipFileData::kParallelDeflateThreshold - 1);
  const Coded stored = encode(&data, kStored, kNone), deflated = encode(&data, kDeflated, kNone);
  for (auto [pass, cancelAfter] : cases) {
    SCOPED_TRACE(testing::Message() << pass << " " << cancelAfter);
    FakeJob job(cancelAfter);
    const Coded& entry = pass == Restore ? stored : deflated;
    // The CRC pass comes first for an encrypted stored entry.
    Coded coded = pass <= Deflate ? encode(pass == Deflate ? &small : &data,
                                           pass == Deflate ? kDeflated : kStored,
                                           pass == CRC ? kPw : kNone, {.job = &job})
                                  : decode(entry.output, entry.header, kNone, {.job = &job});
    EXPECT_EQ(tuple(coded.raised, coded.offset),
              tuple(std::string(RVOperationCancelledException) + " Cancelled",
                    uint64_t(cancelAfter) * kBuffer));
  }
}

// The handles' exceptions pass through, zlib's failures become named ones, and
// every stream is ended on the way out.
TEST_F(ZipFileDataTest, FailuresRaiseWithTheStreamEnded) {
  const Bytes data = mixedData(1500000);
  const Coded entry = encode(&data, kDeflated, kNone);
  FailingHandle fullArchive(100000), fullFile(300000);
  // The call to fail, its result, writing or reading, the handle written to.
  const std::string_view kMemory = RVOutOfMemoryException,
                         kInternal = RVInternalInconsistencyException;
  // Written in blocks: the failures reach the pool's threads.
  ASSERT_GE(data.size(), CVNZipFileData::kParallelDeflateThreshold);
  const tuple<std::atomic<int>&, int, bool, RVIOHandle*, std::string_view> cases[] = {
      {gNextInit, Z_MEM_ERROR, true, nullptr, kMemory},
      {gNextInit, Z_MEM_ERROR, false, nullptr, kMemory},
      {gNextInit, Z_STREAM_ERROR, true, nullptr, kInternal},
      {gNextInit, Z_VERSION_ERROR, false, nullptr, kInternal},
      {gNextCall, Z_STREAM_ERROR, true, nullptr, kInternal},
      {gNextCall, Z_STREAM_ERROR, false, nullptr, kInternal},
      {gNextCall, Z_MEM_ERROR, false, nullptr, kMemory},
      {gNextCall, Z_OK, true, &fullArchive, RVDiskFullException},
      {gNextCall, Z_OK, false, &fullFile, RVDiskFullException}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << &c - cases);
    auto& [slot, result, writing, into, name] = c;
    slot = result;
    Coded coded = writing ? encode(&data, kDeflated, kNone, {.into = into})
                          : decode(entry.output, entry.header, kNone, {.into = into});
    EXPECT_THAT(coded.raised, StartsWith(std::string(name)));
    gNextInit = gNextCall = Z_OK;
  }
  // A dictionary request is damaged data like any other.
  gNextCall = Z_NEED_DICT;
  EXPECT_EQ(decode(entry.output, entry.header, kNone).result, kDataError);
  EXPECT_EQ(decode(entry.output, entry.header, kNone).result, kOK);
  // An encrypted entry to write without a password is a programming error.
  Coded coded = encode(&data, kStored, kNone, {.encrypted = true});
  EXPECT_THAT(coded.raised, StartsWith(std::string(RVInternalInconsistencyException)));
  EXPECT_TRUE(coded.output.empty());
}

}  // namespace
