// The local file header: serialised bytes against hand-written layouts (times,
// Zip64, version needed), loads of hand-written headers (the three times from
// extended timestamps and NTFS fields, cut-off and malformed input), loads by path.
#include "engine/CVNZipLocalFileHeader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "engine/io/RVDOSTime.h"
#include "support/ZipRecordTestSupport.h"

namespace {

using namespace corvana_test;

constexpr uint32_t kSignature = 0x04034B50;

std::string describe(const CVNZipLocalFileHeader& r) {
  std::ostringstream s;
  s << "flag " << r.generalPurposeBitFlag() << " method " << r.compressionMethod() << " crc "
    << r.crc32() << " sizes " << r.compressedSize() << "/" << r.uncompressedSize() << " times "
    << r.modificationEpoch() << "/" << r.accessEpoch() << "/" << r.creationEpoch() << " name"
    << (r.fileName() ? "[" + std::string(r.fileName()->begin(), r.fileName()->end()) + "]" : "-");
  return s.str();
}

// A header whose every field differs from anything the tests load, to see
// which fields a failed load has set.
CVNZipLocalFileHeader stale() {
  Layout l;
  l.u32(kSignature).u16(0xAAA1, 0xAAA2, 0xAAA3, 0, 0).u32(0xAAAAAAA4, 0xAAAAAAA5, 0xAAAAAAA6);
  CVNZipLocalFileHeader r = loaded<CVNZipLocalFileHeader>(l.u16(5, 0).text("stale").bytes());
  r.setModificationEpoch(111);
  r.setAccessEpoch(222);
  r.setCreationEpoch(333);
  return r;
}

// A header with Zip64 sizes, all three times and (when asked) an unknown field.
// The DOS fields hold the modification time in UTC.
Bytes fullHeader(bool unknownField = true) {
  Layout l;
  l.u32(kSignature).u16(45, 9, 8, dosTime(22, 13, 20), dosDate(2023, 11, 14));
  l.u32(0xCAFEBABE, E32, E32).u16(5, 37 + (unknownField ? 4 : 0)).text("a/b.c");
  l.raw(zip64(0x100000001, 0x100000000)).raw(ts(7, 1700000000, 1700000001, 1700000002));
  if (unknownField) l.u16(0x6375, 0);
  return l;
}

class CVNZipLocalFileHeaderTest : public testing::Test {
 protected:
  ScopedTimeZone zone_{"UTC0"};
};

TEST_F(CVNZipLocalFileHeaderTest, LoadsAndSerialisesTheLayoutByteForByte) {
  Layout plain;  // the DOS fields are 2025-03-15 12:00:00
  plain.u32(kSignature).u16(20, 1, 8, 0x6000, 0x5A6F).u32(0x12345678, 22, 10).u16(5, 13);
  plain.text("a.txt").raw(ts(3, 1742040000, 1742040001));
  CVNZipLocalFileHeader r = loaded<CVNZipLocalFileHeader>(plain.bytes());
  EXPECT_EQ(describe(r),
            "flag 1 method 8 crc 305419896 sizes 22/10 times 1742040000/1742040001/-1 "
            "name[a.txt]");
  EXPECT_EQ(r.data(), plain.bytes());
  EXPECT_EQ(saved(r), plain.bytes());

  // Every field; the load stops at the entry's first byte, and the unknown
  // field is not serialised again.
  Bytes full = fullHeader();
  full.push_back(0x99);
  r = loaded<CVNZipLocalFileHeader>(full, full.size() - 1);
  EXPECT_EQ(describe(r),
            "flag 9 method 8 crc 3405691582 sizes 4294967296/4294967297 "
            "times 1700000000/1700000001/1700000002 name[a/b.c]");
  EXPECT_EQ(r.data(), fullHeader(false));
}

TEST_F(CVNZipLocalFileHeaderTest, ExtraBlockCarriesThePresentTimesAndBothSizesForZip64) {
  struct Case {
    uint64_t uncompressed, compressed;
    int64_t modification, access, creation;
    Bytes block;
  } cases[] = {
      {0, 0, -1, -1, -1, {}},
      {0, 0, 5, -1, -1, ts(1, 5)},
      {0, 0, 5, 6, -1, ts(3, 5, 6)},
      {0, 0, -1, -1, 0, ts(4, 0)},  // 1970 itself is a time
      {0, 0, -1, 6, 7, ts(6, 6, 7)},
      {0, 0, 5, 6, 7, ts(7, 5, 6, 7)},
      {E32 - 1, E32 - 1, -1, -1, -1, {}},
      {E32, 10, 5, 6, -1, zip64(E32, 10).raw(ts(3, 5, 6))},
      {1, 0x100000000, -1, -1, -1, zip64(1, 0x100000000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.uncompressed << " " << c.compressed << " "
                                    << c.modification << " " << c.access << " " << c.creation);
    CVNZipLocalFileHeader r;
    r.setFileName(bytes("f"));
    r.setUncompressedSize(c.uncompressed);
    r.setCompressedSize(c.compressed);
    r.setModificationEpoch(c.modification);
    r.setAccessEpoch(c.access);
    r.setCreationEpoch(c.creation);
    Bytes b = r.data();
    ASSERT_EQ(b.size(), 31 + c.block.size());
    EXPECT_EQ(Bytes(b.begin() + 31, b.end()), c.block);
    bool zip64 = c.uncompressed >= E32 || c.compressed >= E32;
    EXPECT_EQ(Bytes(b.begin() + 18, b.begin() + 26),
              zip64 ? Layout().u32(E32, E32).bytes() : Layout().u32(c.compressed, c.uncompressed));
    EXPECT_EQ(r.versionNeededToExtract(), zip64 ? 45 : 10);

    CVNZipLocalFileHeader back = loaded<CVNZipLocalFileHeader>(b);
    // Without its own time the modification time comes from the DOS fields of -1.
    if (c.modification == -1) back.setModificationEpoch(-1);
    EXPECT_EQ(describe(back), describe(r));
  }
}

TEST_F(CVNZipLocalFileHeaderTest, VersionNeededFollowsTheHeader) {
  expectVersionNeeded<CVNZipLocalFileHeader>(4);
}

TEST_F(CVNZipLocalFileHeaderTest, OverlongNameIsRefusedBeforeAnyByte) {
  CVNZipLocalFileHeader r;
  r.setFileName(Bytes(65535, 'x'));
  EXPECT_EQ(r.data().size(), 30u + 65535);
  r.setFileName(Bytes(65536, 'x'));
  EXPECT_EQ(raisedName([&] { r.data(); }), RVInvalidArgumentException);
  expectSaveRefused(r);
}

// Every way of cutting the header short gives the same fields, position and
// exception as the field-by-field load; so do a header without an extra block
// (the other times stay) and one of another signature (false, four bytes on).
TEST_F(CVNZipLocalFileHeaderTest, CutOffHeadersBehaveAsTheFieldByFieldLoad) {
  Bytes plain = fullHeader(), other = fullHeader();
  plain[28] = plain[29] = 0;
  plain.resize(35);
  other[2] = 0x01;
  expectCutOffsAsFieldByField({fullHeader(), plain, other}, {1, 5, 1000}, stale(), describe,
                              kSignature);
}

TEST_F(CVNZipLocalFileHeaderTest, ExtraBlockAppliesFieldsInBlockOrder) {
  // Applied to a header of times 1000, 2000 and 3000 and both sizes escaped. A
  // malformed block raises with what came before it applied.
  struct Case {
    const char* what;
    Bytes block;
    std::string raised = "";
    int64_t modification = 1000, access = 2000, creation = 3000;
    uint64_t uncompressed = E32, compressed = E32;
  } cases[] = {
      {"NTFS with three times", ntfs(ticks(10), ticks(20), ticks(30)), "", 10, 20, 30},
      {"NTFS with 8 bytes: modification only", ntfs(ticks(10)), "", 10},
      {"NTFS with 16 bytes", ntfs(ticks(10), ticks(20)), "", 10, 20},
      {"NTFS attributes other than 1 skipped",
       Layout().u16(10, 28).u32(0).u16(1, 8).u64(ticks(10)).u16(3, 8).u64(ticks(99)), "", 10},
      {"NTFS with a fourth time ignored", ntfs(ticks(10), ticks(20), ticks(30), ticks(40)), "", 10,
       20, 30},
      {"timestamp of flags 6 with 8 bytes", ts(6, 20, 30), "", 1000, 20, 30},
      {"timestamp then NTFS: NTFS wins", ts(7, 1, 2, 3).raw(ntfs(ticks(10), ticks(20), ticks(30))),
       "", 10, 20, 30},
      {"NTFS then timestamp: timestamp wins where present",
       ntfs(ticks(10), ticks(20), ticks(30)).raw(ts(2, 2)), "", 10, 2, 30},
      {"timestamp flags without times", ts(0)},
      {"Zip64: uncompressed then compressed", zip64(11, 22), "", 1000, 2000, 3000, 11, 22},
      {"unknown fields skipped", Layout().u16(0x7875, 1).u8(1).raw(ts(4, 7)), "", 1000, 2000, 7},
      {"timestamp short of the access time", Layout().u16(0x5455, 7).u8(3).u32(1).u16(0), kEnd, 1},
      {"timestamp without flags", Layout().u16(0x5455, 0), kEnd},
      {"NTFS time cut off after the first",
       Layout().u16(10, 20).u32(0).u16(1, 12).u64(ticks(10)).u32(0), kEnd, 10},
      {"NTFS time of one byte", Layout().u16(10, 9).u32(0).u16(1, 1).u8(0), kEnd},
      {"NTFS shorter than its reserved bytes", Layout().u16(10, 2).u16(0), kEnd},
      {"NTFS attribute header cut off", Layout().u16(10, 6).u32(0).u16(1), kEnd},
      {"Zip64 short of the compressed size", Layout().u16(1, 12).u64(11).u32(22), kEnd, 1000, 2000,
       3000, 11},
      {"declared length past the block", Layout().u16(0x5455, 200).u8(1).u32(1), kEnd},
      {"lone byte after a good field", ts(1, 9).u8(0), kEnd, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CVNZipLocalFileHeader r;
    r.setModificationEpoch(1000);
    r.setAccessEpoch(2000);
    r.setCreationEpoch(3000);
    r.setUncompressedSize(E32);
    r.setCompressedSize(E32);
    EXPECT_EQ(raisedName([&] { r._loadExtraField(c.block); }), c.raised);
    EXPECT_EQ(std::tuple(r.modificationEpoch(), r.accessEpoch(), r.creationEpoch(),
                         r.uncompressedSize(), r.compressedSize()),
              std::tuple(c.modification, c.access, c.creation, c.uncompressed, c.compressed));
  }
  // Only the compressed size is escaped: it takes the first 8 bytes; an unescaped one takes none.
  for (uint64_t compressed : {E32, E32 - 1}) {
    CVNZipLocalFileHeader r;
    r.setUncompressedSize(5);
    r.setCompressedSize(compressed);
    r._loadExtraField(zip64(11, 22));
    EXPECT_EQ(std::pair(r.uncompressedSize(), r.compressedSize()),
              std::pair(uint64_t(5), compressed == E32 ? 11 : compressed));
  }
}

TEST_F(CVNZipLocalFileHeaderTest, TimesBefore1970AndAfter2106KeepTheirLow32Bits) {
  CVNZipLocalFileHeader r;
  EXPECT_FALSE(r.modificationDate() || r.accessDate() || r.creationDate());
  r.setCreationDate(RVDateWithTimeIntervalSince1970(1.9));
  r.setAccessDate(RVDateWithTimeIntervalSince1970(-100.5));
  r.setModificationDate(RVDateWithTimeIntervalSince1970(1742040000.999));
  EXPECT_EQ(std::tuple(r.modificationEpoch(), r.accessEpoch(), r.creationEpoch()),
            std::tuple(1742040000, -100, 1));
  EXPECT_EQ(RVTimeIntervalSince1970(*r.accessDate()), -100.0);
  r.setCreationDate(std::nullopt);
  EXPECT_EQ(r.creationEpoch(), -1);

  r.setModificationEpoch(-86400);      // 1969-12-31
  r.setAccessEpoch(4294967296 + 100);  // 2106-02-07 06:29:56
  r.setCreationEpoch(4294967295);      // 2106-02-07 06:28:15, the last that survives
  CVNZipLocalFileHeader back = loaded<CVNZipLocalFileHeader>(r.data());
  EXPECT_EQ(std::tuple(back.modificationEpoch(), back.accessEpoch(), back.creationEpoch()),
            std::tuple(4294967296 - 86400, 100, 4294967295));
}

TEST_F(CVNZipLocalFileHeaderTest, LoadsByPathFromAPartAtAnOffset) {
  TempDir dir;
  std::string path = dir / "x.zip";
  writeFile(dir / "x.z01", Bytes(100, 0));
  writeFile(path, Layout().u8(0, 0, 0).raw(fullHeader()));
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
