// The central file header: saved bytes against hand-written layouts, loads of
// hand-written records (extra-field precedence, cut-off and malformed input),
// loads by path across parts, and the decoded name.
#include "engine/CVNZipCentralFileHeader.h"

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

constexpr uint32_t kSignature = 0x02014B50;

Bytes saved(CVNZipCentralFileHeader& record) {
  RVDataHandle handle;
  record.saveWithIOHandle(handle);
  return handle.data();
}

std::string describe(const CVNZipCentralFileHeader& r) {
  std::ostringstream s;
  s << "made " << r.versionMadeBy() << " needed " << r.versionNeededToExtract() << " flag "
    << r.generalPurposeBitFlag() << " method " << r.compressionMethod() << " crc " << r.crc32()
    << " sizes " << r.compressedSize() << "/" << r.uncompressedSize() << " disk "
    << r.diskNumberStart() << " attrs " << r.internalFileAttributes() << "/"
    << r.externalFileAttributes() << " offset " << r.relativeOffsetOfLocalHeader() << " epoch "
    << r.modificationEpoch();
  auto bytes = [&](const char* what, const std::optional<Bytes>& b) {
    s << " " << what << (b ? "[" + std::string(b->begin(), b->end()) + "]" : "-");
  };
  bytes("name", r.fileName());
  bytes("comment", r.fileComment());
  return s.str();
}

// A record whose every field differs from anything the tests load, to see
// which fields a failed load has set.
CVNZipCentralFileHeader stale() {
  CVNZipCentralFileHeader r;
  r.setVersionMadeBy(0xAAA1);
  r.setVersionNeededToExtract(0xAAA2);
  r.setGeneralPurposeBitFlag(0xAAA3);
  r.setCompressionMethod(0xAAA4);
  r.setCrc32(0xAAAAAAA5);
  r.setCompressedSize(0xAAAAAAAAA6);
  r.setUncompressedSize(0xAAAAAAAAA7);
  r.setDiskNumberStart(0xAAAAAAA8);
  r.setInternalFileAttributes(0xAAA9);
  r.setExternalFileAttributes(0xAAAAAAAA);
  r.setRelativeOffsetOfLocalHeader(0xAAAAAAAAAB);
  r.setFileName(textBytes("stale"));
  r.setFileComment(textBytes("stale"));
  r.setModificationEpoch(123456);
  return r;
}

// The load exactly as its steps read, one field at a time through the handle:
// the oracle for the load that reads whole blocks.
bool fieldByFieldLoad(CVNZipCentralFileHeader& r, RVIOHandle& h) {
  if (h.readInt32LittleToHost() != kSignature) return false;
  r.setVersionMadeBy(h.readInt16LittleToHost());
  r.setVersionNeededToExtract(h.readInt16LittleToHost());
  r.setGeneralPurposeBitFlag(h.readInt16LittleToHost());
  r.setCompressionMethod(h.readInt16LittleToHost());
  uint16_t time = h.readInt16LittleToHost();
  uint16_t date = h.readInt16LittleToHost();
  r.setCrc32(h.readInt32LittleToHost());
  r.setCompressedSize(h.readInt32LittleToHost());
  r.setUncompressedSize(h.readInt32LittleToHost());
  uint16_t nameLength = h.readInt16LittleToHost();
  uint16_t extraLength = h.readInt16LittleToHost();
  uint16_t commentLength = h.readInt16LittleToHost();
  r.setDiskNumberStart(h.readInt16LittleToHost());
  r.setInternalFileAttributes(h.readInt16LittleToHost());
  r.setExternalFileAttributes(h.readInt32LittleToHost());
  r.setRelativeOffsetOfLocalHeader(h.readInt32LittleToHost());
  r.setFileName(h.readDataOfLength(nameLength));
  Bytes extra = h.readDataOfLength(extraLength);
  r.setFileComment(h.readDataOfLength(commentLength));
  r.setModificationEpoch(RVEpochWithDOSTime(time, date));
  r._loadExtraField(extra);
  return true;
}

