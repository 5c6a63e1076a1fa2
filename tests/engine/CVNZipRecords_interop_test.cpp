// The records against archives written by Info-ZIP zip and Python's zipfile:
// the end records found from the end of the file, every central header of the
// directory, and the local header each one points to.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <tuple>

#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipEndOfCentralDirectoryRecord.h"
#include "engine/CVNZipFileHandle.h"
#include "engine/CVNZipLocalFileHeader.h"
#include "engine/CVNZipZip64EndOfCentralDirectoryLocator.h"
#include "engine/CVNZipZip64EndOfCentralDirectoryRecord.h"
#include "engine/io/RVCRC32.h"
#include "engine/io/RVFileHandle.h"
#include "support/PeerArchivers.h"
#include "support/ZipRecordTestSupport.h"

namespace {

using namespace corvana_test;

constexpr int64_t kModified = 1700000000, kAccessed = 1600000000;  // even, as DOS seconds are
const std::string kHello = "hello\n", kBees(3000, 'b');

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
  std::vector<CVNZipCentralFileHeader> headers;
  std::vector<CVNZipLocalFileHeader> locals;
};

// Finds the end record from the back of the last part, follows the Zip64
// locator when there is one, and loads the directory and every local header.
Directory readDirectory(const std::string& path) {
  Directory d;
  auto file = RVFileHandle::forReadingAtPath(path);
  uint64_t size = file->seekToEnd(), at = size - 22;
  for (;; --at) {
    file->seekToOffset(at);
    if (d.end.loadWithIOHandle(*file) && file->offset() == size) break;
    if (at == 0) throw std::runtime_error("no end record");
  }
  uint32_t thisDisk = d.end.numberOfThisDisk();
  uint64_t entries = d.end.totalNumberOfEntriesInTheCentralDirectory();
  uint64_t offset = d.end.offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber();
  if (at >= 20 && d.locator.loadWithFileAtPath(path, at - 20)) {
    d.zip64 = d.zip64Record.loadWithFileAtPath(
        path, d.locator.numberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory(),
        d.locator.totalNumberOfDisks(),
        d.locator.relativeOffsetOfTheZip64EndOfCentralDirectoryRecord());
    EXPECT_TRUE(d.zip64);
    if (offset == 0xFFFFFFFF)
      offset = d.zip64Record.offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber();
    if (entries == 0xFFFF) entries = d.zip64Record.totalNumberOfEntriesInTheCentralDirectory();
  }
  auto directory = CVNZipFileHandle::forReadingAtPathMaxDiskIndex(
      path, d.end.numberOfTheDiskWithTheStartOfTheCentralDirectory(), thisDisk);
  directory->seekToOffset(offset);
  for (CVNZipCentralFileHeader h; h.loadWithIOHandle(*directory); h = {}) {
    CVNZipLocalFileHeader local;
    EXPECT_TRUE(local.loadWithFileAtPath(path, h.diskNumberStart(), thisDisk,
                                         h.relativeOffsetOfLocalHeader()))
        << nameOf(h);
    d.headers.push_back(h);
    d.locals.push_back(local);
  }
  EXPECT_EQ(d.headers.size(), entries);
  return d;
}

using Expected = std::tuple<std::string, uint64_t, uint32_t>;  // name, size, CRC

// Each central header against `expected` and the local header it points to;
// and saving it and loading the bytes again keeps what matters to the reader
// (the extra block is rebuilt, the version needed recomputed).
void expectEntries(const Directory& d, const std::vector<Expected>& expected) {
  ASSERT_EQ(d.headers.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const CVNZipCentralFileHeader& h = d.headers[i];
    const CVNZipLocalFileHeader& local = d.locals[i];
    SCOPED_TRACE(nameOf(h));
    EXPECT_EQ(std::tuple(nameOf(h), h.uncompressedSize(), h.crc32()), expected[i]);
    EXPECT_EQ(std::tuple(local.fileName(), local.crc32(), local.compressedSize(),
                         local.uncompressedSize(), local.modificationEpoch()),
              std::tuple(h.fileName(), h.crc32(), h.compressedSize(), h.uncompressedSize(),
                         h.modificationEpoch()));
    auto fields = [](const CVNZipCentralFileHeader& r) {
      return std::tuple(r.fileName(), r.crc32(), r.compressedSize(), r.uncompressedSize(),
                        r.relativeOffsetOfLocalHeader(), r.diskNumberStart(),
                        r.modificationEpoch());
    };
    CVNZipCentralFileHeader copy = h;
    EXPECT_EQ(fields(loaded<CVNZipCentralFileHeader>(saved(copy))), fields(h));
  }
}

class CVNZipRecordsInteropTest : public testing::Test {
 protected:
  void SetUp() override {
    // Both sides must agree on the zone for DOS times; the peers inherit it.
    zone_.emplace(haveTimeZone("Europe/Berlin") ? "Europe/Berlin" : "CET-1CEST");
    ASSERT_EQ(mkdir((dir_ / "d").c_str(), 0755), 0);
    for (const auto& [name, text] : {std::pair("a.txt", kHello), std::pair("d/b.txt", kBees)}) {
      writeFile(dir_ / name, text);
      struct timespec times[2] = {{kAccessed, 0}, {kModified, 0}};
      ASSERT_EQ(utimensat(AT_FDCWD, (dir_ / name).c_str(), times, 0), 0);
    }
  }
  // Runs `command` in the folder and reads the directory of the `archive` it made.
  Directory made(const std::string& command, const std::string& archive) {
    PeerRun peer = runIn(dir_.path(), command);
    EXPECT_TRUE(peer.ok()) << peer;
    return readDirectory(dir_ / archive);
  }

