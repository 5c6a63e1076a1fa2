// The end record, the Zip64 end record and locator, and the data descriptor:
// saved layouts, loads of hand-written records, cut-off and damaged input.
#include <gtest/gtest.h>

#include "engine/CVNZipDataDescriptor.h"
#include "engine/CVNZipEndOfCentralDirectoryRecord.h"
#include "engine/CVNZipZip64EndOfCentralDirectoryLocator.h"
#include "engine/CVNZipZip64EndOfCentralDirectoryRecord.h"
#include "engine/io/RVDataHandle.h"
#include "engine/io/RVException.h"
#include "support/TestSupport.h"
#include "support/ZipRecordTestSupport.h"

namespace {

using corvana_test::Bytes;
using corvana_test::Layout;
using corvana_test::raisedName;
using corvana_test::TempDir;
using corvana_test::textBytes;
using corvana_test::TrickleHandle;

const std::string kEnd(RVIOHandleEndOfBytesException);

template <typename Record>
Bytes saved(Record& r) {
  RVDataHandle h;
  r.saveWithIOHandle(h);
  return h.data();
}

// --- End record ---

Bytes endRecord(const std::string& comment) {
  return Layout()
      .u32(0x06054B50)
      .u16(1)
      .u16(2)
      .u16(3)
      .u16(4)
      .u32(5)
      .u32(6)
      .u16(comment.size())
      .text(comment);
}

TEST(CVNZipEndOfCentralDirectoryRecordTest, SavesAndLoadsWithAndWithoutComment) {
  EXPECT_EQ(CVNZipEndOfCentralDirectoryRecord::_signature(), 0x06054B50u);
  EXPECT_EQ(CVNZipEndOfCentralDirectoryRecord::fixedSize(), 22u);
  for (std::string comment : {"", "hello"}) {
    CVNZipEndOfCentralDirectoryRecord r;
    r.setNumberOfThisDisk(1);
    r.setNumberOfTheDiskWithTheStartOfTheCentralDirectory(2);
    r.setTotalNumberOfEntriesInTheCentralDirectoryOnThisDisk(3);
    r.setTotalNumberOfEntriesInTheCentralDirectory(4);
    r.setSizeOfTheCentralDirectory(5);
    r.setOffsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber(6);
    if (!comment.empty()) r.setZipFileComment(textBytes(comment));
    EXPECT_EQ(saved(r), endRecord(comment));

    CVNZipEndOfCentralDirectoryRecord back;
    RVDataHandle h(endRecord(comment));
    ASSERT_TRUE(back.loadWithIOHandle(h));
    EXPECT_EQ(h.offset(), 22 + comment.size());
    EXPECT_EQ(back.numberOfThisDisk(), 1);
    EXPECT_EQ(back.numberOfTheDiskWithTheStartOfTheCentralDirectory(), 2);
    EXPECT_EQ(back.totalNumberOfEntriesInTheCentralDirectoryOnThisDisk(), 3);
    EXPECT_EQ(back.totalNumberOfEntriesInTheCentralDirectory(), 4);
    EXPECT_EQ(back.sizeOfTheCentralDirectory(), 5u);
    EXPECT_EQ(back.offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber(), 6u);
    ASSERT_TRUE(back.zipFileComment());
    EXPECT_EQ(*back.zipFileComment(), textBytes(comment));
  }
}

TEST(CVNZipEndOfCentralDirectoryRecordTest, EscapeValuesLoadUnchanged) {
  Bytes b = Layout()
                .u32(0x06054B50)
                .u16(0xFFFF)
                .u16(0xFFFF)
                .u16(0xFFFF)
                .u16(0xFFFF)
                .u32(0xFFFFFFFF)
                .u32(0xFFFFFFFF)
                .u16(0);
  CVNZipEndOfCentralDirectoryRecord r;
  RVDataHandle h(b);
  ASSERT_TRUE(r.loadWithIOHandle(h));
  EXPECT_EQ(r.numberOfThisDisk(), 0xFFFF);
  EXPECT_EQ(r.totalNumberOfEntriesInTheCentralDirectory(), 0xFFFF);
  EXPECT_EQ(r.sizeOfTheCentralDirectory(), 0xFFFFFFFFu);
  EXPECT_EQ(r.offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber(), 0xFFFFFFFFu);
  EXPECT_EQ(saved(r), b);
}

TEST(CVNZipEndOfCentralDirectoryRecordTest, WrongSignatureAndCutOffRecords) {
  Bytes b = endRecord("hello");
  for (uint64_t step : {uint64_t(1), uint64_t(1000)}) {
    // A Zip64 locator's signature: false, nothing changed, four bytes on.
    Bytes other = b;
    other[2] = 0x06;
    other[3] = 0x07;
    TrickleHandle wrong(other, step);
    CVNZipEndOfCentralDirectoryRecord r;
    EXPECT_FALSE(r.loadWithIOHandle(wrong));
    EXPECT_EQ(wrong.offset(), 4u);
    EXPECT_EQ(r.numberOfThisDisk(), 0);
    EXPECT_FALSE(r.zipFileComment());

    // Cut off at each length: the fields whose bytes arrived are set.
    for (size_t length = 0; length < b.size(); ++length) {
      TrickleHandle h(std::span<const uint8_t>(b).first(length), step);
      CVNZipEndOfCentralDirectoryRecord cut;
      EXPECT_EQ(raisedName([&] { cut.loadWithIOHandle(h); }), kEnd) << length;
      EXPECT_EQ(h.offset(), length);
      EXPECT_EQ(cut.numberOfThisDisk(), length >= 6 ? 1 : 0) << length;
      EXPECT_EQ(cut.totalNumberOfEntriesInTheCentralDirectory(), length >= 12 ? 4 : 0) << length;
      EXPECT_EQ(cut.sizeOfTheCentralDirectory(), length >= 16 ? 5u : 0u) << length;
      EXPECT_EQ(cut.offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber(),
                length >= 20 ? 6u : 0u)
          << length;
      EXPECT_FALSE(cut.zipFileComment()) << length;
    }
  }
}

TEST(CVNZipEndOfCentralDirectoryRecordTest, OverlongCommentIsRefusedBeforeAnyByte) {
  CVNZipEndOfCentralDirectoryRecord r;
  r.setZipFileComment(Bytes(65535, 'c'));
  EXPECT_EQ(saved(r).size(), 22u + 65535);
  r.setZipFileComment(Bytes(65536, 'c'));
  RVDataHandle h;
  EXPECT_EQ(raisedName([&] { r.saveWithIOHandle(h); }), RVInvalidArgumentException);
  EXPECT_TRUE(h.data().empty());
}

// --- Zip64 end record ---

Bytes zip64Record(uint64_t size, const Bytes& sector) {
  return Layout()
      .u32(0x06064B50)
      .u64(size)
      .u16(62)
      .u16(45)
      .u32(0x11111111)
      .u32(0x22222222)
      .u64(0x3333333333)
      .u64(0x4444444444)
      .u64(0x5555555555)
      .u64(0x6666666666)
      .raw(sector);
}

CVNZipZip64EndOfCentralDirectoryRecord filledZip64() {
  CVNZipZip64EndOfCentralDirectoryRecord r;
  r.setVersionMadeBy(62);
  r.setVersionNeededToExtract(45);
  r.setNumberOfThisDisk(0x11111111);
  r.setNumberOfTheDiskWithTheStartOfTheCentralDirectory(0x22222222);
  r.setTotalNumberOfEntriesInTheCentralDirectoryOnThisDisk(0x3333333333);
  r.setTotalNumberOfEntriesInTheCentralDirectory(0x4444444444);
  r.setSizeOfTheCentralDirectory(0x5555555555);
  r.setOffsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber(0x6666666666);
  return r;
}

bool sameFields(const CVNZipZip64EndOfCentralDirectoryRecord& a,
                const CVNZipZip64EndOfCentralDirectoryRecord& b) {
  return a.versionMadeBy() == b.versionMadeBy() &&
         a.versionNeededToExtract() == b.versionNeededToExtract() &&
         a.numberOfThisDisk() == b.numberOfThisDisk() &&
         a.numberOfTheDiskWithTheStartOfTheCentralDirectory() ==
             b.numberOfTheDiskWithTheStartOfTheCentralDirectory() &&
         a.totalNumberOfEntriesInTheCentralDirectoryOnThisDisk() ==
             b.totalNumberOfEntriesInTheCentralDirectoryOnThisDisk() &&
         a.totalNumberOfEntriesInTheCentralDirectory() ==
             b.totalNumberOfEntriesInTheCentralDirectory() &&
         a.sizeOfTheCentralDirectory() == b.sizeOfTheCentralDirectory() &&
         a.offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber() ==
             b.offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber() &&
         a.zip64ExtensibleDataSector() == b.zip64ExtensibleDataSector();
}

TEST(CVNZipZip64EndOfCentralDirectoryRecordTest, SizeFieldCountsTheSector) {
  EXPECT_EQ(CVNZipZip64EndOfCentralDirectoryRecord::_signature(), 0x06064B50u);
  CVNZipZip64EndOfCentralDirectoryRecord r = filledZip64();
  EXPECT_EQ(saved(r), zip64Record(44, {}));
  r.setZip64ExtensibleDataSector(Bytes{1, 2, 3, 4});
  EXPECT_EQ(saved(r), zip64Record(48, {1, 2, 3, 4}));

  for (const Bytes& sector : {Bytes{}, Bytes{1, 2, 3, 4}}) {
    CVNZipZip64EndOfCentralDirectoryRecord back;
    Bytes b = zip64Record(44 + sector.size(), sector);
    RVDataHandle h(b);
    ASSERT_TRUE(back.loadWithIOHandle(h));
    EXPECT_EQ(h.offset(), b.size());
    CVNZipZip64EndOfCentralDirectoryRecord expected = filledZip64();
    expected.setZip64ExtensibleDataSector(sector);
    EXPECT_TRUE(sameFields(back, expected));
  }
}

TEST(CVNZipZip64EndOfCentralDirectoryRecordTest, SizeBelowFortyFourFailsWithoutASector) {
  for (uint64_t size : {uint64_t(0), uint64_t(43)}) {
    Bytes b = zip64Record(size, {9, 9, 9});
    RVDataHandle h(b);
    CVNZipZip64EndOfCentralDirectoryRecord r;
    EXPECT_FALSE(r.loadWithIOHandle(h));
    EXPECT_EQ(h.offset(), 56u);  // the sector was not read
    EXPECT_TRUE(sameFields(r, CVNZipZip64EndOfCentralDirectoryRecord()));
  }
}

TEST(CVNZipZip64EndOfCentralDirectoryRecordTest, DamagedSectorLengths) {
  // Far more than the stream holds: the stream's end, without first allocating
  // the declared length.
  for (uint64_t size : {uint64_t(45), uint64_t(44 + (64 << 10) + 1), uint64_t(1) << 62}) {
    Bytes b = zip64Record(size, Bytes(1000, 7));
    RVDataHandle h(b);
    CVNZipZip64EndOfCentralDirectoryRecord r;
    if (size == 45) {
      ASSERT_TRUE(r.loadWithIOHandle(h));
      EXPECT_EQ(r.zip64ExtensibleDataSector()->size(), 1u);
      continue;
    }
    EXPECT_EQ(raisedName([&] { r.loadWithIOHandle(h); }), kEnd);
    EXPECT_EQ(h.offset(), b.size());
    EXPECT_EQ(r.offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber(), 0x6666666666u);
    EXPECT_FALSE(r.zip64ExtensibleDataSector());
  }
  // A length no allocation can satisfy.
  Bytes b = zip64Record(UINT64_MAX, {});
  RVDataHandle h(b);
  CVNZipZip64EndOfCentralDirectoryRecord r;
  EXPECT_EQ(raisedName([&] { r.loadWithIOHandle(h); }), RVOutOfMemoryException);
}

TEST(CVNZipZip64EndOfCentralDirectoryRecordTest, WrongSignatureAndCutOffRecords) {
  Bytes b = zip64Record(46, {1, 2});
  Bytes other = b;
  other[3] = 0x07;  // the locator's signature
  RVDataHandle wrong(other);
  CVNZipZip64EndOfCentralDirectoryRecord r;
  EXPECT_FALSE(r.loadWithIOHandle(wrong));
  EXPECT_EQ(wrong.offset(), 4u);
  EXPECT_TRUE(sameFields(r, CVNZipZip64EndOfCentralDirectoryRecord()));

  for (size_t length = 0; length < b.size(); ++length) {
    TrickleHandle h(std::span<const uint8_t>(b).first(length), 3);
    CVNZipZip64EndOfCentralDirectoryRecord cut;
    EXPECT_EQ(raisedName([&] { cut.loadWithIOHandle(h); }), kEnd) << length;
    EXPECT_EQ(h.offset(), length);
    EXPECT_EQ(cut.versionMadeBy(), length >= 14 ? 62 : 0) << length;
    EXPECT_EQ(cut.totalNumberOfEntriesInTheCentralDirectory(), length >= 40 ? 0x4444444444u : 0u)
        << length;
    EXPECT_EQ(cut.offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber(),
              length >= 56 ? 0x6666666666u : 0u)
        << length;
    EXPECT_FALSE(cut.zip64ExtensibleDataSector());
  }
}

TEST(CVNZipZip64EndOfCentralDirectoryRecordTest, LoadsByPathFromAPart) {
  TempDir dir;
  std::string path = dir / "a.zip";
  Bytes part1(5, 0);
  Bytes record = zip64Record(44, {});
  part1.insert(part1.end(), record.begin(), record.end());
  corvana_test::writeFile(dir / "a.z01", Bytes(10, 0));
  corvana_test::writeFile(dir / "a.z02", part1);
  corvana_test::writeFile(path, Bytes(22, 0));
  CVNZipZip64EndOfCentralDirectoryRecord r;
  ASSERT_TRUE(r.loadWithFileAtPath(path, 1, 3, 5));
  EXPECT_TRUE(sameFields(r, [] {
    auto e = filledZip64();
    e.setZip64ExtensibleDataSector(Bytes{});
    return e;
  }()));
  EXPECT_FALSE(r.loadWithFileAtPath(path, 2, 3, 0));
  EXPECT_EQ(raisedName([&] { r.loadWithFileAtPath(path, 0, 0, 0); }),
            RVInternalInconsistencyException);
  EXPECT_EQ(raisedName([&] { r.loadWithFileAtPath(path, 3, 3, 0); }),
            RVInternalInconsistencyException);
  EXPECT_EQ(raisedName([&] { r.loadWithFileAtPath(path, 0, 0x100000000, 0); }),
            RVInternalInconsistencyException);
  EXPECT_EQ(raisedName([&] { r.loadWithFileAtPath(dir / "b.zip", 0, 1, 0); }),
            RVFileSystemException);
}

// --- Locator ---

TEST(CVNZipZip64EndOfCentralDirectoryLocatorTest, SavesTwentyBytesAndLoadsThem) {
  EXPECT_EQ(CVNZipZip64EndOfCentralDirectoryLocator::_signature(), 0x07064B50u);
  EXPECT_EQ(CVNZipZip64EndOfCentralDirectoryLocator::fixedSize(), 20u);
  CVNZipZip64EndOfCentralDirectoryLocator r;
  r.setNumberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory(0xFFFFFFFE);
  r.setRelativeOffsetOfTheZip64EndOfCentralDirectoryRecord(0x123456789A);
  r.setTotalNumberOfDisks(0xFFFFFFFF);
  Bytes b = Layout().u32(0x07064B50).u32(0xFFFFFFFE).u64(0x123456789A).u32(0xFFFFFFFF);
  EXPECT_EQ(saved(r), b);

  CVNZipZip64EndOfCentralDirectoryLocator back;
  RVDataHandle h(b);
  ASSERT_TRUE(back.loadWithIOHandle(h));
  EXPECT_EQ(back.numberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory(), 0xFFFFFFFEu);
  EXPECT_EQ(back.relativeOffsetOfTheZip64EndOfCentralDirectoryRecord(), 0x123456789Au);
  EXPECT_EQ(back.totalNumberOfDisks(), 0xFFFFFFFFu);

  for (size_t length = 4; length < b.size(); ++length) {
    TrickleHandle cut(std::span<const uint8_t>(b).first(length), 1000);
    CVNZipZip64EndOfCentralDirectoryLocator partial;
    EXPECT_EQ(raisedName([&] { partial.loadWithIOHandle(cut); }), kEnd);
    EXPECT_EQ(partial.numberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory(),
              length >= 8 ? 0xFFFFFFFEu : 0u);
    EXPECT_EQ(partial.relativeOffsetOfTheZip64EndOfCentralDirectoryRecord(),
              length >= 16 ? 0x123456789Au : 0u);
    EXPECT_EQ(partial.totalNumberOfDisks(), 0u);
  }
}

TEST(CVNZipZip64EndOfCentralDirectoryLocatorTest, ZipSixtyFourRecordSignatureIsNotALocator) {
  Bytes b = Layout().u32(0x06064B50).u32(1).u64(2).u32(3);
  RVDataHandle h(b);
  CVNZipZip64EndOfCentralDirectoryLocator r;
  EXPECT_FALSE(r.loadWithIOHandle(h));
  EXPECT_EQ(h.offset(), 4u);
  EXPECT_EQ(r.totalNumberOfDisks(), 0u);
}

TEST(CVNZipZip64EndOfCentralDirectoryLocatorTest, LoadsByPathFromTheFileItself) {
  TempDir dir;
  std::string path = dir / "a.zip";
  Bytes b = Layout().raw(Bytes(9, 0)).u32(0x07064B50).u32(0).u64(77).u32(1).raw(Bytes(22, 0));
  corvana_test::writeFile(path, b);
  CVNZipZip64EndOfCentralDirectoryLocator r;
  ASSERT_TRUE(r.loadWithFileAtPath(path, 9));
  EXPECT_EQ(r.relativeOffsetOfTheZip64EndOfCentralDirectoryRecord(), 77u);
  EXPECT_FALSE(r.loadWithFileAtPath(path, 0));
  EXPECT_EQ(raisedName([&] { r.loadWithFileAtPath(path, b.size() - 2); }), kEnd);
  EXPECT_EQ(raisedName([&] { r.loadWithFileAtPath(dir / "none", 0); }), RVFileSystemException);
}

// --- Data descriptor ---

TEST(CVNZipDataDescriptorTest, SavesSixteenBytes) {
  EXPECT_EQ(CVNZipDataDescriptor::_signature(), 0x08074B50u);
  CVNZipDataDescriptor d;
  d.setCrc32(0xCBF43926);
  d.setCompressedSize(0xFFFFFFFF);
  d.setUncompressedSize(9);
  EXPECT_EQ(saved(d), Layout().u32(0x08074B50).u32(0xCBF43926).u32(0xFFFFFFFF).u32(9).bytes());
}

}  // namespace