// A record with every part present: name, an extra block that needs all its
// fields (Zip64 for escaped sizes, extended timestamp, an unknown field) and a comment.
Bytes fullRecord() {
  return Layout()
      .u32(kSignature)
      .u16(0x031E)
      .u16(45)
      .u16(0x0801)
      .u16(8)
      .u16(dosTime(12, 0, 0))
      .u16(dosDate(2025, 3, 15))
      .u32(0xCAFEBABE)
      .u32(0xFFFFFFFF)
      .u32(0xFFFFFFFF)
      .u16(5)
      .u16(4 + 16 + 9 + 6)
      .u16(3)
      .u16(7)
      .u16(1)
      .u32(0x81A40000)
      .u32(0x1234)
      .text("a/b.c")
      .u16(0x0001)
      .u16(16)
      .u64(0x100000000)
      .u64(0x100000001)
      .u16(0x5455)
      .u16(5)
      .u8(1)
      .u32(1700000000)
      .u16(0x7875)
      .u16(2)
      .u16(0xFFFF)
      .text("cmt");
}

class CVNZipCentralFileHeaderTest : public testing::Test {
 protected:
  ScopedTimeZone zone_{"UTC0"};
};

TEST_F(CVNZipCentralFileHeaderTest, NewRecordDefaults) {
  CVNZipCentralFileHeader r;
  EXPECT_EQ(describe(r),
            "made 0 needed 0 flag 0 method 0 crc 0 sizes 0/0 disk 0 attrs 0/0 offset 0 epoch -1 "
            "name- comment-");
  EXPECT_EQ(CVNZipCentralFileHeader::_signature(), kSignature);
}

TEST_F(CVNZipCentralFileHeaderTest, SavesTheLayoutByteForByte) {
  CVNZipCentralFileHeader r;
  r.setVersionMadeBy(0x0014);
  r.setVersionNeededToExtract(99);  // replaced by the save
  r.setCompressionMethod(8);
  r.setCrc32(0x12345678);
  r.setCompressedSize(10);
  r.setUncompressedSize(20);
  r.setInternalFileAttributes(1);
  r.setExternalFileAttributes(0x20);
  r.setRelativeOffsetOfLocalHeader(0x100);
  r.setFileName(textBytes("a.txt"));
  r.setFileComment(textBytes("hi"));
  r.setModificationEpoch(1742040000);  // 2025-03-15 12:00:00 UTC
  Bytes expected = Layout()
                       .u32(kSignature)
                       .u16(0x0014)
                       .u16(20)
                       .u16(0)
                       .u16(8)
                       .u16(0x6000)
                       .u16(0x5A6F)
                       .u32(0x12345678)
                       .u32(10)
                       .u32(20)
                       .u16(5)
                       .u16(9)
                       .u16(2)
                       .u16(0)
                       .u16(1)
                       .u32(0x20)
                       .u32(0x100)
                       .text("a.txt")
                       .u16(0x5455)
                       .u16(5)
                       .u8(0x01)
                       .u32(1742040000)
                       .text("hi");
  EXPECT_EQ(saved(r), expected);
  EXPECT_EQ(r.versionNeededToExtract(), 20);
}

TEST_F(CVNZipCentralFileHeaderTest, NoTimeGivesAnEmptyBlockAndTheDOSFormOfMinusOne) {
  CVNZipCentralFileHeader r;
  Bytes b = saved(r);
  ASSERT_EQ(b.size(), 46u);
  EXPECT_EQ(b[30] | b[31] << 8, 0);  // extra length
  // One second before 1970 in UTC: 1969-12-31 23:59:58, year field (1969 - 1980) mod 128.
  EXPECT_EQ(b[12] | b[13] << 8, dosTime(23, 59, 59));
  EXPECT_EQ(b[14] | b[15] << 8, (117 << 9) | (12 << 5) | 31);
}

struct VersionCase {
  const char* name;
  uint16_t flag;
  uint16_t method;
  uint64_t uncompressed;
  uint32_t disk;
  uint16_t expected;
};

class CVNZipCentralFileHeaderVersionTest : public testing::TestWithParam<VersionCase> {};