  TempDir dir_;
  std::optional<ScopedTimeZone> zone_;
};

TEST_F(CVNZipRecordsInteropTest, InfoZipDirectory) {
  CORVANA_SKIP_WITHOUT_PEER("zip");
  Directory d =
      made("zip -q -r plain.zip a.txt d && echo 'the comment' | zip -q -z plain.zip", "plain.zip");
  EXPECT_FALSE(d.zip64);
  EXPECT_EQ(d.end.zipFileComment(), bytes("the comment"));  // zip drops the newline
  expectEntries(d, {{"a.txt", 6, crcOf(kHello)}, {"d/", 0, 0}, {"d/b.txt", 3000, crcOf(kBees)}});
  for (const CVNZipCentralFileHeader& h : d.headers) EXPECT_EQ(h.versionMadeBy() >> 8, 3);
  // Info-ZIP's extended timestamp wins over the DOS fields; the local one also has the access time.
  EXPECT_EQ(std::tuple(d.headers[0].modificationEpoch(), d.headers[2].modificationEpoch(),
                       d.locals[0].accessEpoch(), d.headers[2].compressionMethod()),
            std::tuple(kModified, kModified, kAccessed, 8));
  EXPECT_EQ(d.headers[2].fileNameString(), std::u16string(u"d/b.txt"));
}

TEST_F(CVNZipRecordsInteropTest, InfoZipForcedZip64) {
  CORVANA_SKIP_WITHOUT_PEER("zip");
  Directory d = made("zip -q -fz z64.zip a.txt d/b.txt", "z64.zip");
  ASSERT_TRUE(d.zip64);
  expectEntries(d, {{"a.txt", 6, crcOf(kHello)}, {"d/b.txt", 3000, crcOf(kBees)}});
  EXPECT_EQ(std::tuple(d.zip64Record.totalNumberOfEntriesInTheCentralDirectory(),
                       d.zip64Record.versionNeededToExtract(), d.locator.totalNumberOfDisks(),
                       d.headers[0].versionNeededToExtract()),
            std::tuple(2u, 45, 1u, 45));
  EXPECT_EQ(d.zip64Record.zip64ExtensibleDataSector(), Bytes{});
}

TEST_F(CVNZipRecordsInteropTest, InfoZipSplitArchive) {
  CORVANA_SKIP_WITHOUT_PEER("zip");
  std::string noise(200000, 0);
  uint32_t x = 12345;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
  writeFile(dir_ / "noise.bin", noise);
  Directory d = made("zip -q -s 64k split.zip noise.bin a.txt", "split.zip");
  EXPECT_EQ(d.end.numberOfThisDisk(), 3u);  // split.z01 to split.z03, then split.zip
  expectEntries(d, {{"noise.bin", 200000, crcOf(noise)}, {"a.txt", 6, crcOf(kHello)}});
  EXPECT_EQ(d.headers[0].diskNumberStart(), 0u);
  EXPECT_GT(d.headers[1].diskNumberStart(), 0u);  // found on a later part
}

TEST_F(CVNZipRecordsInteropTest, PythonZipfileDirectory) {
  CORVANA_SKIP_WITHOUT_PEER("python3");
  // A count limit of 1 makes zipfile write the Zip64 end records for four entries.
  writeFile(dir_ / "make.py", std::string(R"(
import zipfile
zipfile.ZIP_FILECOUNT_LIMIT = 1
with zipfile.ZipFile('py.zip', 'w') as z:
    z.comment = b'py comment'
    z.write('a.txt')
    z.write('d/b.txt', compress_type=zipfile.ZIP_DEFLATED)
    z.writestr('\u65e5\u672c.txt', b'x')
    with z.open('forced', 'w', force_zip64=True) as f:
        f.write(b'abc')
)"));
  Directory d = made("python3 make.py", "py.zip");
  ASSERT_TRUE(d.zip64);
  EXPECT_EQ(d.zip64Record.totalNumberOfEntriesInTheCentralDirectory(), 4u);
  EXPECT_EQ(d.end.zipFileComment(), bytes("py comment"));
  expectEntries(d, {{"a.txt", 6, crcOf(kHello)},
                    {"d/b.txt", 3000, crcOf(kBees)},
                    {"日本.txt", 1, crcOf("x")},
                    {"forced", 3, crcOf("abc")}});
  // No extra fields: the time comes from the DOS fields, in local time, and there is no
  // access time; the name has the UTF-8 flag; the forced local header escapes both sizes.
  EXPECT_EQ(
      std::tuple(d.headers[0].modificationEpoch(), d.locals[0].accessEpoch(),
                 d.headers[1].compressionMethod(), d.headers[2].generalPurposeBitFlag() & 0x0800,
                 d.locals[3].versionNeededToExtract()),
      std::tuple(kModified, -1, 8, 0x0800, 45));
  EXPECT_EQ(d.headers[2].fileNameString(), std::u16string(u"日本.txt"));
}

}  // namespace
