// The writer: the values every entry carries (checked byte by byte), names in
// the code page, empty archives, and what a vanished source, a failed entry
// and cancellation leave in the archive; then round trips through the reader.
#include "engine/CVNZipFileWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/CVNEngineJob.h"
#include "engine/CVNPathComponentEncoder.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileReader.h"
#include "engine/io/RVException.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

namespace {

using corvana_test::raised;

using corvana_test::Bytes;
using corvana_test::bytes;
using corvana_test::crc32Of;
using corvana_test::ParsedZipArchive;
using corvana_test::ParsedZipEntry;
using corvana_test::parseZipArchive;
using corvana_test::readFile;
using corvana_test::TempDir;
using corvana_test::writeFile;


Bytes pattern(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& v : b) v = static_cast<uint8_t>(rng());
  return b;
}

Bytes password() { return bytes("secret"); }

class FakeJob : public CVNEngineJob {
 public:
  bool isCancelled() const override { return cancelled; }
  void increaseCurrentValue(uint64_t byteCount) override {
    progress += byteCount;
    if (cancelOnProgress) cancelled = true;
  }
  bool cancelled = false;
  bool cancelOnProgress = false;
  uint64_t progress = 0;
};

std::shared_ptr<CVNPathComponentEncoder> encoderFor(CVNStringEncoding encoding) {
  auto encoder = std::make_shared<CVNPathComponentEncoder>();
  encoder->setEncoding(encoding);
  return encoder;
}

// A scratch folder with sources and the archive being written.
class ZipFileWriterTest : public testing::Test {
 protected:
  std::string source(const std::string& name, const Bytes& data) {
    std::string path = dir / name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    writeFile(path, data);
    return path;
  }
  std::string folder(const std::string& name) {
    std::string path = dir / name;
    std::filesystem::create_directories(path);
    return path;
  }
  ParsedZipArchive closeAndParse(CVNZipFileWriter& writer) {
    writer.closeFile();
    return parseZipArchive(readFile(writer.path()));
  }
  uint64_t archiveSize() { return std::filesystem::file_size(archive); }

  TempDir dir;
  std::string archive = dir / "out.zip";
};

TEST_F(ZipFileWriterTest, FolderEntry) {
  CVNZipFileWriter writer(archive);
  EXPECT_EQ(writer.writeFileName(u"d", folder("d"), -1), 0);
  auto parsed = closeAndParse(writer);
  ASSERT_EQ(parsed.entries.size(), 1u);
  const ParsedZipEntry& e = parsed.entries[0];
  EXPECT_EQ(e.name, bytes("d/"));
  EXPECT_EQ(e.localName, bytes("d/"));
  EXPECT_EQ(e.versionMadeBy, 62);
  EXPECT_EQ(e.versionNeeded, 20);
  EXPECT_EQ(e.localVersionNeeded, 20);
  EXPECT_EQ(e.flags, 0);
  EXPECT_EQ(e.method, 0);
  EXPECT_EQ(e.crc32, 0u);
  EXPECT_EQ(e.compressedSize, 0u);
  EXPECT_EQ(e.uncompressedSize, 0u);
  EXPECT_EQ(e.internalAttributes, 0);
  EXPECT_EQ(e.externalAttributes, 0x10u);
  EXPECT_EQ(e.localHeaderOffset, 0u);
  EXPECT_EQ(e.diskNumberStart, 0u);
}

TEST_F(ZipFileWriterTest, FolderEntryWithPasswordHoldsOnlyTheEncryptionHeader) {
  CVNZipFileWriter writer(archive);
  writer.setPassword(password());
  EXPECT_EQ(writer.writeFileName(u"d", folder("d"), 9), 0);
  auto parsed = closeAndParse(writer);
  ASSERT_EQ(parsed.entries.size(), 1u);
  const ParsedZipEntry& e = parsed.entries[0];
  EXPECT_EQ(e.flags, 1);
  EXPECT_EQ(e.localFlags, 1);
  EXPECT_EQ(e.method, 0);
  EXPECT_EQ(e.compressedSize, 12u);
  EXPECT_EQ(e.localCompressedSize, 12u);
  EXPECT_EQ(e.uncompressedSize, 0u);
  EXPECT_EQ(e.crc32, 0u);
  EXPECT_EQ(e.versionNeeded, 20);
}

