// Archives past the classic limits, written by our writer and read by the
// peers and by our reader: 65,535 entries (the first count that needs the Zip64
// end records) against 65,534 (the last that does not), and one stored file of
// 4 GiB + 1 byte, whose local header grows by the Zip64 field when it is
// rewritten, so that the whole entry's data has to move.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileReader.h"
#include "engine/CVNZipFileWriter.h"
#include "support/PeerArchivers.h"
#include "support/TestSupport.h"

namespace {

using corvana_test::PeerRun;
using corvana_test::TempDir;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t kGiB = uint64_t(1) << 30;
constexpr uint64_t kRequiredFreeSpace = 12 * kGiB;

std::string temporaryFolder() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

// Skips the test unless the temporary folder has room for the big archives.
#define SKIP_WITHOUT_FREE_SPACE()                                                                \
  do {                                                                                           \
    struct statvfs fs;                                                                           \
    const std::string folder = temporaryFolder();                                                \
    ASSERT_EQ(::statvfs(folder.c_str(), &fs), 0) << folder;                                      \
    const uint64_t available = uint64_t(fs.f_bavail) * fs.f_frsize;                              \
    if (available < kRequiredFreeSpace)                                                          \
      GTEST_SKIP() << "needs 12 GiB free in " << folder << ", has " << available / (1024 * 1024) \
                   << " MiB";                                                                    \
  } while (0)

Bytes readAt(int fd, uint64_t offset, size_t length) {
  Bytes bytes(length);
  EXPECT_EQ(::pread(fd, bytes.data(), length, static_cast<off_t>(offset)), ssize_t(length));
  return bytes;
}

uint64_t le(const Bytes& b, size_t at, int width) {
  uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = v << 8 | b[at + i];
  return v;
}

uint64_t fileSize(const std::string& path) {
  struct stat status;
  EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
  return static_cast<uint64_t>(status.st_size);
}

// Runs unzip -t and 7z t where they are installed; names those that are not.
void expectPeersAccept(const std::string& archive, std::string* missing) {
  if (corvana_test::haveProgram("unzip")) {
    PeerRun run = corvana_test::unzipTest(archive);
    EXPECT_TRUE(run.ok()) << "unzip -t " << run;
  } else {
    *missing += " unzip";
  }
  if (corvana_test::haveProgram("7z")) {
    PeerRun run = corvana_test::sevenZipTest(archive);
    EXPECT_TRUE(run.ok()) << "7z t " << run;
  } else {
    *missing += " 7z";
  }
}

std::string entryName(uint64_t index) {
  std::string name = std::to_string(index);
  return std::string(5 - name.size(), '0') + name;
}

class ManyEntries : public testing::TestWithParam<uint64_t> {};

TEST_P(ManyEntries, Zip64EndRecordsOnlyFrom65535Entries) {
  SKIP_WITHOUT_FREE_SPACE();
  const uint64_t count = GetParam();
  const bool needsZip64 = count >= 0xFFFF;
  TempDir dir;
  const std::string source = dir / "empty.txt";
  corvana_test::writeFile(source, std::string());
  std::string archive;
  {
    CVNZipFileWriter writer(dir / "many.zip");
    for (uint64_t i = 0; i < count; ++i) {
      std::u16string name;
      for (char c : entryName(i)) name += char16_t(c);
      ASSERT_EQ(writer.writeFileName(name, source, 0), CVNZipResultSucceeded) << i;
    }
    writer.closeFile();
    archive = writer.path();
  }

  // The records behind the central directory, byte by byte.
  const uint64_t size = fileSize(archive);
  const int fd = ::open(archive.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  const Bytes end = readAt(fd, size - 22, 22);
  EXPECT_EQ(le(end, 0, 4), 0x06054B50u);
  EXPECT_EQ(le(end, 8, 2), needsZip64 ? 0xFFFFu : count);
  EXPECT_EQ(le(end, 10, 2), needsZip64 ? 0xFFFFu : count);
  const uint64_t directorySize = le(end, 12, 4), directoryOffset = le(end, 16, 4);
  EXPECT_EQ(le(end, 20, 2), 0u) << "comment length";
  if (needsZip64) {
    const Bytes locator = readAt(fd, size - 22 - 20, 20);
    const Bytes record = readAt(fd, size - 22 - 20 - 56, 56);
    EXPECT_EQ(le(locator, 0, 4), 0x07064B50u);
    EXPECT_EQ(le(locator, 4, 4), 0u) << "disk of the Zip64 end record";
    EXPECT_EQ(le(locator, 8, 8), size - 22 - 20 - 56) << "offset of the Zip64 end record";
    EXPECT_EQ(le(locator, 16, 4), 1u) << "total number of disks";
    EXPECT_EQ(le(record, 0, 4), 0x06064B50u);
    EXPECT_EQ(le(record, 4, 8), 44u) << "size of the Zip64 end record";
    EXPECT_EQ(le(record, 12, 2), 62u) << "version made by";
    EXPECT_EQ(le(record, 14, 2), 45u) << "version needed";
    EXPECT_EQ(le(record, 16, 4), 0u);
    EXPECT_EQ(le(record, 20, 4), 0u);
    EXPECT_EQ(le(record, 24, 8), count);
    EXPECT_EQ(le(record, 32, 8), count);
    EXPECT_EQ(le(record, 40, 8), directorySize);
    EXPECT_EQ(le(record, 48, 8), directoryOffset);
    EXPECT_EQ(directoryOffset + directorySize, size - 22 - 20 - 56);
  } else {
    // Nothing between the last central header and the end record.
    EXPECT_EQ(directoryOffset + directorySize, size - 22);
    EXPECT_NE(le(readAt(fd, size - 22 - 20, 4), 0, 4), 0x07064B50u);
  }
  ::close(fd);

  std::string missing;
  expectPeersAccept(archive, &missing);

  // Every name in order through our reader; a sample of entries extracted.
  auto reader = CVNZipFileReader::withZipFileAtPath(archive);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->totalNumberOfEntriesInTheCentralDirectory(), count);
  EXPECT_EQ(reader->totalNumberOfEntriesInTheCentralDirectoryOnThisDisk(), count);
  EXPECT_EQ(reader->sizeOfTheCentralDirectory(), directorySize);
  const std::string out = dir / "out";
  ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
  reader->setDirectoryPath(out);
  uint64_t index = 0;
  size_t extracted = 0;
  while (auto header = reader->readCentralFileHeader()) {
    const std::string expected = entryName(index);
    ASSERT_EQ(header->fileName(), Bytes(expected.begin(), expected.end())) << index;
    if (index % 4096 == 0 || index == count - 1) {
      EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*header),
                CVNZipResultSucceeded)
          << index;
      EXPECT_TRUE(corvana_test::exists(out + "/" + expected)) << index;
      ++extracted;
    }
    ++index;
  }
  EXPECT_EQ(index, count);
  EXPECT_EQ(corvana_test::listFolder(out).size(), extracted);
  if (!missing.empty()) GTEST_SKIP() << "not installed:" << missing << "; the rest passed";
}

