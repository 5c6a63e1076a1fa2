// The end record, the Zip64 end record and locator, and the data descriptor:
// saved layouts, loads of hand-written records, cut-off and damaged input.
#include <gtest/gtest.h>

#include "engine/CVNZipDataDescriptor.h"
#include "engine/CVNZipEndOfCentralDirectoryRecord.h"
#include "engine/CVNZipZip64EndOfCentralDirectoryLocator.h"
#include "engine/CVNZipZip64EndOfCentralDirectoryRecord.h"
#include "support/ZipRecordTestSupport.h"

namespace {

using namespace corvana_test;
using Fields = std::vector<uint64_t>;
using EndRecord = CVNZipEndOfCentralDirectoryRecord;
using Zip64Record = CVNZipZip64EndOfCentralDirectoryRecord;
using Locator = CVNZipZip64EndOfCentralDirectoryLocator;

constexpr uint32_t kEndSignature = 0x06054B50, kZip64Signature = 0x06064B50,
                   kLocatorSignature = 0x07064B50;

// The fields both end records have, in layout order. Each record's `fields`
// are all of them in layout order, the comment or sector last as its size plus
// one (0 for none).
Fields directoryFields(const auto& r) {
  return {r.numberOfThisDisk(),
          r.numberOfTheDiskWithTheStartOfTheCentralDirectory(),
          r.totalNumberOfEntriesInTheCentralDirectoryOnThisDisk(),
          r.totalNumberOfEntriesInTheCentralDirectory(),
          r.sizeOfTheCentralDirectory(),
          r.offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber()};
}
Fields fields(const EndRecord& r) {
  Fields f = directoryFields(r);
  return f.push_back(r.zipFileComment() ? r.zipFileComment()->size() + 1 : 0), f;
}
Fields fields(const Zip64Record& r) {
  Fields f = directoryFields(r);
  f.insert(f.begin(), {r.versionMadeBy(), r.versionNeededToExtract()});
  const auto& s = r.zip64ExtensibleDataSector();
  return f.push_back(s ? s->size() + 1 : 0), f;
}
Fields fields(const Locator& r) {
  return {r.numberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory(),
          r.relativeOffsetOfTheZip64EndOfCentralDirectoryRecord(), r.totalNumberOfDisks()};
}

Bytes endRecord(const std::string& comment) {
  return Layout().u32(kEndSignature).u16(1, 2, 3, 4).u32(5, 6).u16(comment.size()).text(comment);
}
Bytes zip64Record(uint64_t size, const Bytes& sector) {
  Layout l;
  l.u32(kZip64Signature).u64(size).u16(62, 45).u32(0x11111111, 0x22222222);
  return l.u64(0x3333333333, 0x4444444444, 0x5555555555, 0x6666666666).raw(sector);
}
Fields zip64Fields(uint64_t sector) {
  Fields f{62, 45, 0x11111111, 0x22222222, 0x3333333333, 0x4444444444, 0x5555555555};
  return f.insert(f.end(), {0x6666666666, sector}), f;
}
const Bytes kLocator = Layout().u32(kLocatorSignature, E32 - 1).u64(0x123456789A).u32(E32);

// Loads `layout` whole: the fields must be `expected`, and saving gives the layout again.
template <typename Record>
void expectRoundTrip(const Bytes& layout, const Fields& expected) {
  Record r = loaded<Record>(layout);
  EXPECT_EQ(fields(r), expected);
  EXPECT_EQ(saved(r), layout);
}

// Cut off at every length, read in steps of 1, 3 and whole: the load raises
// with the handle at the end and exactly the fields whose bytes arrived set
// (field i ends at byte ends[i]). With another record's signature it is false,
// four bytes on, nothing set.
template <typename Record>
void expectCutOffs(const Bytes& layout, const std::vector<size_t>& ends, uint32_t other) {
  const Fields all = fields(loaded<Record>(layout)), none = fields(Record());
  for (uint64_t step : {1, 3, 1000}) {
    for (size_t length = 0; length < layout.size(); ++length) {
      SCOPED_TRACE(testing::Message() << length << "/" << step);
      TrickleHandle cutHandle(std::span<const uint8_t>(layout).first(length), step);
      Record cut;
      EXPECT_EQ(raisedName([&] { cut.loadWithIOHandle(cutHandle); }), kEnd);
      EXPECT_EQ(cutHandle.offset(), length);
      Fields expected = none;
      for (size_t i = 0; i < ends.size(); ++i)
        if (length >= ends[i]) expected[i] = all[i];
      EXPECT_EQ(fields(cut), expected);
    }
    Bytes wrong = Layout().u32(other).raw(std::span(layout).subspan(4));
    TrickleHandle wrongHandle(wrong, step);
    Record r;
    EXPECT_FALSE(r.loadWithIOHandle(wrongHandle));
    EXPECT_EQ(wrongHandle.offset(), 4u);
    EXPECT_EQ(fields(r), none);
  }
}

TEST(CVNZipEndOfCentralDirectoryRecordsTest, LoadAndSaveTheirLayouts) {
  for (const std::string& comment : {std::string("hello"), std::string(), std::string(300, 'c')})
    expectRoundTrip<EndRecord>(endRecord(comment), {1, 2, 3, 4, 5, 6, comment.size() + 1});
  // Escape values are the reader's business: stored as they are.
  expectRoundTrip<EndRecord>(
      Layout().u32(kEndSignature).u16(E16, E16, E16, E16).u32(E32, E32).u16(0),
      {E16, E16, E16, E16, E32, E32, 1});
  // The size field counts the 44 bytes after it and the sector.
  expectRoundTrip<Zip64Record>(zip64Record(44, {}), zip64Fields(1));
  expectRoundTrip<Zip64Record>(zip64Record(48, {1, 2, 3, 4}), zip64Fields(5));
  expectRoundTrip<Locator>(kLocator, {E32 - 1, 0x123456789A, E32});

  CVNZipDataDescriptor d;
  d.setCrc32(0xCBF43926);
  d.setCompressedSize(E32);
  d.setUncompressedSize(9);
  EXPECT_EQ(saved(d), Layout().u32(0x08074B50, 0xCBF43926, E32, 9).bytes());
}

TEST(CVNZipEndOfCentralDirectoryRecordsTest, CutOffAndForeignRecords) {
  expectCutOffs<EndRecord>(endRecord("hello"), {6, 8, 10, 12, 16, 20}, kLocatorSignature);
  expectCutOffs<Zip64Record>(zip64Record(46, {1, 2}), {14, 16, 20, 24, 32, 40, 48, 56},
                             kLocatorSignature);
  expectCutOffs<Locator>(kLocator, {8, 16, 20}, kZip64Signature);
}

TEST(CVNZipEndOfCentralDirectoryRecordsTest, OverlongCommentIsRefusedBeforeAnyByte) {
  EndRecord r;
  r.setZipFileComment(Bytes(65535, 'c'));
  EXPECT_EQ(saved(r).size(), 22u + 65535);
  r.setZipFileComment(Bytes(65536, 'c'));
  expectSaveRefused(r);
}

TEST(CVNZipEndOfCentralDirectoryRecordsTest, DamagedZip64SizeFields) {
  // Below 44 there is no sector length: false without reading one, nothing set.
  // Past the stream's end: the end of bytes, without first allocating the
  // declared length; the fixed fields stay set. Then a length no allocation can satisfy.
  struct Case {
    uint64_t size;
    std::string raised;
    Fields fields;
  } cases[] = {{0, "", fields(Zip64Record())},
               {43, "", fields(Zip64Record())},
               {44 + (64 << 10) + 1, kEnd, zip64Fields(0)},
               {uint64_t(1) << 62, kEnd, zip64Fields(0)},
               {UINT64_MAX, std::string(RVOutOfMemoryException), zip64Fields(0)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    Bytes b = zip64Record(c.size, Bytes(c.raised.empty() ? 3 : 1000, 7));
    RVDataHandle h(b);
    Zip64Record r;
    bool result = true;
    EXPECT_EQ(raisedName([&] { result = r.loadWithIOHandle(h); }), c.raised);
    EXPECT_EQ(std::tuple(result, h.offset(), fields(r)),
              std::tuple(!c.raised.empty(), c.raised == kEnd ? b.size() : 56, c.fields));
  }
}

TEST(CVNZipEndOfCentralDirectoryRecordsTest, LoadByPath) {
  // The Zip64 record in part 1 of 0...3 at offset 5, the locator in the file itself.
  TempDir dir;
  std::string path = dir / "a.zip";
  writeFile(dir / "a.z01", Bytes(10, 0));
  writeFile(dir / "a.z02", Layout().u8(0, 0, 0, 0, 0).raw(zip64Record(44, {})));
  writeFile(path, Layout().raw(Bytes(9, 0)).raw(kLocator).raw(Bytes(22, 0)));
  Zip64Record r;
  ASSERT_TRUE(r.loadWithFileAtPath(path, 1, 3, 5));
  EXPECT_EQ(fields(r), zip64Fields(1));
  EXPECT_FALSE(r.loadWithFileAtPath(path, 2, 3, 0));
  for (auto parts : {std::pair<uint64_t, uint64_t>{0, 0}, {3, 3}, {0, 0x100000000}})
    EXPECT_EQ(raisedName([&] { r.loadWithFileAtPath(path, parts.first, parts.second, 0); }),
              RVInternalInconsistencyException);
  EXPECT_EQ(raisedName([&] { r.loadWithFileAtPath(dir / "b.zip", 0, 1, 0); }),
            RVFileSystemException);

  Locator l;
  ASSERT_TRUE(l.loadWithFileAtPath(path, 9));
  EXPECT_EQ(fields(l), Fields({E32 - 1, 0x123456789A, E32}));
  EXPECT_FALSE(l.loadWithFileAtPath(path, 0));
  EXPECT_EQ(raisedName([&] { l.loadWithFileAtPath(path, 9 + 20 + 22 - 2); }), kEnd);
  EXPECT_EQ(raisedName([&] { l.loadWithFileAtPath(dir / "none", 0); }), RVFileSystemException);
}

}  // namespace