TEST_P(CVNZipCentralFileHeaderVersionTest, VersionNeededFollowsTheRecord) {
  const VersionCase& c = GetParam();
  CVNZipCentralFileHeader r;
  if (c.name) r.setFileName(textBytes(c.name));
  r.setGeneralPurposeBitFlag(c.flag);
  r.setCompressionMethod(c.method);
  r.setUncompressedSize(c.uncompressed);
  r.setDiskNumberStart(c.disk);
  Bytes b = saved(r);
  EXPECT_EQ(r.versionNeededToExtract(), c.expected);
  EXPECT_EQ(b[6] | b[7] << 8, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CVNZipCentralFileHeaderVersionTest,
    testing::Values(VersionCase{"dir/", 0, 0, 0, 0, 20}, VersionCase{"file", 0, 0, 0, 0, 10},
                    VersionCase{"file", 0, 8, 0, 0, 20}, VersionCase{"file", 1, 0, 0, 0, 20},
                    VersionCase{"", 0, 0, 0, 0, 10}, VersionCase{nullptr, 0, 0, 0, 0, 10},
                    VersionCase{"/x", 0, 0, 0, 0, 10}, VersionCase{"file", 0x0800, 0, 0, 0, 10},
                    VersionCase{"dir/", 1, 8, 0xFFFFFFFE, 0xFFFE, 20},
                    VersionCase{"file", 0, 0, 0xFFFFFFFF, 0, 45},
                    VersionCase{"dir/", 1, 8, 0, 0xFFFF, 45}));

struct Zip64Case {
  const char* what;
  uint64_t uncompressed, compressed, offset;
  uint32_t disk;
  // The fixed fields as written: compressed, uncompressed, disk, offset.
  uint32_t fixedCompressed, fixedUncompressed, fixedDisk, fixedOffset;
  Bytes block;  // the whole extra block (the time is none)
};

class CVNZipCentralFileHeaderZip64Test : public testing::TestWithParam<Zip64Case> {};

TEST_P(CVNZipCentralFileHeaderZip64Test, OnlyEscapedValuesInTheirOrder) {
  const Zip64Case& c = GetParam();
  CVNZipCentralFileHeader r;
  r.setFileName(textBytes("n"));
  r.setUncompressedSize(c.uncompressed);
  r.setCompressedSize(c.compressed);
  r.setRelativeOffsetOfLocalHeader(c.offset);
  r.setDiskNumberStart(c.disk);
  Bytes b = saved(r);
  ASSERT_EQ(b.size(), 47 + c.block.size()) << c.what;
  auto u32 = [&](size_t at) {
    return uint32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16) | uint32_t(b[at + 3]) << 24;
  };
  EXPECT_EQ(u32(20), c.fixedCompressed) << c.what;
  EXPECT_EQ(u32(24), c.fixedUncompressed) << c.what;
  EXPECT_EQ(b[34] | b[35] << 8, c.fixedDisk) << c.what;
  EXPECT_EQ(u32(42), c.fixedOffset) << c.what;
  EXPECT_EQ(size_t(b[30] | b[31] << 8), c.block.size()) << c.what;
  EXPECT_EQ(Bytes(b.begin() + 47, b.end()), c.block) << c.what;
  EXPECT_EQ(r.versionNeededToExtract(), c.block.empty() ? 10 : 45) << c.what;

  CVNZipCentralFileHeader back;
  RVDataHandle h(b);
  ASSERT_TRUE(back.loadWithIOHandle(h));
  EXPECT_EQ(back.uncompressedSize(), c.uncompressed) << c.what;
  EXPECT_EQ(back.compressedSize(), c.compressed) << c.what;
  EXPECT_EQ(back.relativeOffsetOfLocalHeader(), c.offset) << c.what;
  EXPECT_EQ(back.diskNumberStart(), c.disk) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CVNZipCentralFileHeaderZip64Test,
    testing::Values(Zip64Case{"largest direct values",
                              0xFFFFFFFE,
                              0xFFFFFFFE,
                              0xFFFFFFFE,
                              0xFFFE,
                              0xFFFFFFFE,
                              0xFFFFFFFE,
                              0xFFFE,
                              0xFFFFFFFE,
                              {}},
                    Zip64Case{"uncompressed escaped", 0xFFFFFFFF, 10, 0, 0, 10, 0xFFFFFFFF, 0, 0,
                              Layout().u16(1).u16(8).u64(0xFFFFFFFF)},
                    Zip64Case{"offset alone", 1, 2, 0x123456789, 3, 2, 1, 3, 0xFFFFFFFF,
                              Layout().u16(1).u16(8).u64(0x123456789)},
                    Zip64Case{"disk alone", 1, 2, 3, 0xFFFF, 2, 1, 0xFFFF, 3,
                              Layout().u16(1).u16(4).u32(0xFFFF)},
                    Zip64Case{"compressed and disk", 1, 0x100000000, 3, 0x10000, 0xFFFFFFFF, 1,
                              0xFFFF, 3, Layout().u16(1).u16(12).u64(0x100000000).u32(0x10000)},
                    Zip64Case{"all four", 0x200000000, 0x100000000, 0x300000000, 0xFFFFFFFF,
                              0xFFFFFFFF, 0xFFFFFFFF, 0xFFFF, 0xFFFFFFFF,
                              Layout()
                                  .u16(1)
                                  .u16(28)
                                  .u64(0x200000000)
                                  .u64(0x100000000)
                                  .u64(0x300000000)
                                  .u32(0xFFFFFFFF)}));

