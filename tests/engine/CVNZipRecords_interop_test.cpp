// The records against archives written by Info-ZIP zip and Python's zipfile:
// the end records found from the end of the file, every central header of the
// directory, and the local header each one points to.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>

#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipEndOfCentralDirectoryRecord.h"
#include "engine/CVNZipFileHandle.h"
#include "engine/CVNZipLocalFileHeader.h"
#include "engine/CVNZipZip64EndOfCentralDirectoryLocator.h"
#include "engine/CVNZipZip64EndOfCentralDirectoryRecord.h"
#include "engine/io/RVCRC32.h"
#include "engine/io/RVDataHandle.h"
#include "engine/io/RVFileHandle.h"
#include "support/TestSupport.h"
#include "support/ZipRecordTestSupport.h"

namespace {

using corvana_test::Bytes;
using corvana_test::haveProgram;
using corvana_test::haveTimeZone;
using corvana_test::runCommand;
using corvana_test::ScopedTimeZone;
using corvana_test::shellQuote;
using corvana_test::TempDir;
using corvana_test::textBytes;

constexpr int64_t kModified = 1700000000;  // even, so that DOS seconds keep it
constexpr int64_t kAccessed = 1600000000;

void writeWithTimes(const std::string& path, const std::string& text) {
  corvana_test::writeFile(path, text);
  struct timespec times[2] = {{kAccessed, 0}, {kModified, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

uint32_t crcOf(const std::string& text) {
  return RVCRC32Final(RVCRC32Update(RVCRC32Init(), text.data(), int64_t(text.size())));
}

std::string nameOf(const CVNZipCentralFileHeader& h) {
  return std::string(h.fileName()->begin(), h.fileName()->end());
}

struct Directory {
  CVNZipEndOfCentralDirectoryRecord end;
  bool zip64 = false;
  CVNZipZip64EndOfCentralDirectoryLocator locator;
  CVNZipZip64EndOfCentralDirectoryRecord zip64Record;
  uint64_t thisDisk = 0, startDisk = 0, entries = 0, offset = 0;
  std::vector<CVNZipCentralFileHeader> headers;
  std::vector<CVNZipLocalFileHeader> locals;
};

// Finds the end record from the back of the last part, follows the Zip64
// locator when there is one, and loads the directory and every local header.
Directory readDirectory(const std::string& path) {
  Directory d;
  auto file = RVFileHandle::forReadingAtPath(path);
  uint64_t size = file->seekToEnd();
  uint64_t at = size - 22;
  for (;; --at) {
    file->seekToOffset(at);
    if (d.end.loadWithIOHandle(*file) && file->offset() == size) break;
    if (at == 0) throw std::runtime_error("no end record");
  }
  d.thisDisk = d.end.numberOfThisDisk();
  d.startDisk = d.end.numberOfTheDiskWithTheStartOfTheCentralDirectory();
  d.entries = d.end.totalNumberOfEntriesInTheCentralDirectory();
  d.offset = d.end.offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber();
  if (at >= 20 && d.locator.loadWithFileAtPath(path, at - 20)) {
    d.zip64 = d.zip64Record.loadWithFileAtPath(
        path, d.locator.numberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory(),
        d.locator.totalNumberOfDisks(),
        d.locator.relativeOffsetOfTheZip64EndOfCentralDirectoryRecord());
    EXPECT_TRUE(d.zip64);
    if (d.offset == 0xFFFFFFFF)
      d.offset = d.zip64Record.offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber();
    if (d.entries == 0xFFFF) d.entries = d.zip64Record.totalNumberOfEntriesInTheCentralDirectory();
  }
  auto directory = CVNZipFileHandle::forReadingAtPathMaxDiskIndex(
      path, static_cast<uint32_t>(d.startDisk), static_cast<uint32_t>(d.thisDisk));
  directory->seekToOffset(d.offset);
  for (;;) {
    CVNZipCentralFileHeader h;
    if (!h.loadWithIOHandle(*directory)) break;
    CVNZipLocalFileHeader local;
    EXPECT_TRUE(local.loadWithFileAtPath(path, h.diskNumberStart(), d.thisDisk,
                                         h.relativeOffsetOfLocalHeader()))
        << nameOf(h);
    d.headers.push_back(std::move(h));
    d.locals.push_back(std::move(local));
  }
  EXPECT_EQ(d.headers.size(), d.entries);
  return d;
}

// Saving a loaded header and loading the bytes again keeps what matters to the
// reader (the extra block is rebuilt, the version needed recomputed).
void expectSurvivesOurSave(CVNZipCentralFileHeader h) {
  RVDataHandle out;
  h.saveWithIOHandle(out);
  RVDataHandle in(out.data());
  CVNZipCentralFileHeader back;
  ASSERT_TRUE(back.loadWithIOHandle(in));
  EXPECT_EQ(back.fileName(), h.fileName());
  EXPECT_EQ(back.crc32(), h.crc32());
  EXPECT_EQ(back.compressedSize(), h.compressedSize());
  EXPECT_EQ(back.uncompressedSize(), h.uncompressedSize());
  EXPECT_EQ(back.relativeOffsetOfLocalHeader(), h.relativeOffsetOfLocalHeader());
  EXPECT_EQ(back.diskNumberStart(), h.diskNumberStart());
  EXPECT_EQ(back.modificationEpoch(), h.modificationEpoch());
}

class CVNZipRecordsInteropTest : public testing::Test {
 protected:
  void SetUp() override {
    // Both sides must agree on the zone for DOS times; the peers inherit it.
    zone_ = std::make_unique<ScopedTimeZone>(haveTimeZone("Europe/Berlin") ? "Europe/Berlin"
                                                                           : "CET-1CEST");
    writeWithTimes(dir_ / "a.txt", "hello\n");
    ASSERT_EQ(mkdir((dir_ / "d").c_str(), 0755), 0);
    writeWithTimes(dir_ / "d/b.txt", std::string(3000, 'b'));
  }
  std::string in(const std::string& command) {
    return "cd " + shellQuote(dir_.path()) + " && " + command;
  }

  TempDir dir_;
  std::unique_ptr<ScopedTimeZone> zone_;
};

TEST_F(CVNZipRecordsInteropTest, InfoZipDirectory) {
  if (!haveProgram("zip")) GTEST_SKIP() << "zip is not installed";
  ASSERT_EQ(
      runCommand(in("zip -q -r plain.zip a.txt d && echo 'the comment' | zip -q -z plain.zip")), 0);
  Directory d = readDirectory(dir_ / "plain.zip");
  EXPECT_FALSE(d.zip64);
  ASSERT_TRUE(d.end.zipFileComment());
  EXPECT_EQ(*d.end.zipFileComment(), textBytes("the comment"));  // zip drops the newline
  ASSERT_EQ(d.headers.size(), 3u);
  EXPECT_EQ(nameOf(d.headers[0]), "a.txt");
  EXPECT_EQ(nameOf(d.headers[1]), "d/");
  EXPECT_EQ(nameOf(d.headers[2]), "d/b.txt");
  for (size_t i = 0; i < d.headers.size(); ++i) {
    const CVNZipCentralFileHeader& h = d.headers[i];
    EXPECT_EQ(h.versionMadeBy() >> 8, 3) << nameOf(h);  // Unix
    // Info-ZIP's extended timestamp wins over the DOS fields.
    if (i != 1) {
      EXPECT_EQ(h.modificationEpoch(), kModified) << nameOf(h);
    }
    EXPECT_EQ(d.locals[i].fileName(), h.fileName());
    EXPECT_EQ(d.locals[i].modificationEpoch(), h.modificationEpoch());
    EXPECT_EQ(d.locals[i].crc32(), h.crc32());
    expectSurvivesOurSave(h);
  }
  EXPECT_EQ(d.headers[0].uncompressedSize(), 6u);
  EXPECT_EQ(d.headers[0].crc32(), crcOf("hello\n"));
  EXPECT_EQ(d.headers[2].uncompressedSize(), 3000u);
  EXPECT_EQ(d.headers[2].compressionMethod(), 8);
  EXPECT_EQ(d.headers[2].crc32(), crcOf(std::string(3000, 'b')));
  EXPECT_EQ(d.locals[2].compressedSize(), d.headers[2].compressedSize());
  // The local header also carries the access time.
  EXPECT_EQ(d.locals[0].accessEpoch(), kAccessed);
  EXPECT_EQ(d.headers[2].fileNameString(), std::u16string(u"d/b.txt"));
}

TEST_F(CVNZipRecordsInteropTest, InfoZipForcedZip64) {
  if (!haveProgram("zip")) GTEST_SKIP() << "zip is not installed";
  ASSERT_EQ(runCommand(in("zip -q -fz z64.zip a.txt d/b.txt")), 0);
  Directory d = readDirectory(dir_ / "z64.zip");
  ASSERT_TRUE(d.zip64);
  EXPECT_EQ(d.zip64Record.totalNumberOfEntriesInTheCentralDirectory(), 2u);
  EXPECT_EQ(d.zip64Record.versionNeededToExtract(), 45);
  EXPECT_TRUE(d.zip64Record.zip64ExtensibleDataSector()->empty());
  EXPECT_EQ(d.locator.totalNumberOfDisks(), 1u);
  ASSERT_EQ(d.headers.size(), 2u);
  EXPECT_EQ(d.headers[0].uncompressedSize(), 6u);
  EXPECT_EQ(d.locals[0].uncompressedSize(), 6u);
  EXPECT_EQ(d.locals[1].uncompressedSize(), 3000u);
  EXPECT_EQ(d.locals[1].compressedSize(), d.headers[1].compressedSize());
  EXPECT_EQ(d.headers[0].versionNeededToExtract(), 45);
}

TEST_F(CVNZipRecordsInteropTest, InfoZipSplitArchive) {
  if (!haveProgram("zip")) GTEST_SKIP() << "zip is not installed";
  Bytes noise(200000);
  uint32_t x = 12345;
  for (uint8_t& b : noise) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 24);
  corvana_test::writeFile(dir_ / "noise.bin", noise);
  ASSERT_EQ(runCommand(in("zip -q -s 64k split.zip noise.bin a.txt")), 0);
  ASSERT_TRUE(corvana_test::exists(dir_ / "split.z03"));
  Directory d = readDirectory(dir_ / "split.zip");
  EXPECT_EQ(d.thisDisk, 3u);
  ASSERT_EQ(d.headers.size(), 2u);
  EXPECT_EQ(d.headers[0].diskNumberStart(), 0u);
  EXPECT_GT(d.headers[1].diskNumberStart(), 0u);  // found on a later part
  EXPECT_EQ(d.headers[0].uncompressedSize(), 200000u);
  EXPECT_EQ(nameOf(d.headers[1]), "a.txt");
  EXPECT_EQ(d.locals[1].crc32(), crcOf("hello\n"));
}

TEST_F(CVNZipRecordsInteropTest, PythonZipfileDirectory) {
  if (!haveProgram("python3")) GTEST_SKIP() << "python3 is not installed";
  // A count limit of 1 makes zipfile write the Zip64 end records for three entries.
  const char* script = R"(
import sys, zipfile
zipfile.ZIP_FILECOUNT_LIMIT = 1
with zipfile.ZipFile('py.zip', 'w') as z:
    z.comment = b'py comment'
    z.write('a.txt')
    z.write('d/b.txt', compress_type=zipfile.ZIP_DEFLATED)
    z.writestr('\u65e5\u672c.txt', b'x')
    with z.open('forced', 'w', force_zip64=True) as f:
        f.write(b'abc')
)";
  corvana_test::writeFile(dir_ / "make.py", std::string(script));
  std::string output;
  ASSERT_EQ(runCommand(in("python3 make.py"), &output), 0) << output;
  Directory d = readDirectory(dir_ / "py.zip");
  ASSERT_TRUE(d.zip64);
  EXPECT_EQ(d.zip64Record.totalNumberOfEntriesInTheCentralDirectory(), 4u);
  EXPECT_EQ(*d.end.zipFileComment(), textBytes("py comment"));
  ASSERT_EQ(d.headers.size(), 4u);
  // No extra fields: the time comes from the DOS fields, in local time.
  EXPECT_EQ(d.headers[0].modificationEpoch(), kModified);
  EXPECT_EQ(d.locals[0].modificationEpoch(), kModified);
  EXPECT_EQ(d.locals[0].accessEpoch(), -1);
  EXPECT_EQ(d.headers[1].compressionMethod(), 8);
  EXPECT_EQ(d.headers[1].crc32(), crcOf(std::string(3000, 'b')));
  EXPECT_EQ(d.headers[2].generalPurposeBitFlag() & 0x0800, 0x0800);
  EXPECT_EQ(d.headers[2].fileNameString(), std::u16string(u"日本.txt"));
  // The forced local header escapes both sizes into its Zip64 field.
  EXPECT_EQ(d.locals[3].versionNeededToExtract(), 45);
  EXPECT_EQ(d.locals[3].uncompressedSize(), 3u);
  EXPECT_EQ(d.locals[3].compressedSize(), 3u);
  for (const auto& h : d.headers) expectSurvivesOurSave(h);
}

}  // namespace
