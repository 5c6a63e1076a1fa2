// The local file header: serialised bytes against hand-written layouts (times,
// Zip64, version needed), loads of hand-written headers (the three times from
// extended timestamps and NTFS fields, cut-off and malformed input), loads by path.
#include "engine/CVNZipLocalFileHeader.h"

#include <gtest/gtest.h>

#include <sstream>

#include "engine/io/RVDOSTime.h"
#include "engine/io/RVDataHandle.h"
#include "engine/io/RVException.h"
#include "support/TestSupport.h"
#include "support/ZipRecordTestSupport.h"

namespace {

using corvana_test::Bytes;
using corvana_test::dosDate;
using corvana_test::dosTime;
using corvana_test::haveTimeZone;
using corvana_test::Layout;
using corvana_test::raisedName;
using corvana_test::ScopedTimeZone;
using corvana_test::TempDir;
using corvana_test::textBytes;
using corvana_test::TrickleHandle;

constexpr uint32_t kSignature = 0x04034B50;
const std::string kEnd(RVIOHandleEndOfBytesException);

std::string describe(const CVNZipLocalFileHeader& r) {
  std::ostringstream s;
  s << "needed " << r.versionNeededToExtract() << " flag " << r.generalPurposeBitFlag()
    << " method " << r.compressionMethod() << " crc " << r.crc32() << " sizes "
    << r.compressedSize() << "/" << r.uncompressedSize() << " times " << r.modificationEpoch()
    << "/" << r.accessEpoch() << "/" << r.creationEpoch() << " name"
    << (r.fileName() ? "[" + std::string(r.fileName()->begin(), r.fileName()->end()) + "]" : "-");
  return s.str();
}

// Sets every field through a load of a hand-made header, since the version
// needed has no setter, then overwrites the rest with values no test loads.
CVNZipLocalFileHeader stale() {
  CVNZipLocalFileHeader r;
  Bytes b = Layout()
                .u32(kSignature)
                .u16(0xAAA1)
                .u16(0xAAA2)
                .u16(0xAAA3)
                .u16(0)
                .u16(0)
                .u32(0xAAAAAAA4)
                .u32(0xAAAAAAA5)
                .u32(0xAAAAAAA6)
                .u16(5)
                .u16(0)
                .text("stale");
  RVDataHandle h(b);
  r.loadWithIOHandle(h);
  r.setModificationEpoch(111);
  r.setAccessEpoch(222);
  r.setCreationEpoch(333);
  return r;
}

// The load exactly as its steps read, one field at a time through the handle.
// The version needed has no setter, so the oracle reports it aside.
bool fieldByFieldLoad(CVNZipLocalFileHeader& r, RVIOHandle& h, std::optional<uint16_t>& version) {
  if (h.readInt32LittleToHost() != kSignature) return false;
  version = h.readInt16LittleToHost();
  r.setGeneralPurposeBitFlag(h.readInt16LittleToHost());
  r.setCompressionMethod(h.readInt16LittleToHost());
  uint16_t time = h.readInt16LittleToHost();
  uint16_t date = h.readInt16LittleToHost();
  r.setCrc32(h.readInt32LittleToHost());
  r.setCompressedSize(h.readInt32LittleToHost());
  r.setUncompressedSize(h.readInt32LittleToHost());
  uint16_t nameLength = h.readInt16LittleToHost();
  uint16_t extraLength = h.readInt16LittleToHost();
  r.setFileName(h.readDataOfLength(nameLength));
  Bytes extra = h.readDataOfLength(extraLength);
  r.setModificationEpoch(RVEpochWithDOSTime(time, date));
  r._loadExtraField(extra);
  return true;
}

Bytes fullHeader() {
  return Layout()
      .u32(kSignature)
      .u16(45)
      .u16(0x0009)
      .u16(8)
      .u16(dosTime(12, 0, 0))
      .u16(dosDate(2025, 3, 15))
      .u32(0xCAFEBABE)
      .u32(0xFFFFFFFF)
      .u32(0xFFFFFFFF)
      .u16(5)
      .u16(20 + 17 + 4)
      .text("a/b.c")
      .u16(0x0001)
      .u16(16)
      .u64(0x100000001)
      .u64(0x100000000)
      .u16(0x5455)
      .u16(13)
      .u8(7)
      .u32(1700000000)
      .u32(1700000001)
      .u32(1700000002)
      .u16(0x6375)
      .u16(0);
}

class CVNZipLocalFileHeaderTest : public testing::Test {
 protected:
  ScopedTimeZone zone_{"UTC0"};
};

TEST_F(CVNZipLocalFileHeaderTest, NewRecordDefaults) {
  CVNZipLocalFileHeader r;
  EXPECT_EQ(describe(r), "needed 0 flag 0 method 0 crc 0 sizes 0/0 times -1/-1/-1 name-");
  EXPECT_EQ(CVNZipLocalFileHeader::_signature(), kSignature);
}

TEST_F(CVNZipLocalFileHeaderTest, SerialisesTheLayoutByteForByte) {
  CVNZipLocalFileHeader r;
  r.setGeneralPurposeBitFlag(0x0001);
  r.setCompressionMethod(8);
  r.setCrc32(0x12345678);
  r.setCompressedSize(22);
  r.setUncompressedSize(10);
  r.setFileName(textBytes("a.txt"));
  r.setModificationEpoch(1742040000);  // 2025-03-15 12:00:00 UTC
  r.setAccessEpoch(1742040001);
  Bytes expected = Layout()
                       .u32(kSignature)
                       .u16(20)
                       .u16(0x0001)
                       .u16(8)
                       .u16(0x6000)
                       .u16(0x5A6F)
                       .u32(0x12345678)
                       .u32(22)
                       .u32(10)
                       .u16(5)
                       .u16(13)
                       .text("a.txt")
                       .u16(0x5455)
                       .u16(9)
                       .u8(0x03)
                       .u32(1742040000)
                       .u32(1742040001);
  EXPECT_EQ(r.data(), expected);
  EXPECT_EQ(r.versionNeededToExtract(), 20);
  RVDataHandle h;
  r.saveWithIOHandle(h);
  EXPECT_EQ(h.data(), expected);
}

struct TimesCase {
  int64_t modification, access, creation;
  Bytes block;
};

class CVNZipLocalFileHeaderTimesTest : public testing::TestWithParam<TimesCase> {};

TEST_P(CVNZipLocalFileHeaderTimesTest, ExtendedTimestampCarriesThePresentTimes) {
  const TimesCase& c = GetParam();
  CVNZipLocalFileHeader r;
  r.setFileName(textBytes("f"));
  r.setModificationEpoch(c.modification);
  r.setAccessEpoch(c.access);
  r.setCreationEpoch(c.creation);
  Bytes b = r.data();
  ASSERT_EQ(b.size(), 31 + c.block.size());
  EXPECT_EQ(Bytes(b.begin() + 31, b.end()), c.block);

  CVNZipLocalFileHeader back;
  RVDataHandle h(b);
  ASSERT_TRUE(back.loadWithIOHandle(h));
  EXPECT_EQ(back.accessEpoch(), c.access);
  EXPECT_EQ(back.creationEpoch(), c.creation);
  // Without its own time the modification time comes from the DOS fields of -1.
  if (c.modification != -1) {
    EXPECT_EQ(back.modificationEpoch(), c.modification);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CVNZipLocalFileHeaderTimesTest,
    testing::Values(TimesCase{-1, -1, -1, {}},
                    TimesCase{5, 6, -1, Layout().u16(0x5455).u16(9).u8(0x03).u32(5).u32(6)},
                    TimesCase{-1, -1, 7, Layout().u16(0x5455).u16(5).u8(0x04).u32(7)},
                    TimesCase{-1, 6, 7, Layout().u16(0x5455).u16(9).u8(0x06).u32(6).u32(7)},
                    TimesCase{5, -1, -1, Layout().u16(0x5455).u16(5).u8(0x01).u32(5)},
                    TimesCase{5, 6, 7,
                              Layout().u16(0x5455).u16(13).u8(0x07).u32(5).u32(6).u32(7)}));

struct VersionCase {
  const char* name;
  uint16_t flag, method;
  uint64_t uncompressed, compressed;
  uint16_t expected;
};

class CVNZipLocalFileHeaderVersionTest : public testing::TestWithParam<VersionCase> {};

TEST_P(CVNZipLocalFileHeaderVersionTest, VersionNeededFollowsTheHeader) {
  const VersionCase& c = GetParam();
  CVNZipLocalFileHeader r;
  if (c.name) r.setFileName(textBytes(c.name));
  r.setGeneralPurposeBitFlag(c.flag);
  r.setCompressionMethod(c.method);
  r.setUncompressedSize(c.uncompressed);
  r.setCompressedSize(c.compressed);
  Bytes b = r.data();
  EXPECT_EQ(r.versionNeededToExtract(), c.expected);
  EXPECT_EQ(b[4] | b[5] << 8, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CVNZipLocalFileHeaderVersionTest,
    testing::Values(VersionCase{"dir/", 0, 0, 0, 0, 20}, VersionCase{"file", 0, 0, 0, 0, 10},
                    VersionCase{"file", 0, 8, 0, 0, 20}, VersionCase{"file", 1, 0, 0, 0, 20},
                    VersionCase{"", 0, 0, 0, 0, 10}, VersionCase{nullptr, 0, 0, 0, 0, 10},
                    VersionCase{"file", 0, 0, 0xFFFFFFFE, 0xFFFFFFFE, 10},
                    VersionCase{"file", 0, 0, 0, 0xFFFFFFFF, 45},
                    VersionCase{"dir/", 1, 8, 0xFFFFFFFF, 10, 45}));

TEST_F(CVNZipLocalFileHeaderTest, ZipSixtyFourCarriesBothSizesAndAddsTwentyBytes) {
  CVNZipLocalFileHeader r;
  r.setFileName(textBytes("big"));
  r.setModificationEpoch(5);
  r.setAccessEpoch(6);
  size_t before = r.data().size();
  EXPECT_EQ(before, 30u + 3 + 13);
  r.setUncompressedSize(0xFFFFFFFF);
  r.setCompressedSize(10);
  Bytes b = r.data();
  EXPECT_EQ(b.size(), before + 20);
  EXPECT_EQ(r.versionNeededToExtract(), 45);
  Bytes expected = Layout()
                       .u32(kSignature)
                       .u16(45)
                       .u16(0)
                       .u16(0)
                       .u16(dosTime(0, 0, 5))  // 5 s after 1970 in UTC; the year wraps
                       .u16((118 << 9) | (1 << 5) | 1)
                       .u32(0)
                       .u32(0xFFFFFFFF)
                       .u32(0xFFFFFFFF)
                       .u16(3)
                       .u16(33)
                       .text("big")
                       .u16(0x0001)
                       .u16(16)
                       .u64(0xFFFFFFFF)
                       .u64(10)
                       .u16(0x5455)
                       .u16(9)
                       .u8(3)
                       .u32(5)
                       .u32(6);
  EXPECT_EQ(b, expected);

  CVNZipLocalFileHeader back;
  RVDataHandle h(b);
  ASSERT_TRUE(back.loadWithIOHandle(h));
  EXPECT_EQ(back.uncompressedSize(), 0xFFFFFFFFu);
  EXPECT_EQ(back.compressedSize(), 10u);
}

TEST_F(CVNZipLocalFileHeaderTest, OverlongNameIsRefusedBeforeAnyByte) {
  CVNZipLocalFileHeader r;
  r.setFileName(Bytes(65535, 'x'));
  EXPECT_EQ(r.data().size(), 30u + 65535);
  r.setFileName(Bytes(65536, 'x'));
  RVDataHandle h;
  EXPECT_EQ(raisedName([&] { r.data(); }), RVInvalidArgumentException);
  EXPECT_EQ(raisedName([&] { r.saveWithIOHandle(h); }), RVInvalidArgumentException);
  EXPECT_TRUE(h.data().empty());
}

TEST_F(CVNZipLocalFileHeaderTest, LoadsEveryFieldAndStopsAtTheData) {
  Bytes b = fullHeader();
  b.push_back(0x99);  // the first byte of the entry's data
  CVNZipLocalFileHeader r = stale();
  RVDataHandle h(b);
  ASSERT_TRUE(r.loadWithIOHandle(h));
  EXPECT_EQ(h.offset(), b.size() - 1);
  EXPECT_EQ(describe(r),
            "needed 45 flag 9 method 8 crc 3405691582 sizes 4294967296/4294967297 "
            "times 1700000000/1700000001/1700000002 name[a/b.c]");
}

TEST_F(CVNZipLocalFileHeaderTest, DOSTimeOfAHeaderIsLocalTimeAndLeavesTheOtherTimes) {
  if (!haveTimeZone("Asia/Tokyo")) GTEST_SKIP() << "no rules for Asia/Tokyo";
  ScopedTimeZone tokyo("Asia/Tokyo");
  Bytes b = fullHeader();
  b[28] = b[29] = 0;
  b.resize(35);
  CVNZipLocalFileHeader r = stale();
  RVDataHandle h(b);
  ASSERT_TRUE(r.loadWithIOHandle(h));
  EXPECT_EQ(r.modificationEpoch(), 1742007600);
  EXPECT_EQ(r.accessEpoch(), 222);
  EXPECT_EQ(r.creationEpoch(), 333);
}

TEST_F(CVNZipLocalFileHeaderTest, WrongSignatureChangesNothingAndMovesFourBytes) {
  Bytes b = fullHeader();
  b[2] = 0x01;  // a central header's signature
  for (uint64_t step : {uint64_t(1), uint64_t(2), uint64_t(1000)}) {
    for (size_t length : {size_t(4), size_t(9), b.size()}) {
      TrickleHandle h(std::span<const uint8_t>(b).first(length), step);
      CVNZipLocalFileHeader r = stale();
      EXPECT_FALSE(r.loadWithIOHandle(h));
      EXPECT_EQ(h.offset(), 4u);
      EXPECT_EQ(describe(r), describe(stale()));
    }
  }
}

TEST_F(CVNZipLocalFileHeaderTest, CutOffHeadersBehaveAsTheFieldByFieldLoad) {
  Bytes full = fullHeader();
  for (size_t length = 0; length <= full.size(); ++length) {
    for (uint64_t step : {uint64_t(1), uint64_t(5), uint64_t(1000)}) {
      std::span<const uint8_t> cut = std::span<const uint8_t>(full).first(length);
      CVNZipLocalFileHeader expected = stale(), actual = stale();
      std::optional<uint16_t> version;
      TrickleHandle he(cut, step), ha(cut, step);
      std::string expectedOutcome, actualOutcome;
      expectedOutcome = raisedName(
          [&] { expectedOutcome = fieldByFieldLoad(expected, he, version) ? "true" : "false"; });
      actualOutcome =
          raisedName([&] { actualOutcome = actual.loadWithIOHandle(ha) ? "true" : "false"; });
      ASSERT_EQ(actualOutcome, expectedOutcome) << length << "/" << step;
      ASSERT_EQ(actual.versionNeededToExtract(),
                version.value_or(stale().versionNeededToExtract()));
      auto fields = [](const CVNZipLocalFileHeader& r) {
        std::string d = describe(r);
        return d.substr(d.find(" flag"));
      };
      ASSERT_EQ(fields(actual), fields(expected)) << length << "/" << step;
      ASSERT_EQ(ha.offset(), he.offset()) << length << "/" << step;
      if (length < full.size()) {
        ASSERT_EQ(actualOutcome, kEnd);
      }
    }
  }
}

// --- The extra block ---

struct ExtraCase {
  const char* what;
  Bytes block;
  std::string raised;
  int64_t modification, access, creation;  // from 1000, 2000, 3000
  uint64_t uncompressed, compressed;       // from 0xFFFFFFFF each
};

class CVNZipLocalFileHeaderExtraTest : public testing::TestWithParam<ExtraCase> {};

TEST_P(CVNZipLocalFileHeaderExtraTest, AppliesFieldsInBlockOrder) {
  const ExtraCase& c = GetParam();
  CVNZipLocalFileHeader r;
  r.setModificationEpoch(1000);
  r.setAccessEpoch(2000);
  r.setCreationEpoch(3000);
  r.setUncompressedSize(0xFFFFFFFF);
  r.setCompressedSize(0xFFFFFFFF);
  EXPECT_EQ(raisedName([&] { r._loadExtraField(c.block); }), c.raised) << c.what;
  EXPECT_EQ(r.modificationEpoch(), c.modification) << c.what;
  EXPECT_EQ(r.accessEpoch(), c.access) << c.what;
  EXPECT_EQ(r.creationEpoch(), c.creation) << c.what;
  EXPECT_EQ(r.uncompressedSize(), c.uncompressed) << c.what;
  EXPECT_EQ(r.compressedSize(), c.compressed) << c.what;
}

// Seconds since 1970 as NTFS ticks.
constexpr uint64_t ticks(uint64_t seconds) { return (seconds + 11644473600ull) * 10000000ull; }
constexpr uint64_t E32 = 0xFFFFFFFF;

Layout ntfs(std::initializer_list<uint64_t> times) {
  Layout l;
  l.u16(0x000A).u16(4 + 4 + 8 * times.size()).u32(0).u16(1).u16(8 * times.size());
  for (uint64_t t : times) l.u64(t);
  return l;
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, CVNZipLocalFileHeaderExtraTest,
    testing::Values(
        ExtraCase{"NTFS with three times", ntfs({ticks(10), ticks(20), ticks(30)}), "", 10, 20, 30,
                  E32, E32},
        ExtraCase{"NTFS with 8 bytes: modification only", ntfs({ticks(10)}), "", 10, 2000, 3000,
                  E32, E32},
        ExtraCase{"NTFS with 16 bytes", ntfs({ticks(10), ticks(20)}), "", 10, 20, 3000, E32, E32},
        ExtraCase{"NTFS with a fourth time ignored",
                  ntfs({ticks(10), ticks(20), ticks(30), ticks(40)}), "", 10, 20, 30, E32, E32},
        ExtraCase{"timestamp of flags 6 with 8 bytes",
                  Layout().u16(0x5455).u16(9).u8(6).u32(20).u32(30), "", 1000, 20, 30, E32, E32},
        ExtraCase{"timestamp then NTFS: NTFS wins",
                  Layout().u16(0x5455).u16(13).u8(7).u32(1).u32(2).u32(3).raw(
                      ntfs({ticks(10), ticks(20), ticks(30)}).bytes()),
                  "", 10, 20, 30, E32, E32},
        ExtraCase{"NTFS then timestamp: timestamp wins where present",
                  Layout()
                      .raw(ntfs({ticks(10), ticks(20), ticks(30)}).bytes())
                      .u16(0x5455)
                      .u16(5)
                      .u8(2)
                      .u32(2),
                  "", 10, 2, 30, E32, E32},
        ExtraCase{"timestamp flags without times beyond the flags byte",
                  Layout().u16(0x5455).u16(1).u8(0), "", 1000, 2000, 3000, E32, E32},
        ExtraCase{"Zip64: uncompressed then compressed", Layout().u16(1).u16(16).u64(11).u64(22),
                  "", 1000, 2000, 3000, 11, 22},
        ExtraCase{"unknown fields skipped",
                  Layout().u16(0x7875).u16(1).u8(1).u16(0x5455).u16(5).u8(4).u32(7), "", 1000, 2000,
                  7, E32, E32},
        // Malformed blocks: what came before stays applied.
        ExtraCase{"timestamp short of the access time",
                  Layout().u16(0x5455).u16(7).u8(3).u32(1).u16(0), kEnd, 1, 2000, 3000, E32, E32},
        ExtraCase{"timestamp without flags", Layout().u16(0x5455).u16(0), kEnd, 1000, 2000, 3000,
                  E32, E32},
        ExtraCase{"NTFS time cut off after the first",
                  Layout().u16(0x000A).u16(20).u32(0).u16(1).u16(12).u64(ticks(10)).u32(0), kEnd,
                  10, 2000, 3000, E32, E32},
        ExtraCase{"NTFS time of one byte", Layout().u16(0x000A).u16(9).u32(0).u16(1).u16(1).u8(0),
                  kEnd, 1000, 2000, 3000, E32, E32},
        ExtraCase{"NTFS shorter than its reserved bytes", Layout().u16(0x000A).u16(2).u16(0), kEnd,
                  1000, 2000, 3000, E32, E32},
        ExtraCase{"NTFS attribute header cut off", Layout().u16(0x000A).u16(6).u32(0).u16(1), kEnd,
                  1000, 2000, 3000, E32, E32},
        ExtraCase{"Zip64 short of the compressed size", Layout().u16(1).u16(12).u64(11).u32(22),
                  kEnd, 1000, 2000, 3000, 11, E32},
        ExtraCase{"declared length past the block", Layout().u16(0x5455).u16(200).u8(1).u32(1),
                  kEnd, 1000, 2000, 3000, E32, E32},
        ExtraCase{"lone byte after a good field", Layout().u16(0x5455).u16(5).u8(1).u32(9).u8(0),
                  kEnd, 9, 2000, 3000, E32, E32}));

TEST_F(CVNZipLocalFileHeaderTest, ZipSixtyFourFieldChangesNothingUnescaped) {
  CVNZipLocalFileHeader r;
  r.setUncompressedSize(5);
  r.setCompressedSize(0xFFFFFFFF);
  // Only the compressed size is escaped: it takes the first 8 bytes.
  r._loadExtraField(Layout().u16(1).u16(16).u64(11).u64(22));
  EXPECT_EQ(r.uncompressedSize(), 5u);
  EXPECT_EQ(r.compressedSize(), 11u);
  r.setCompressedSize(6);
  r._loadExtraField(Layout().u16(1).u16(16).u64(11).u64(22));
  EXPECT_EQ(r.compressedSize(), 6u);
}

// --- Times ---

TEST_F(CVNZipLocalFileHeaderTest, DatesAndEpochs) {
  CVNZipLocalFileHeader r;
  EXPECT_FALSE(r.modificationDate());
  EXPECT_FALSE(r.accessDate());
  EXPECT_FALSE(r.creationDate());
  r.setCreationDate(RVDateWithTimeIntervalSince1970(1.9));
  EXPECT_EQ(r.creationEpoch(), 1);
  r.setAccessDate(RVDateWithTimeIntervalSince1970(-100.5));
  EXPECT_EQ(r.accessEpoch(), -100);
  r.setModificationDate(RVDateWithTimeIntervalSince1970(1742040000.999));
  EXPECT_EQ(r.modificationEpoch(), 1742040000);
  EXPECT_EQ(RVTimeIntervalSince1970(*r.accessDate()), -100.0);
  r.setCreationDate(std::nullopt);
  EXPECT_EQ(r.creationEpoch(), -1);
  EXPECT_FALSE(r.creationDate());
}

TEST_F(CVNZipLocalFileHeaderTest, TimesBefore1970AndAfter2106KeepTheirLow32Bits) {
  CVNZipLocalFileHeader r;
  r.setModificationEpoch(-86400);      // 1969-12-31
  r.setAccessEpoch(4294967296 + 100);  // 2106-02-07 06:29:56
  r.setCreationEpoch(4294967295);      // 2106-02-07 06:28:15, the last that survives
  CVNZipLocalFileHeader back;
  Bytes b = r.data();
  RVDataHandle h(b);
  ASSERT_TRUE(back.loadWithIOHandle(h));
  EXPECT_EQ(back.modificationEpoch(), 4294967296 - 86400);
  EXPECT_EQ(back.accessEpoch(), 100);
  EXPECT_EQ(back.creationEpoch(), 4294967295);
}

// --- Loads by path ---

TEST_F(CVNZipLocalFileHeaderTest, LoadsByPathFromAPartAtAnOffset) {
  TempDir dir;
  std::string path = dir / "x.zip";
  Bytes part0(100, 0), last(3, 0);
  Bytes header = fullHeader();
  last.insert(last.end(), header.begin(), header.end());
  corvana_test::writeFile(dir / "x.z01", part0);
  corvana_test::writeFile(path, last);
  CVNZipLocalFileHeader r;
  ASSERT_TRUE(r.loadWithFileAtPath(path, 1, 1, 3));
  EXPECT_EQ(r.creationEpoch(), 1700000002);
  EXPECT_FALSE(r.loadWithFileAtPath(path, 0, 1, 50));
  EXPECT_EQ(raisedName([&] { r.loadWithFileAtPath(path, 0, 0x100000000, 0); }),
            RVInternalInconsistencyException);
  EXPECT_EQ(raisedName([&] { r.loadWithFileAtPath(dir / "y.zip", 1, 1, 0); }),
            RVFileSystemException);
  EXPECT_EQ(raisedName([&] { r.loadWithFileAtPath(path, 1, 1, 1000); }), kEnd);
}

}  // namespace
