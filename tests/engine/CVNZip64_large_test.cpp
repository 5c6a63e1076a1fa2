// Archives past the classic limits, written by our writer and read by the
// peers and by our reader: 65,535 entries (the first count that needs the Zip64
// end records) against 65,534 (the last that does not), and one stored file of
// 4 GiB + 1 byte, whose local header grows by the Zip64 field when it is
// rewritten, so that the whole entry's data has to move. The parser holds the
// records to the layout (Zip64 end records exactly where needed, no gaps).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileReader.h"
#include "engine/CVNZipFileWriter.h"
#include "support/PeerArchivers.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

namespace {

using namespace corvana_test;

constexpr uint64_t kGiB = uint64_t(1) << 30;

// Skips the test unless the temporary folder has room for the big archives.
#define SKIP_WITHOUT_12_GIB_FREE()                                                       \
  do {                                                                                   \
    const char* tmp = std::getenv("TMPDIR");                                             \
    const std::string folder = tmp && *tmp ? tmp : "/tmp";                               \
    struct statvfs fs;                                                                   \
    ASSERT_EQ(::statvfs(folder.c_str(), &fs), 0) << folder;                              \
    const uint64_t available = uint64_t(fs.f_bavail) * fs.f_frsize;                      \
    if (available < 12 * kGiB)                                                           \
      GTEST_SKIP() << "needs 12 GiB free in " << folder << ", has " << (available >> 20) \
                   << " MiB";                                                            \
  } while (0)

// `length` bytes of `path` from `offset` on.
Bytes readAt(const std::string& path, uint64_t offset, size_t length) {
  Bytes bytes(length);
  const int fd = ::open(path.c_str(), O_RDONLY);
  EXPECT_EQ(::pread(fd, bytes.data(), length, off_t(offset)), ssize_t(length)) << path;
  ::close(fd);
  return bytes;
}

void expectPeersAccept(const std::string& archive, PeerSet& peers) {
  if (peers.have("unzip")) expectSucceeded(unzipTest(archive), "unzip -t");
  if (peers.have("7z")) expectSucceeded(sevenZipTest(archive), "7z t");
}

std::string entryName(uint64_t index) {
  const std::string digits = std::to_string(index);
  return std::string(5 - digits.size(), '0') + digits;
}

class ManyEntries : public testing::TestWithParam<uint64_t> {};

TEST_P(ManyEntries, Zip64EndRecordsOnlyFrom65535Entries) {
  SKIP_WITHOUT_12_GIB_FREE();
  const uint64_t count = GetParam();
  TempDir dir;
  writeFile(dir / "empty.txt", std::string());
  std::string archive;
  {
    CVNZipFileWriter writer(dir / "many.zip");
    for (uint64_t i = 0; i < count; ++i) {
      const std::string name = entryName(i);
      ASSERT_EQ(
          writer.writeFileName(std::u16string(name.begin(), name.end()), dir / "empty.txt", 0),
          CVNZipResultSucceeded)
          << i;
    }
    writer.closeFile();
    archive = writer.path();
  }

  const ParsedZipArchive parsed = parseZipArchive(archive);
  EXPECT_EQ(parsed.hasZip64EndRecord, count >= 0xFFFF);
  EXPECT_EQ(parsed.endRecordEntryCount, std::min<uint64_t>(count, 0xFFFF));
  EXPECT_EQ(parsed.entryCount, count);
  PeerSet peers;
  expectPeersAccept(archive, peers);

  // Every name in order through our reader; a sample of entries extracted.
  auto reader = CVNZipFileReader::withZipFileAtPath(archive);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->totalNumberOfEntriesInTheCentralDirectory(), count);
  EXPECT_EQ(reader->totalNumberOfEntriesInTheCentralDirectoryOnThisDisk(), count);
  EXPECT_EQ(reader->sizeOfTheCentralDirectory(), parsed.centralDirectorySize);
  std::filesystem::create_directory(dir / "out");
  reader->setDirectoryPath(dir / "out");
  uint64_t index = 0;
  size_t extracted = 0;
  for (; auto header = reader->readCentralFileHeader(); ++index) {
    ASSERT_EQ(header->fileName(), bytes(entryName(index))) << index;
    if (index % 4096 == 0 || index == count - 1) {
      EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*header), 0) << index;
      ++extracted;
    }
  }
  EXPECT_EQ(index, count);
  EXPECT_EQ(listFolder(dir / "out").size(), extracted);
  CORVANA_SKIP_IF_PEERS_MISSING(peers);
}

INSTANTIATE_TEST_SUITE_P(Counts, ManyEntries, testing::Values(uint64_t(65535), uint64_t(65534)),
                         [](const auto& info) { return "entries" + std::to_string(info.param); });

// A sparse source, so that only the archive and the extracted copy take disk;
// marks at both ends show where the data landed.
TEST(Zip64LargeFileTest, StoredFileOfFourGiBPlusOneByte) {
  SKIP_WITHOUT_12_GIB_FREE();
  constexpr uint64_t kSize = 4 * kGiB + 1;
  const Bytes head = bytes("HEAD"), tail = bytes("TAIL");
  TempDir dir;
  const std::string source = dir / "big.bin";
  {
    const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t(kSize)), 0);
    ASSERT_EQ(::pwrite(fd, head.data(), 4, 0), 4);
    ASSERT_EQ(::pwrite(fd, tail.data(), 4, off_t(kSize - 4)), 4);
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

  // The local header holds both sizes in the Zip64 field (20 bytes, ahead of the
  // 13 of the extended timestamp), which the rewrite added: the data moved.
  const ParsedZipArchive parsed = parseZipArchive(archive, false);
  ASSERT_EQ(parsed.entries.size(), 1u);
  const ParsedZipEntry& e = parsed.entries[0];
  EXPECT_EQ(e.versionNeeded, 45);
  EXPECT_EQ(e.compressedSize, kSize);
  EXPECT_EQ(e.uncompressedSize, kSize);
  ASSERT_EQ(e.localExtra.size(), 33u);
  EXPECT_EQ(Bytes(e.localExtra.begin(), e.localExtra.begin() + 4), (Bytes{1, 0, 16, 0}));
  EXPECT_EQ(e.dataOffset, 30u + 7 + 33);
  EXPECT_EQ(readAt(archive, e.dataOffset, 4), head);
  EXPECT_EQ(readAt(archive, e.dataOffset + kSize - 4, 4), tail);
  EXPECT_TRUE(parsed.hasZip64EndRecord);
  EXPECT_EQ(parsed.endRecordDirectoryOffset, 0xFFFFFFFFu);
  PeerSet peers;
  expectPeersAccept(archive, peers);

  // Our reader checks the CRC-32 itself: result 0 means all 4 GiB came back.
  auto reader = CVNZipFileReader::withZipFileAtPath(archive);
  ASSERT_TRUE(reader);
  std::filesystem::create_directory(dir / "out");
  reader->setDirectoryPath(dir / "out");
  auto header = reader->readCentralFileHeader();
  ASSERT_TRUE(header);
  EXPECT_EQ(header->uncompressedSize(), kSize);
  EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*header), CVNZipResultSucceeded);
  EXPECT_FALSE(reader->readCentralFileHeader());
  const std::string extracted = dir / "out/big.bin";
  EXPECT_EQ(std::filesystem::file_size(extracted), kSize);
  EXPECT_EQ(readAt(extracted, 0, 4), head);
  EXPECT_EQ(readAt(extracted, kSize - 4, 4), tail);
  CORVANA_SKIP_IF_PEERS_MISSING(peers);
}

}  // namespace