INSTANTIATE_TEST_SUITE_P(Counts, ManyEntries, testing::Values(uint64_t(65535), uint64_t(65534)),
                         [](const testing::TestParamInfo<uint64_t>& info) {
                           return "entries" + std::to_string(info.param);
                         });

// A sparse source, so that only the archive and the extracted copy take disk;
// marks at both ends show where the data landed.
TEST(Zip64LargeFileTest, StoredFileOfFourGiBPlusOneByte) {
  SKIP_WITHOUT_FREE_SPACE();
  constexpr uint64_t kSize = 4 * kGiB + 1;
  const Bytes head = {'H', 'E', 'A', 'D'}, tail = {'T', 'A', 'I', 'L'};
  TempDir dir;
  const std::string source = dir / "big.bin";
  {
    const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kSize)), 0);
    ASSERT_EQ(::pwrite(fd, head.data(), 4, 0), 4);
    ASSERT_EQ(::pwrite(fd, tail.data(), 4, static_cast<off_t>(kSize - 4)), 4);
    ::close(fd);
  }
  std::string archive;
  {
    CVNZipFileWriter writer(dir / "big.zip");
    ASSERT_EQ(writer.writeFileName(u"big.bin", source, 0), CVNZipResultSucceeded);
    writer.closeFile();
    archive = writer.path();
  }
  ASSERT_EQ(::unlink(source.c_str()), 0);

  // The local header: both sizes escaped, the Zip64 field (20 bytes) ahead of
  // the extended timestamp with modification and access times (13 bytes); the
  // data right behind it, the central directory right behind the data.
  const int fd = ::open(archive.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  const Bytes local = readAt(fd, 0, 30 + 7 + 33);
  EXPECT_EQ(le(local, 0, 4), 0x04034B50u);
  EXPECT_EQ(le(local, 4, 2), 45u) << "version needed";
  EXPECT_EQ(le(local, 18, 4), 0xFFFFFFFFu);
  EXPECT_EQ(le(local, 22, 4), 0xFFFFFFFFu);
  EXPECT_EQ(le(local, 26, 2), 7u) << "name length";
  ASSERT_EQ(le(local, 28, 2), 33u) << "extra length: 13 before the rewrite, 20 more after it";
  EXPECT_EQ(le(local, 37, 2), 0x0001u);
  EXPECT_EQ(le(local, 39, 2), 16u);
  EXPECT_EQ(le(local, 41, 8), kSize) << "uncompressed size";
  EXPECT_EQ(le(local, 49, 8), kSize) << "compressed size";
  EXPECT_EQ(le(local, 57, 2), 0x5455u);
  const uint64_t dataStart = 30 + 7 + 33;
  EXPECT_EQ(readAt(fd, dataStart, 4), head) << "the data did not move by 20 bytes";
  EXPECT_EQ(readAt(fd, dataStart + kSize - 4, 4), tail);
  EXPECT_EQ(le(readAt(fd, dataStart + kSize, 4), 0, 4), 0x02014B50u)
      << "the central directory does not follow the data";
  const uint64_t size = fileSize(archive);
  const Bytes end = readAt(fd, size - 22, 22);
  EXPECT_EQ(le(end, 16, 4), 0xFFFFFFFFu) << "the directory offset needs Zip64";
  EXPECT_EQ(le(readAt(fd, size - 22 - 20, 4), 0, 4), 0x07064B50u);
  const Bytes record = readAt(fd, size - 22 - 20 - 56, 56);
  EXPECT_EQ(le(record, 48, 8), dataStart + kSize) << "directory offset in the Zip64 end record";
  ::close(fd);

  std::string missing;
  expectPeersAccept(archive, &missing);

  // Our reader checks the CRC-32 itself: result 0 means all 4 GiB came back.
  {
    auto reader = CVNZipFileReader::withZipFileAtPath(archive);
    ASSERT_TRUE(reader);
    const std::string out = dir / "out";
    ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
    reader->setDirectoryPath(out);
    auto header = reader->readCentralFileHeader();
    ASSERT_TRUE(header);
    EXPECT_EQ(header->uncompressedSize(), kSize);
    EXPECT_EQ(header->compressedSize(), kSize);
    EXPECT_EQ(header->relativeOffsetOfLocalHeader(), 0u);
    EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*header),
              CVNZipResultSucceeded);
    EXPECT_FALSE(reader->readCentralFileHeader());
    const std::string extracted = out + "/big.bin";
    EXPECT_EQ(fileSize(extracted), kSize);
    const int copy = ::open(extracted.c_str(), O_RDONLY);
    ASSERT_GE(copy, 0);
    EXPECT_EQ(readAt(copy, 0, 4), head);
    EXPECT_EQ(readAt(copy, kSize - 4, 4), tail);
    ::close(copy);
    ::unlink(extracted.c_str());
  }
  ::unlink(archive.c_str());
  if (!missing.empty()) GTEST_SKIP() << "not installed:" << missing << "; the rest passed";
}

}  // namespace