// Level, password -> method, version needed, compressed size of a zero-length file.
using EmptyFileCase = std::tuple<int, bool, int, int, uint64_t>;
class ZipFileWriterEmptyFile : public ZipFileWriterTest,
                               public testing::WithParamInterface<EmptyFileCase> {};

TEST_P(ZipFileWriterEmptyFile, Values) {
  auto [level, encrypted, method, versionNeeded, compressedSize] = GetParam();
  CVNZipFileWriter writer(archive);
  if (encrypted) writer.setPassword(password());
  EXPECT_EQ(writer.writeFileName(u"empty", source("empty", {}), level), 0);
  auto parsed = closeAndParse(writer);
  ASSERT_EQ(parsed.entries.size(), 1u);
  const ParsedZipEntry& e = parsed.entries[0];
  EXPECT_EQ(e.method, method);
  EXPECT_EQ(e.localMethod, method);
  EXPECT_EQ(e.versionNeeded, versionNeeded);
  EXPECT_EQ(e.localVersionNeeded, versionNeeded);
  EXPECT_EQ(e.compressedSize, compressedSize);
  EXPECT_EQ(e.localCompressedSize, compressedSize);
  EXPECT_EQ(e.uncompressedSize, 0u);
  EXPECT_EQ(e.crc32, 0u);
  EXPECT_EQ(e.externalAttributes, 0x20u);
  // An empty raw deflate stream: one final stored block.
  if (method == 8 && !encrypted) {
    EXPECT_EQ(e.data, (Bytes{0x03, 0x00}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Levels, ZipFileWriterEmptyFile,
    testing::Values(EmptyFileCase{-1, false, 8, 20, 2}, EmptyFileCase{1, false, 8, 20, 2},
                    EmptyFileCase{9, false, 8, 20, 2}, EmptyFileCase{0, false, 0, 10, 0},
                    EmptyFileCase{0, true, 0, 20, 12}, EmptyFileCase{-1, true, 8, 20, 14}));

TEST_F(ZipFileWriterTest, FileEntryHeadersAgreeAfterTheRewrite) {
  Bytes text = bytes(std::string(5000, 'x') + "end");
  for (int level : {-1, 0}) {
    TempDir scratch;
    CVNZipFileWriter writer(scratch / "a.zip");
    EXPECT_EQ(writer.writeFileName(u"a.txt", source("a.txt", text), level), 0);
    EXPECT_EQ(writer.writeFileName(u"b.txt", source("b.txt", bytes("b")), level), 0);
    EXPECT_EQ(writer.totalCentralDirectoryCount(), 2u);
    auto parsed = closeAndParse(writer);
    ASSERT_EQ(parsed.entries.size(), 2u);
    const ParsedZipEntry& e = parsed.entries[0];
    EXPECT_EQ(e.method, level == 0 ? 0 : 8);
    EXPECT_EQ(e.versionNeeded, level == 0 ? 10 : 20);
    EXPECT_EQ(e.crc32, crc32Of(text));
    EXPECT_EQ(e.uncompressedSize, text.size());
    if (level == 0) {
      EXPECT_EQ(e.data, text);
    } else {
      EXPECT_LT(e.compressedSize, text.size());
    }
    for (const ParsedZipEntry& entry : parsed.entries) {
      EXPECT_EQ(entry.localCrc32, entry.crc32);
      EXPECT_EQ(entry.localCompressedSize, entry.compressedSize);
      EXPECT_EQ(entry.localUncompressedSize, entry.uncompressedSize);
      EXPECT_EQ(entry.localFlags, entry.flags);
      EXPECT_EQ(entry.flags & 0x0808, 0);  // no data descriptor, no UTF-8 flag
      EXPECT_EQ(entry.versionMadeBy, 62);
      EXPECT_EQ(entry.externalAttributes, 0x20u);
    }
    // The second entry starts right after the first one's data.
    EXPECT_EQ(parsed.entries[1].localHeaderOffset, e.dataOffset + e.compressedSize);
    EXPECT_EQ(parsed.centralDirectoryOffset,
              parsed.entries[1].dataOffset + parsed.entries[1].compressedSize);
  }
}

TEST_F(ZipFileWriterTest, EmptyArchiveIsTheEndRecordAndTheComment) {
  {
    CVNZipFileWriter writer(archive);
    writer.closeFile();
  }
  Bytes end = {0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(readFile(archive), end);

  TempDir scratch;
  CVNZipFileWriter writer(scratch / "c.zip");
  writer.setZipFileComment(bytes("note"));
  writer.closeFile();
  end[20] = 4;
  Bytes withComment = end;
  for (char c : std::string("note")) withComment.push_back(static_cast<uint8_t>(c));
  EXPECT_EQ(readFile(writer.path()), withComment);
}

TEST_F(ZipFileWriterTest, TakesAFreeName) {
  writeFile(archive, bytes("keep"));
  CVNZipFileWriter writer(archive);
  EXPECT_EQ(writer.path(), dir / "out 2.zip");
  writer.closeFile();
  EXPECT_EQ(readFile(archive), bytes("keep"));
}

struct NameCase {
  std::u16string name;
  bool folder;
  std::optional<CVNStringEncoding> encoding;  // none: no encoder (UTF-8)
  Bytes expected;
};

class ZipFileWriterName : public ZipFileWriterTest, public testing::WithParamInterface<NameCase> {};

TEST_P(ZipFileWriterName, IsBytesInTheCodePage) {
  const NameCase& c = GetParam();
  CVNZipFileWriter writer(archive);
  if (c.encoding) writer.setEncoder(encoderFor(*c.encoding));
  std::string path = c.folder ? folder("src") : source("src", bytes("x"));
  EXPECT_EQ(writer.writeFileName(c.name, path, -1), 0);
  auto parsed = closeAndParse(writer);
  ASSERT_EQ(parsed.entries.size(), 1u);
  EXPECT_EQ(parsed.entries[0].name, c.expected);
  EXPECT_EQ(parsed.entries[0].localName, c.expected);
  EXPECT_EQ(parsed.entries[0].flags & 0x0800, 0);
  EXPECT_EQ(parsed.entries[0].versionMadeBy, 62);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ZipFileWriterName,
    testing::Values(NameCase{u"caf\u00E9.txt",
                             false,
                             CVNStringEncoding::WindowsLatin1,
                             {'c', 'a', 'f', 0xE9, '.', 't', 'x', 't'}},
                    NameCase{u"\u65E5\u672C/\u8A9E",
                             false,
                             CVNStringEncoding::WindowsJapanese,
                             {0x93, 0xFA, 0x96, 0x7B, '/', 0x8C, 0xEA}},
                    NameCase{u"\uD55C", true, CVNStringEncoding::WindowsKorean, {0xC7, 0xD1, '/'}},
                    NameCase{u"caf\u00E9", false, std::nullopt, {'c', 'a', 'f', 0xC3, 0xA9}},
                    NameCase{u"a//b.txt", false, CVNStringEncoding::WindowsLatin1,
                             bytes("a/b.txt")},
                    NameCase{u"a/b", true, CVNStringEncoding::WindowsLatin1, bytes("a/b/")}));

// --- What failures leave behind ---

TEST_F(ZipFileWriterTest, VanishedSourceLeavesTheArchiveUnchanged) {
  CVNZipFileWriter writer(archive);
  EXPECT_EQ(writer.writeFileName(u"a.txt", source("a.txt", bytes("A")), -1), 0);
  Bytes before = readFile(archive);
  std::string gone = source("gone.txt", bytes("G"));
  std::filesystem::remove(gone);
  EXPECT_EQ(writer.writeFileName(u"gone.txt", gone, -1), 2);
  EXPECT_EQ(writer.writeFileName(u"gone", dir / "never/there", 0), 2);
  EXPECT_EQ(readFile(archive), before);
  EXPECT_EQ(writer.totalCentralDirectoryCount(), 1u);
  auto parsed = closeAndParse(writer);
  ASSERT_EQ(parsed.entries.size(), 1u);
  EXPECT_EQ(parsed.entries[0].name, bytes("a.txt"));
}

TEST_F(ZipFileWriterTest, NameTheCodePageCannotHoldRaisesAndLeavesNoTrace) {
  CVNZipFileWriter writer(archive);
  writer.setEncoder(encoderFor(CVNStringEncoding::WindowsLatin1));
  std::string a = source("a.txt", bytes("A"));
  EXPECT_EQ(writer.writeFileName(u"a.txt", a, -1), 0);
  uint64_t end = archiveSize();
  EXPECT_NE(raised([&] { writer.writeFileName(u"\u65E5.txt", a, -1); }), "");
  EXPECT_EQ(archiveSize(), end);
  EXPECT_EQ(writer.writeFileName(u"b.txt", a, -1), 0);
  auto parsed = closeAndParse(writer);
  ASSERT_EQ(parsed.entries.size(), 2u);
  EXPECT_EQ(parsed.entries[1].localHeaderOffset, end);
}

TEST_F(ZipFileWriterTest, CancelledEntryLeavesNoTrace) {
  CVNZipFileWriter writer(archive);
  FakeJob job;
  writer.setOperation(&job);
  Bytes big = pattern(3 << 20, 3);
  EXPECT_EQ(writer.writeFileName(u"a.txt", source("a.txt", bytes("A")), -1), 0);
  uint64_t end = archiveSize();
  job.cancelOnProgress = true;
  for (int level : {0, -1}) {
    job.cancelled = false;
    EXPECT_EQ(raised([&] { writer.writeFileName(u"big.bin", source("big.bin", big), level); }),
              "RVOperationCancelledException Cancelled");
    EXPECT_EQ(archiveSize(), end) << level;
  }
  EXPECT_EQ(writer.totalCentralDirectoryCount(), 1u);
  job.cancelOnProgress = job.cancelled = false;
  EXPECT_EQ(writer.writeFileName(u"c.txt", source("c.txt", bytes("C")), -1), 0);
  auto parsed = closeAndParse(writer);
  ASSERT_EQ(parsed.entries.size(), 2u);
  EXPECT_EQ(parsed.entries[1].name, bytes("c.txt"));
  EXPECT_EQ(parsed.entries[1].localHeaderOffset, end);
}

TEST_F(ZipFileWriterTest, CancelledCloseWritesNoDirectory) {
  CVNZipFileWriter writer(archive);
  FakeJob job;
  writer.setOperation(&job);
  EXPECT_EQ(writer.writeFileName(u"a.txt", source("a.txt", bytes("A")), -1), 0);
  uint64_t end = archiveSize();
  job.cancelled = true;
  EXPECT_EQ(raised([&] { writer.closeFile(); }), "RVOperationCancelledException Cancelled");
  EXPECT_EQ(archiveSize(), end);
}

// --- Round trips through the reader ---

using RoundTripCase = std::tuple<int, bool>;  // level, password
class ZipFileWriterRoundTrip : public ZipFileWriterTest,
                               public testing::WithParamInterface<RoundTripCase> {};

TEST_P(ZipFileWriterRoundTrip, ReaderGetsBackEveryByte) {
  auto [level, encrypted] = GetParam();
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"d/text.txt", bytes(std::string(100000, 'a') + "tail")},
      {"d/random.bin", pattern(600 * 1024, 11)},
      {"d/empty", {}},
      {"top.txt", bytes("top")},
  };
  {
    // The writer holds its archive under an exclusive lock until it goes.
    CVNZipFileWriter writer(archive);
    if (encrypted) writer.setPassword(password());
    EXPECT_EQ(writer.writeFileName(u"d", folder("src/d"), level), 0);
    for (const auto& [name, data] : files) {
      std::u16string name16(name.begin(), name.end());
      EXPECT_EQ(writer.writeFileName(name16, source("src/" + name, data), level), 0) << name;
    }
    writer.closeFile();
  }

  auto reader = CVNZipFileReader::withZipFileAtPath(archive);
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->totalNumberOfEntriesInTheCentralDirectory(), 5u);
  reader->setDirectoryPath(dir / "out");
  if (encrypted) reader->setPassword(password());
  while (auto header = reader->readCentralFileHeader())
    EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*header), 0);
  for (const auto& [name, data] : files) EXPECT_EQ(readFile(dir / ("out/" + name)), data) << name;
}

INSTANTIATE_TEST_SUITE_P(LevelsAndPasswords, ZipFileWriterRoundTrip,
                         testing::Combine(testing::Values(-1, 0, 1, 9), testing::Bool()));

}  // namespace