TEST_F(CVNZipCentralFileHeaderTest, ZipSixtyFourComesBeforeTheTimestamp) {
  CVNZipCentralFileHeader r;
  r.setUncompressedSize(0x100000000);
  r.setModificationEpoch(7);
  Bytes b = saved(r);
  Bytes block(b.begin() + 46, b.end());
  EXPECT_EQ(block, Layout().u16(1).u16(8).u64(0x100000000).u16(0x5455).u16(5).u8(1).u32(7).bytes());
}

TEST_F(CVNZipCentralFileHeaderTest, OverlongNameOrCommentIsRefusedBeforeAnyByte) {
  for (int which = 0; which < 2; ++which) {
    CVNZipCentralFileHeader r;
    Bytes longest(65535, 'x'), tooLong(65536, 'x');
    r.setFileName(longest);
    r.setFileComment(longest);
    EXPECT_EQ(saved(r).size(), 46u + 2 * 65535);
    if (which == 0)
      r.setFileName(tooLong);
    else
      r.setFileComment(tooLong);
    r.setVersionNeededToExtract(77);
    RVDataHandle h;
    EXPECT_EQ(raisedName([&] { r.saveWithIOHandle(h); }), RVInvalidArgumentException);
    EXPECT_TRUE(h.data().empty());
    EXPECT_EQ(r.versionNeededToExtract(), 77);
  }
}

TEST_F(CVNZipCentralFileHeaderTest, LoadsEveryField) {
  CVNZipCentralFileHeader r = stale();
  Bytes b = fullRecord();
  RVDataHandle h(b);
  ASSERT_TRUE(r.loadWithIOHandle(h));
  EXPECT_EQ(h.offset(), b.size());
  EXPECT_EQ(describe(r),
            "made 798 needed 45 flag 2049 method 8 crc 3405691582 sizes 4294967297/4294967296 "
            "disk 7 attrs 1/2175008768 offset 4660 epoch 1700000000 name[a/b.c] comment[cmt]");
}

TEST_F(CVNZipCentralFileHeaderTest, SavingALoadedRecordKeepsOnlyItsOwnFields) {
  CVNZipCentralFileHeader r;
  Bytes b = fullRecord();
  RVDataHandle h(b);
  ASSERT_TRUE(r.loadWithIOHandle(h));
  Bytes again = saved(r);
  // The unknown 0x7875 field is gone; Zip64 and the timestamp are rebuilt.
  EXPECT_EQ(again.size(), b.size() - 6);
  CVNZipCentralFileHeader back;
  RVDataHandle h2(again);
  ASSERT_TRUE(back.loadWithIOHandle(h2));
  EXPECT_EQ(describe(back), describe(r));
}

