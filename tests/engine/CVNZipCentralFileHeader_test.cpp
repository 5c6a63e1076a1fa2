// The central file header: saved bytes against hand-written layouts, loads of
// hand-written records (extra-field precedence, cut-off and malformed input),
// loads by path across parts, and the decoded name.
#include "engine/CVNZipCentralFileHeader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "engine/io/RVDOSTime.h"
#include "support/ZipRecordTestSupport.h"

namespace {

using namespace corvana_test;

constexpr uint32_t kSignature = 0x02014B50;

std::string describe(const CVNZipCentralFileHeader& r) {
  std::ostringstream s;
  s << "made " << r.versionMadeBy() << " needed " << r.versionNeededToExtract() << " flag "
    << r.generalPurposeBitFlag() << " method " << r.compressionMethod() << " crc " << r.crc32()
    << " sizes " << r.compressedSize() << "/" << r.uncompressedSize() << " disk "
    << r.diskNumberStart() << " attrs " << r.internalFileAttributes() << "/"
    << r.externalFileAttributes() << " offset " << r.relativeOffsetOfLocalHeader() << " epoch "
    << r.modificationEpoch();
  for (const auto& b : {r.fileName(), r.fileComment()})
    s << (b ? " [" + std::string(b->begin(), b->end()) + "]" : " -");
  return s.str();
}

// A record whose every field differs from anything the tests load, to see
// which fields a failed load has set.
CVNZipCentralFileHeader stale() {
  Layout l;
  l.u32(kSignature).u16(0xAAA1, 0xAAA2, 0xAAA3, 0xAAA4, 0xAAA5, 0xAAA6);
  l.u32(0xAAAAAAA7, 0xAAAAAAA8, 0xAAAAAAA9)
      .u16(5, 0, 5, 0xAAAA, 0xAAAB)
      .u32(0xAAAAAAAC, 0xAAAAAAAD);
  return loaded<CVNZipCentralFileHeader>(l.text("stalestale").bytes());
}

// A record with every part present: the name, an extra block of Zip64 for the
// escaped sizes, an extended timestamp and (when asked) an unknown field, and
// a comment. The DOS fields hold the timestamp's time in UTC.
Bytes fullRecord(bool unknownField = true) {
  Layout l;
  l.u32(kSignature).u16(0x031E, 45, 0x0801, 8, dosTime(22, 13, 20), dosDate(2023, 11, 14));
  l.u32(0xCAFEBABE, E32, E32).u16(5, 29 + (unknownField ? 6 : 0), 3, 7, 1).u32(0x81A40000, 0x1234);
  l.text("a/b.c").raw(zip64(0x100000000, 0x100000001)).raw(ts(1, 1700000000));
  if (unknownField) l.u16(0x7875, 2, 0xFFFF);
  return l.text("cmt");
}

class CVNZipCentralFileHeaderTest : public testing::Test {
 protected:
  ScopedTimeZone zone_{"UTC0"};
};

TEST_F(CVNZipCentralFileHeaderTest, LoadsAndSavesTheLayoutByteForByte) {
  Layout plain;  // the DOS fields are 2025-03-15 12:00:00
  plain.u32(kSignature).u16(0x0014, 20, 0, 8, 0x6000, 0x5A6F).u32(0x12345678, 10, 20);
  plain.u16(5, 9, 2, 0, 1).u32(0x20, 0x100).text("a.txt").raw(ts(1, 1742040000)).text("hi");
  CVNZipCentralFileHeader r = loaded<CVNZipCentralFileHeader>(plain.bytes());
  EXPECT_EQ(describe(r),
            "made 20 needed 20 flag 0 method 8 crc 305419896 sizes 10/20 disk 0 attrs 1/32 "
            "offset 256 epoch 1742040000 [a.txt] [hi]");
  EXPECT_EQ(saved(r), plain.bytes());

  // Every field, Zip64 values for the escaped sizes; the unknown field is not saved again.
  r = loaded<CVNZipCentralFileHeader>(fullRecord());
  EXPECT_EQ(describe(r),
            "made 798 needed 45 flag 2049 method 8 crc 3405691582 sizes 4294967297/4294967296 "
            "disk 7 attrs 1/2175008768 offset 4660 epoch 1700000000 [a/b.c] [cmt]");
  EXPECT_EQ(saved(r), fullRecord(false));
}

TEST_F(CVNZipCentralFileHeaderTest, VersionNeededFollowsTheRecord) {
  expectVersionNeeded<CVNZipCentralFileHeader>(6);
}

TEST_F(CVNZipCentralFileHeaderTest, ZipSixtyFourHoldsOnlyEscapedValuesInTheirOrder) {
  // The fixed part holds the escape value for each value in the Zip64 field;
  // the round trip shows which.
  struct Case {
    const char* what;
    uint64_t uncompressed, compressed, offset;
    uint32_t disk;
    Bytes block;  // the whole extra block
  } cases[] = {
      {"largest direct values", E32 - 1, E32 - 1, E32 - 1, 0xFFFE, {}},
      {"uncompressed escaped", E32, 10, 0, 0, zip64(E32)},
      {"offset alone", 1, 2, 0x123456789, 3, zip64(0x123456789)},
      {"disk alone", 1, 2, 3, E16, Layout().u16(1, 4).u32(E16)},
      {"compressed and disk", 1, 0x100000000, 3, 0x10000,
       Layout().u16(1, 12).u64(0x100000000).u32(0x10000)},
      {"all four", 0x200000000, 0x100000000, 0x300000000, E32,
       Layout().u16(1, 28).u64(0x200000000, 0x100000000, 0x300000000).u32(E32)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CVNZipCentralFileHeader r;
    r.setFileName(bytes("n/"));  // each of these makes it 20, unless Zip64 makes it 45
    r.setGeneralPurposeBitFlag(1);
    r.setCompressionMethod(8);
    r.setFileComment(Bytes{});
    r.setUncompressedSize(c.uncompressed);
    r.setCompressedSize(c.compressed);
    r.setRelativeOffsetOfLocalHeader(c.offset);
    r.setDiskNumberStart(c.disk);
    Bytes b = saved(r);
    ASSERT_EQ(b.size(), 48 + c.block.size());
    EXPECT_EQ(size_t(b[30] | b[31] << 8), c.block.size());
    // No time: the DOS form of -1, 1969-12-31 23:59:58 with the year field (1969 - 1980) mod 128.
    EXPECT_EQ(Bytes(b.begin() + 12, b.begin() + 16),
              Layout().u16(dosTime(23, 59, 59), (117 << 9) | (12 << 5) | 31).bytes());
    EXPECT_EQ(Bytes(b.begin() + 48, b.end()), c.block);
    EXPECT_EQ(r.versionNeededToExtract(), c.block.empty() ? 20 : 45);

    CVNZipCentralFileHeader back = loaded<CVNZipCentralFileHeader>(b);
    back.setModificationEpoch(-1);  // the DOS form of no time reads back as 23:59:58
    EXPECT_EQ(describe(back), describe(r));
  }
  // With a time, the timestamp follows the Zip64 field.
  CVNZipCentralFileHeader r;
  r.setUncompressedSize(0x100000000);
  r.setModificationEpoch(7);
  Bytes b = saved(r);
  EXPECT_EQ(Bytes(b.begin() + 46, b.end()), zip64(0x100000000).raw(ts(1, 7)).bytes());
}

TEST_F(CVNZipCentralFileHeaderTest, OverlongNameOrCommentIsRefusedBeforeAnyByte) {
  for (bool name : {true, false}) {
    CVNZipCentralFileHeader r;
    r.setFileName(Bytes(65535, 'x'));
    r.setFileComment(Bytes(65535, 'x'));
    EXPECT_EQ(saved(r).size(), 46u + 2 * 65535);
    (name ? r.setFileName(Bytes(65536, 'x')) : r.setFileComment(Bytes(65536, 'x')));
    r.setVersionNeededToExtract(77);
    expectSaveRefused(r);
    EXPECT_EQ(r.versionNeededToExtract(), 77);
  }
}

// Every way of cutting the record short gives the same fields, position and
// exception as the field-by-field load; so do a record without an extra block
// (the escaped sizes stay) and one of another signature (false, four bytes on).
TEST_F(CVNZipCentralFileHeaderTest, CutOffRecordsBehaveAsTheFieldByFieldLoad) {
  Bytes plain = fullRecord(), other = fullRecord();
  plain[30] = plain[31] = 0;
  plain.erase(plain.begin() + 51, plain.end() - 3);
  other[3] = 0x06;  // an end record's signature
  expectCutOffsAsFieldByField({fullRecord(), plain, other}, {1, 3, 17, 1000}, stale(), describe,
                              kSignature);
}

TEST_F(CVNZipCentralFileHeaderTest, MaximalLengthsOverAShortStream) {
  Bytes b = fullRecord();
  b.resize(46);
  std::fill(b.begin() + 28, b.begin() + 34, 0xFF);
  b.resize(46 + 65535 + 10);
  CVNZipCentralFileHeader r = stale();
  RVDataHandle h(b);
  EXPECT_EQ(raisedName([&] { r.loadWithIOHandle(h); }), kEnd);
  EXPECT_EQ(r.fileName()->size(), 65535u);  // the name arrived in full, the rest did not
  EXPECT_EQ(*r.fileComment(), bytes("stale"));
  EXPECT_EQ(r.modificationEpoch(), stale().modificationEpoch());
  EXPECT_EQ(h.offset(), b.size());
}

constexpr uint64_t kNTFS2020 = ticks(1577836800);  // 2020-01-01 00:00:00 UTC

TEST_F(CVNZipCentralFileHeaderTest, ExtraBlockAppliesFieldsInBlockOrder) {
  // Applied to a record of epoch 1000 and all four Zip64 values escaped. A
  // malformed block raises with what came before it applied.
  struct Case {
    const char* what;
    Bytes block;
    std::string raised = "";
    int64_t epoch = 1000;
    uint64_t uncompressed = E32, compressed = E32, offset = E32;
    uint32_t disk = E16;
  } cases[] = {
      {"empty", {}},
      {"timestamp then NTFS: NTFS wins", ts(1, 5).raw(ntfs(kNTFS2020, 1, 2)), "", 1577836800},
      {"NTFS then timestamp: timestamp wins", Layout().raw(ntfs(kNTFS2020, 1, 2)).raw(ts(1, 5)), "",
       5},
      {"timestamp without bit 0", ts(6, 5, 6)},
      {"timestamp of flags 7 takes the first time only", ts(7, 5, 6, 7), "", 5},
      {"timestamp is unsigned", ts(1, E32), "", E32},
      {"NTFS attribute 1 of 8 bytes", ntfs(kNTFS2020), "", 1577836800},
      {"NTFS before 1970 truncates toward zero", ntfs(ticks(0) - 15000000), "", -1},
      {"NTFS empty attribute 1 and other attributes skipped",
       Layout().u16(10, 18).u32(0).u16(1, 0, 2, 6).u32(1).u16(0)},
      {"NTFS of reserved bytes only", Layout().u16(10, 4).u32(0)},
      {"Zip64 in order", Layout().u16(1, 28).u64(11, 22, 33).u32(44), "", 1000, 11, 22, 33, 44},
      {"Zip64 extra bytes ignored", Layout().u16(1, 30).u64(11, 22, 33).u32(44).u16(9), "", 1000,
       11, 22, 33, 44},
      {"unknown fields skipped", Layout().u16(0x7875, 3).u8(1, 2, 3).u16(0xCAFE, 0).raw(ts(1, 9)),
       "", 9},
      {"tag cut off", ts(1, 9).u8(1), kEnd, 9},
      {"length cut off", Layout().u16(0x5455).u8(5), kEnd},
      {"declared length past the block", Layout().u16(0x5455, 9).u8(1).u32(9), kEnd},
      {"timestamp without flags", Layout().u16(0x5455, 0), kEnd},
      {"timestamp with bit 0 and 3 bytes", Layout().u16(0x5455, 4).u8(1, 1, 2, 3), kEnd},
      {"NTFS shorter than its reserved bytes", Layout().u16(10, 3).u8(0).u16(0), kEnd},
      {"NTFS attribute cut off", Layout().u16(10, 7).u32(0).u16(1).u8(8), kEnd},
      {"NTFS attribute longer than the field", Layout().u16(10, 12).u32(0).u16(1, 8).u32(0), kEnd},
      {"NTFS attribute 1 of 7 bytes", Layout().u16(10, 15).u32(0).u16(1, 7).u32(0).u16(0).u8(0),
       kEnd},
      {"NTFS attribute 1 of 1 byte", Layout().u16(10, 9).u32(0).u16(1, 1).u8(0), kEnd},
      {"Zip64 short of the disk number", Layout().u16(1, 26).u64(11, 22, 33).u16(44), kEnd, 1000,
       11, 22, 33},
      {"Zip64 short of the first value", Layout().u16(1, 4).u32(11), kEnd},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CVNZipCentralFileHeader r;
    r.setModificationEpoch(1000);
    r.setUncompressedSize(E32);
    r.setCompressedSize(E32);
    r.setRelativeOffsetOfLocalHeader(E32);
    r.setDiskNumberStart(E16);
    EXPECT_EQ(raisedName([&] { r._loadExtraField(c.block); }), c.raised);
    EXPECT_EQ(std::tuple(r.modificationEpoch(), r.uncompressedSize(), r.compressedSize(),
                         r.relativeOffsetOfLocalHeader(), r.diskNumberStart()),
              std::tuple(c.epoch, c.uncompressed, c.compressed, c.offset, c.disk));
  }
  // Values that are not the escape value itself take nothing from a Zip64 field.
  CVNZipCentralFileHeader r;
  r.setUncompressedSize(E32 - 1);
  r.setCompressedSize(E32 + 1);
  r.setDiskNumberStart(0xFFFE);
  r._loadExtraField(Layout().u16(1, 28).u64(11, 22, 33).u32(44));
  EXPECT_EQ(describe(r),
            "made 0 needed 0 flag 0 method 0 crc 0 sizes 4294967296/4294967294 disk "
            "65534 attrs 0/0 offset 0 epoch -1 - -");
}

TEST_F(CVNZipCentralFileHeaderTest, TimesBefore1970AndAfter2106DoNotSurviveTheTimestamp) {
  CVNZipCentralFileHeader r;
  r.setModificationDate(RVDateWithTimeIntervalSince1970(1.9));
  EXPECT_EQ(std::pair(r.modificationEpoch(), RVTimeIntervalSince1970(*r.modificationDate())),
            std::pair(int64_t(1), 1.0));
  r.setModificationDate(std::nullopt);
  EXPECT_EQ(r.modificationEpoch(), -1);
  for (int64_t epoch : {int64_t(-86400), int64_t(4294967296 + 60)}) {
    r.setModificationEpoch(epoch);
    EXPECT_EQ(loaded<CVNZipCentralFileHeader>(saved(r)).modificationEpoch(), uint32_t(epoch));
  }
}

TEST_F(CVNZipCentralFileHeaderTest, FileNameStringDecodesByHostAndFlag) {
  const Bytes shiftJIS = {0x93, 0xFA, 0x96, 0x7B};          // 日本 in code page 932
  const Bytes utf8 = {0xE6, 0x97, 0xA5, 0xE6, 0x9C, 0xAC};  // 日本 in UTF-8
  struct Case {
    uint16_t madeBy, flag;  // made by 0x0014 is MS-DOS, 0x031E Unix (UTF-8 only)
    std::optional<Bytes> name;
    std::optional<std::u16string> expected;
  } cases[] = {
      {0x0014, 0, {}, {}},        {0x0014, 0, shiftJIS, u"日本"},  {0x031E, 0, shiftJIS, {}},
      {0x031E, 0, utf8, u"日本"}, {0x0014, 0x0800, utf8, u"日本"}, {0x0014, 0x0800, Bytes{}, u""}};
  for (const Case& c : cases) {
    CVNZipCentralFileHeader r;
    r.setVersionMadeBy(c.madeBy);
    r.setGeneralPurposeBitFlag(c.flag);
    r.setFileName(c.name);
    EXPECT_EQ(r.fileNameString(), c.expected) << c.madeBy << " " << c.flag;
  }
}

TEST_F(CVNZipCentralFileHeaderTest, LoadsFromAPartAtAnOffsetAndAcrossParts) {
  // x.z01 holds 7 bytes of padding and the first 20 bytes of the record; x.zip
  // the rest, then the record once more.
  TempDir dir;
  std::string path = dir / "x.zip";
  Bytes record = fullRecord();
  Bytes part0 = Layout().raw(Bytes(7, 0xEE)).raw(std::span(record).first(20));
  Bytes part1 = Layout().raw(std::span(record).subspan(20)).raw(record);
  writeFile(dir / "x.z01", part0);
  writeFile(path, part1);

  CVNZipCentralFileHeader across, inLast;
  ASSERT_TRUE(across.loadWithFileAtPath(path, 0, 1, 7));
  ASSERT_TRUE(inLast.loadWithFileAtPath(path, 1, 1, record.size() - 20));
  EXPECT_EQ(describe(across), describe(inLast));
  EXPECT_EQ(*across.fileName(), bytes("a/b.c"));
  EXPECT_FALSE(across.loadWithFileAtPath(path, 0, 1, 0));  // padding, not a signature

  EXPECT_EQ(raisedName([&] { across.loadWithFileAtPath(path, 1, 1, part1.size() - 3); }), kEnd);
  EXPECT_EQ(raisedName([&] { across.loadWithFileAtPath(dir / "none.zip", 0, 0, 0); }),
            RVFileSystemException);
  for (auto parts : {std::pair<uint64_t, uint64_t>{2, 1},
                     {0x100000000, 0x100000001},
                     {1, 0x100000001}}) {  // disk index and last disk index
    EXPECT_EQ(raisedName([&] { across.loadWithFileAtPath(path, parts.first, parts.second, 0); }),
              RVInternalInconsistencyException);
  }
}

}  // namespace