TEST_F(CVNZipCentralFileHeaderTest, DOSTimeOfARecordIsLocalTime) {
  if (!haveTimeZone("Asia/Tokyo")) GTEST_SKIP() << "no rules for Asia/Tokyo";
  ScopedTimeZone tokyo("Asia/Tokyo");
  Bytes b = fullRecord();
  b[30] = b[31] = 0;  // no extra block: the DOS fields alone
  b.erase(b.begin() + 51, b.begin() + 51 + 35);
  CVNZipCentralFileHeader r;
  RVDataHandle h(b);
  ASSERT_TRUE(r.loadWithIOHandle(h));
  EXPECT_EQ(r.modificationEpoch(), 1742007600);  // 2025-03-15 12:00:00 in Tokyo
  EXPECT_EQ(r.compressedSize(), 0xFFFFFFFFu);    // no Zip64 field to replace it
  EXPECT_EQ(*r.fileComment(), textBytes("cmt"));
}

TEST_F(CVNZipCentralFileHeaderTest, WrongSignatureChangesNothingAndMovesFourBytes) {
  Bytes b = fullRecord();
  b[3] = 0x06;  // an end record's signature
  for (uint64_t step : {uint64_t(1), uint64_t(3), uint64_t(1000)}) {
    for (size_t length : {size_t(4), size_t(5), size_t(22), b.size()}) {
      TrickleHandle h(std::span<const uint8_t>(b).first(length), step);
      CVNZipCentralFileHeader r = stale();
      EXPECT_FALSE(r.loadWithIOHandle(h));
      EXPECT_EQ(h.offset(), 4u) << "step " << step << " length " << length;
      EXPECT_EQ(describe(r), describe(stale()));
    }
  }
}

// Every way of cutting the record short, through handles that deliver the bytes
// in different steps, gives the same fields, position and exception as the
// field-by-field load.
TEST_F(CVNZipCentralFileHeaderTest, CutOffRecordsBehaveAsTheFieldByFieldLoad) {
  Bytes full = fullRecord();
  for (size_t length = 0; length <= full.size(); ++length) {
    for (uint64_t step : {uint64_t(1), uint64_t(3), uint64_t(17), uint64_t(1000)}) {
      std::span<const uint8_t> cut = std::span<const uint8_t>(full).first(length);
      CVNZipCentralFileHeader expected = stale(), actual = stale();
      TrickleHandle he(cut, step), ha(cut, step);
      std::string expectedOutcome, actualOutcome;
      expectedOutcome =
          raisedName([&] { expectedOutcome = fieldByFieldLoad(expected, he) ? "true" : "false"; });
      actualOutcome =
          raisedName([&] { actualOutcome = actual.loadWithIOHandle(ha) ? "true" : "false"; });
      ASSERT_EQ(actualOutcome, expectedOutcome) << length << "/" << step;
      ASSERT_EQ(describe(actual), describe(expected)) << length << "/" << step;
      ASSERT_EQ(ha.offset(), he.offset()) << length << "/" << step;
      if (length < full.size()) {
        ASSERT_EQ(actualOutcome, RVIOHandleEndOfBytesException);
      }
    }
  }
}

TEST_F(CVNZipCentralFileHeaderTest, MaximalLengthsOverAShortStream) {
  Bytes b = fullRecord();
  b.resize(46);
  b[28] = b[29] = b[30] = b[31] = b[32] = b[33] = 0xFF;
  b.resize(46 + 65535 + 10);
  CVNZipCentralFileHeader r = stale();
  RVDataHandle h(b);
  EXPECT_EQ(raisedName([&] { r.loadWithIOHandle(h); }), RVIOHandleEndOfBytesException);
  EXPECT_EQ(r.fileName()->size(), 65535u);  // the name arrived in full, the rest did not
  EXPECT_EQ(*r.fileComment(), textBytes("stale"));
  EXPECT_EQ(r.modificationEpoch(), 123456);
  EXPECT_EQ(h.offset(), b.size());
}

// --- The extra block ---

struct ExtraCase {
  const char* what;
  Bytes block;
  std::string raised;  // "" when the block applies cleanly
  int64_t epoch;       // from a start of 1000
  uint64_t uncompressed, compressed, offset;
  uint32_t disk;  // from a start of 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFF
};

class CVNZipCentralFileHeaderExtraTest : public testing::TestWithParam<ExtraCase> {};

TEST_P(CVNZipCentralFileHeaderExtraTest, AppliesFieldsInBlockOrder) {
  const ExtraCase& c = GetParam();
  CVNZipCentralFileHeader r;
  r.setModificationEpoch(1000);
  r.setUncompressedSize(0xFFFFFFFF);
  r.setCompressedSize(0xFFFFFFFF);
  r.setRelativeOffsetOfLocalHeader(0xFFFFFFFF);
  r.setDiskNumberStart(0xFFFF);
  EXPECT_EQ(raisedName([&] { r._loadExtraField(c.block); }), c.raised) << c.what;
  EXPECT_EQ(r.modificationEpoch(), c.epoch) << c.what;
  EXPECT_EQ(r.uncompressedSize(), c.uncompressed) << c.what;
  EXPECT_EQ(r.compressedSize(), c.compressed) << c.what;
  EXPECT_EQ(r.relativeOffsetOfLocalHeader(), c.offset) << c.what;
  EXPECT_EQ(r.diskNumberStart(), c.disk) << c.what;
}

// 2020-01-01 00:00:00 UTC as an NTFS time.
constexpr uint64_t kNTFS2020 = (1577836800ull + 11644473600ull) * 10000000ull;
const std::string kEnd(RVIOHandleEndOfBytesException);
constexpr uint64_t E32 = 0xFFFFFFFF;
constexpr uint32_t E16 = 0xFFFF;

Layout ntfs(uint64_t modification) {
  return Layout().u16(0x000A).u16(32).u32(0).u16(1).u16(24).u64(modification).u64(1).u64(2);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, CVNZipCentralFileHeaderExtraTest,
    testing::Values(
        ExtraCase{"empty", {}, "", 1000, E32, E32, E32, E16},
        ExtraCase{"timestamp then NTFS: NTFS wins",
                  Layout().u16(0x5455).u16(5).u8(1).u32(5).raw(ntfs(kNTFS2020).bytes()), "",
                  1577836800, E32, E32, E32, E16},
        ExtraCase{"NTFS then timestamp: timestamp wins",
                  Layout().raw(ntfs(kNTFS2020).bytes()).u16(0x5455).u16(5).u8(1).u32(5), "", 5, E32,
                  E32, E32, E16},
        ExtraCase{"timestamp without bit 0", Layout().u16(0x5455).u16(9).u8(6).u32(5).u32(6), "",
                  1000, E32, E32, E32, E16},
        ExtraCase{"timestamp of flags 7 takes the first time only",
                  Layout().u16(0x5455).u16(13).u8(7).u32(5).u32(6).u32(7), "", 5, E32, E32, E32,
                  E16},
        ExtraCase{"timestamp is unsigned", Layout().u16(0x5455).u16(5).u8(1).u32(0xFFFFFFFF), "",
                  0xFFFFFFFF, E32, E32, E32, E16},
        ExtraCase{"NTFS attribute 1 of 8 bytes",
                  Layout().u16(0x000A).u16(16).u32(0).u16(1).u16(8).u64(kNTFS2020), "", 1577836800,
                  E32, E32, E32, E16},
        ExtraCase{
            "NTFS before 1970 truncates toward zero",
            Layout().u16(0x000A).u16(16).u32(0).u16(1).u16(8).u64(116444736000000000 - 15000000),
            "", -1, E32, E32, E32, E16},
        ExtraCase{"NTFS empty attribute 1 and other attributes are skipped",
                  Layout().u16(0x000A).u16(18).u32(0).u16(1).u16(0).u16(2).u16(6).u32(1).u16(0), "",
                  1000, E32, E32, E32, E16},
        ExtraCase{"NTFS of reserved bytes only", Layout().u16(0x000A).u16(4).u32(0), "", 1000, E32,
                  E32, E32, E16},
        ExtraCase{"Zip64 in order", Layout().u16(1).u16(28).u64(11).u64(22).u64(33).u32(44), "",
                  1000, 11, 22, 33, 44},
        ExtraCase{"Zip64 extra bytes ignored",
                  Layout().u16(1).u16(30).u64(11).u64(22).u64(33).u32(44).u16(9), "", 1000, 11, 22,
                  33, 44},
        ExtraCase{"unknown fields skipped",
                  Layout()
                      .u16(0x7875)
                      .u16(3)
                      .u8(1)
                      .u8(2)
                      .u8(3)
                      .u16(0xCAFE)
                      .u16(0)
                      .u16(0x5455)
                      .u16(5)
                      .u8(1)
                      .u32(9),
                  "", 9, E32, E32, E32, E16},
        // Malformed blocks: what came before stays applied.
        ExtraCase{"tag cut off", Layout().u16(0x5455).u16(5).u8(1).u32(9).u8(1), kEnd, 9, E32, E32,
                  E32, E16},
        ExtraCase{"length cut off", Layout().u16(0x5455).u8(5), kEnd, 1000, E32, E32, E32, E16},
        ExtraCase{"declared length past the block", Layout().u16(0x5455).u16(9).u8(1).u32(9), kEnd,
                  1000, E32, E32, E32, E16},
        ExtraCase{"timestamp without flags", Layout().u16(0x5455).u16(0), kEnd, 1000, E32, E32, E32,
                  E16},
        ExtraCase{"timestamp with bit 0 and 3 bytes",
                  Layout().u16(0x5455).u16(4).u8(1).u8(1).u8(2).u8(3), kEnd, 1000, E32, E32, E32,
                  E16},
        ExtraCase{"NTFS shorter than its reserved bytes", Layout().u16(0x000A).u16(3).u8(0).u16(0),
                  kEnd, 1000, E32, E32, E32, E16},
        ExtraCase{"NTFS attribute cut off", Layout().u16(0x000A).u16(7).u32(0).u16(1).u8(8), kEnd,
                  1000, E32, E32, E32, E16},
        ExtraCase{"NTFS attribute longer than the field",
                  Layout().u16(0x000A).u16(12).u32(0).u16(1).u16(8).u32(0), kEnd, 1000, E32, E32,
                  E32, E16},
        ExtraCase{"NTFS attribute 1 of 7 bytes",
                  Layout().u16(0x000A).u16(15).u32(0).u16(1).u16(7).u32(0).u16(0).u8(0), kEnd, 1000,
                  E32, E32, E32, E16},
        ExtraCase{"NTFS attribute 1 of 1 byte",
                  Layout().u16(0x000A).u16(9).u32(0).u16(1).u16(1).u8(0), kEnd, 1000, E32, E32, E32,
                  E16},
        ExtraCase{"Zip64 short of the disk number",
                  Layout().u16(1).u16(26).u64(11).u64(22).u64(33).u16(44), kEnd, 1000, 11, 22, 33,
                  E16},
        ExtraCase{"Zip64 short of the first value", Layout().u16(1).u16(4).u32(11), kEnd, 1000, E32,
                  E32, E32, E16}));

TEST_F(CVNZipCentralFileHeaderTest, ZipSixtyFourFieldChangesNothingUnescaped) {
  CVNZipCentralFileHeader r;
  r.setUncompressedSize(0xFFFFFFFE);
  r.setCompressedSize(0x100000000);  // not the escape value itself
  r.setRelativeOffsetOfLocalHeader(5);
  r.setDiskNumberStart(0xFFFE);
  r._loadExtraField(Layout().u16(1).u16(28).u64(11).u64(22).u64(33).u32(44));
  EXPECT_EQ(r.uncompressedSize(), 0xFFFFFFFEu);
  EXPECT_EQ(r.compressedSize(), 0x100000000u);
  EXPECT_EQ(r.relativeOffsetOfLocalHeader(), 5u);
  EXPECT_EQ(r.diskNumberStart(), 0xFFFEu);
}

// --- Times and names ---

TEST_F(CVNZipCentralFileHeaderTest, ModificationDate) {
  CVNZipCentralFileHeader r;
  EXPECT_FALSE(r.modificationDate());
  r.setModificationDate(RVDateWithTimeIntervalSince1970(1.9));
  EXPECT_EQ(r.modificationEpoch(), 1);
  EXPECT_EQ(RVTimeIntervalSince1970(*r.modificationDate()), 1.0);
  r.setModificationDate(std::nullopt);
  EXPECT_EQ(r.modificationEpoch(), -1);
}

TEST_F(CVNZipCentralFileHeaderTest, TimesBefore1970AndAfter2106DoNotSurviveTheTimestamp) {
  for (int64_t epoch : {int64_t(-86400), int64_t(4294967296 + 60)}) {
    CVNZipCentralFileHeader r;
    r.setModificationEpoch(epoch);
    Bytes b = saved(r);
    CVNZipCentralFileHeader back;
    RVDataHandle h(b);
    ASSERT_TRUE(back.loadWithIOHandle(h));
    EXPECT_EQ(back.modificationEpoch(), static_cast<int64_t>(static_cast<uint32_t>(epoch)));
  }
}

TEST_F(CVNZipCentralFileHeaderTest, FileNameStringDecodesByHostAndFlag) {
  const Bytes shiftJIS = {0x93, 0xFA, 0x96, 0x7B};          // 日本 in code page 932
  const Bytes utf8 = {0xE6, 0x97, 0xA5, 0xE6, 0x9C, 0xAC};  // 日本 in UTF-8
  CVNZipCentralFileHeader r;
  EXPECT_FALSE(r.fileNameString());
  r.setVersionMadeBy(0x0014);  // MS-DOS
  r.setFileName(shiftJIS);
  EXPECT_EQ(r.fileNameString(), std::u16string(u"日本"));
  r.setVersionMadeBy(0x031E);  // Unix: UTF-8 only
  EXPECT_FALSE(r.fileNameString());
  r.setFileName(utf8);
  EXPECT_EQ(r.fileNameString(), std::u16string(u"日本"));
  r.setVersionMadeBy(0x0014);
  r.setGeneralPurposeBitFlag(0x0800);
  EXPECT_EQ(r.fileNameString(), std::u16string(u"日本"));
  r.setFileName(Bytes{});
  EXPECT_EQ(r.fileNameString(), std::u16string());
}

// --- Loads by path ---

TEST_F(CVNZipCentralFileHeaderTest, LoadsFromAPartAtAnOffsetAndAcrossParts) {
  TempDir dir;
  std::string path = dir / "x.zip";
  Bytes record = fullRecord();
  // Part 0 holds 7 bytes of padding and the first 20 bytes of the record; the
  // last part the rest, then the same record once more.
  Bytes part0(7, 0xEE);
  part0.insert(part0.end(), record.begin(), record.begin() + 20);
  Bytes part1(record.begin() + 20, record.end());
  size_t secondAt = part1.size();
  part1.insert(part1.end(), record.begin(), record.end());
  corvana_test::writeFile(dir / "x.z01", part0);
  corvana_test::writeFile(path, part1);

  CVNZipCentralFileHeader across, inLast;
  ASSERT_TRUE(across.loadWithFileAtPath(path, 0, 1, 7));
  ASSERT_TRUE(inLast.loadWithFileAtPath(path, 1, 1, secondAt));
  EXPECT_EQ(describe(across), describe(inLast));
  EXPECT_EQ(*across.fileName(), textBytes("a/b.c"));
  EXPECT_FALSE(across.loadWithFileAtPath(path, 0, 1, 0));  // padding, not a signature

  EXPECT_EQ(raisedName([&] { across.loadWithFileAtPath(path, 1, 1, part1.size() - 3); }),
            RVIOHandleEndOfBytesException);
  EXPECT_EQ(raisedName([&] { across.loadWithFileAtPath(dir / "none.zip", 0, 0, 0); }),
            RVFileSystemException);
  EXPECT_EQ(raisedName([&] { across.loadWithFileAtPath(path, 2, 1, 0); }),
            RVInternalInconsistencyException);
  EXPECT_EQ(raisedName([&] { across.loadWithFileAtPath(path, 0x100000000, 0x100000001, 0); }),
            RVInternalInconsistencyException);
  EXPECT_EQ(raisedName([&] { across.loadWithFileAtPath(path, 1, 0x100000001, 0); }),
            RVInternalInconsistencyException);
}

}  // namespace
