// The codec against the peer archivers: entries that Info-ZIP encrypted decode
// through our decryptor, and entries we encrypt pass Info-ZIP's and 7-Zip's
// checks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileData.h"
#include "engine/io/RVDataHandle.h"
#include "engine/io/RVFileHandle.h"
#include "support/TestSupport.h"

namespace {

using corvana_test::TempDir;
using Password = std::optional<std::vector<uint8_t>>;
using testing::AnyOf;
using testing::Eq;

constexpr size_t kBuffer = 256 * 1024;

std::vector<uint8_t> sampleData() {
  std::mt19937 random(11);
  std::vector<uint8_t> data;
  for (int block = 0; block < 24; ++block) {
    if (block % 3 == 2) {
      for (int i = 0; i < 20000; ++i) data.push_back(uint8_t(random()));
    } else {
      std::string line = "line " + std::to_string(block) + ": the quick brown fox jumps\n";
      for (int i = 0; i < 400; ++i) data.insert(data.end(), line.begin(), line.end());
    }
  }
  return data;
}

uint32_t le16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return le16(b, at) | (le16(b, at + 2) << 16);
}

// The first entry of an archive, read from its local header by hand.
struct LocalEntry {
  CVNZipCentralFileHeader header;
  uint64_t dataOffset = 0;
};

LocalEntry firstLocalEntry(const std::vector<uint8_t>& archive) {
  LocalEntry entry;
  EXPECT_GE(archive.size(), 30u);
  EXPECT_EQ(le32(archive, 0), 0x04034B50u);
  entry.header.setGeneralPurposeBitFlag(uint16_t(le16(archive, 6)));
  entry.header.setCompressionMethod(uint16_t(le16(archive, 8)));
  entry.header.setCrc32(le32(archive, 14));
  entry.header.setCompressedSize(le32(archive, 18));
  entry.header.setUncompressedSize(le32(archive, 22));
  entry.dataOffset = 30 + le16(archive, 26) + le16(archive, 28);
  return entry;
}

struct Decoded {
  CVNZipResult result;
  std::vector<uint8_t> output;
  uint64_t offset;
};

Decoded decodeAt(const std::vector<uint8_t>& archiveBytes, const LocalEntry& entry,
                 const Password& password) {
  RVDataHandle archive(archiveBytes);
  archive.seekToOffset(entry.dataOffset);
  RVDataHandle output;
  std::vector<uint8_t> input(kBuffer), outputBuffer(kBuffer);
  CVNZipFileData codec;
  Decoded decoded{};
  decoded.result = codec.decompressFileDataWithIOHandle(archive, entry.header, password, input,
                                                        outputBuffer, output, nullptr);
  decoded.offset = archive.offset();
  decoded.output = output.takeData();
  return decoded;
}

struct InfoZipCase {
  const char* name;
  const char* options;
  uint16_t method;
};

void PrintTo(const InfoZipCase& c, std::ostream* os) { *os << c.name; }

class InfoZipArchive : public testing::TestWithParam<InfoZipCase> {};

TEST_P(InfoZipArchive, DecodesThroughTheCodec) {
  if (!corvana_test::haveProgram("zip")) GTEST_SKIP() << "zip is not installed";
  const InfoZipCase& c = GetParam();
  TempDir dir;
  const std::vector<uint8_t> data = sampleData();
  corvana_test::writeFile(dir / "data.bin", data);
  std::string out;
  ASSERT_EQ(corvana_test::runCommand("cd " + corvana_test::shellQuote(dir.path()) + " && zip -q " +
                                         c.options + " -P 'open sesame' a.zip data.bin",
                                     &out),
            0)
      << out;
  const std::vector<uint8_t> archive = corvana_test::readFile(dir / "a.zip");
  LocalEntry entry = firstLocalEntry(archive);
  ASSERT_EQ(entry.header.compressionMethod(), c.method);
  ASSERT_TRUE(entry.header.generalPurposeBitFlag() & 1);
  ASSERT_EQ(entry.header.uncompressedSize(), data.size());

  Decoded decoded = decodeAt(archive, entry, corvana_test::bytes("open sesame"));
  EXPECT_EQ(decoded.result, CVNZipResultSucceeded);
  EXPECT_EQ(decoded.output, data);
  // Only the entry's bytes are taken: its data descriptor follows.
  EXPECT_EQ(decoded.offset, entry.dataOffset + entry.header.compressedSize());

  EXPECT_EQ(decodeAt(archive, entry, std::nullopt).result, CVNZipResultPasswordRequired);
  CVNZipResult wrong = decodeAt(archive, entry, corvana_test::bytes("open sesame!")).result;
  if (c.method == 0) {
    EXPECT_EQ(wrong, CVNZipResultPasswordRequired);
  } else {
    EXPECT_THAT(wrong, AnyOf(Eq(CVNZipResultPasswordRequired), Eq(CVNZipResultVerificationFailed)));
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, InfoZipArchive,
                         testing::Values(InfoZipCase{"Deflated", "-6", 8},
                                         InfoZipCase{"DeflatedBest", "-9", 8},
                                         InfoZipCase{"Stored", "-0", 0}),
                         [](const testing::TestParamInfo<InfoZipCase>& info) {
                           return info.param.name;
                         });

// A one-entry archive around data made by the codec; just enough records for
// the peers to read it.
class ArchiveBuilder {
 public:
  void u16(uint32_t v) {
    bytes.push_back(uint8_t(v));
    bytes.push_back(uint8_t(v >> 8));
  }
  void u32(uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  }
  void raw(const std::vector<uint8_t>& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
  void fields(const CVNZipCentralFileHeader& h, const std::string& name) {
    u16(20);  // version needed
    u16(h.generalPurposeBitFlag());
    u16(h.compressionMethod());
    u16(0);       // time 00:00:00
    u16(0x0021);  // date 1980-01-01
    u32(h.crc32());
    u32(uint32_t(h.compressedSize()));
    u32(uint32_t(h.uncompressedSize()));
    u16(uint16_t(name.size()));
    u16(0);
  }
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> oneEntryArchive(const CVNZipCentralFileHeader& h, const std::string& name,
                                     const std::vector<uint8_t>& data) {
  ArchiveBuilder b;
  b.u32(0x04034B50);
  b.fields(h, name);
  b.raw(corvana_test::bytes(name));
  b.raw(data);
  uint32_t central = uint32_t(b.bytes.size());
  b.u32(0x02014B50);
  b.u16(20);  // made by MS-DOS, 2.0
  b.fields(h, name);
  b.u16(0);  // comment
  b.u16(0);  // disk
  b.u16(0);  // internal attributes
  b.u32(0);  // external attributes
  b.u32(0);  // local header offset
  b.raw(corvana_test::bytes(name));
  uint32_t centralSize = uint32_t(b.bytes.size()) - central;
  b.u32(0x06054B50);
  b.u16(0);
  b.u16(0);
  b.u16(1);
  b.u16(1);
  b.u32(centralSize);
  b.u32(central);
  b.u16(0);
  return b.bytes;
}

struct PeerCase {
  const char* name;
  uint16_t method;
  int level;
};

void PrintTo(const PeerCase& c, std::ostream* os) { *os << c.name; }

class PeerReadsOurEntry : public testing::TestWithParam<PeerCase> {};

TEST_P(PeerReadsOurEntry, WithPassword) {
  const PeerCase& c = GetParam();
  const bool haveUnzip = corvana_test::haveProgram("unzip");
  const bool have7z = corvana_test::haveProgram("7z");
  if (!haveUnzip && !have7z) GTEST_SKIP() << "neither unzip nor 7z is installed";
  TempDir dir;
  const std::vector<uint8_t> data = sampleData();
  corvana_test::writeFile(dir / "source.bin", data);

  // Encode from a real file, as the writer does.
  auto source = RVFileHandle::forReadingAtPath(dir / "source.bin");
  RVDataHandle entryData;
  CVNZipCentralFileHeader header;
  header.setGeneralPurposeBitFlag(1);
  header.setCompressionMethod(c.method);
  std::vector<uint8_t> input(kBuffer), output(kBuffer);
  ASSERT_EQ(CVNZipFileData::compressFileDataWithIOHandle(entryData, c.level, header,
                                                         corvana_test::bytes("p@ss w0rd"), input,
                                                         output, source.get(), nullptr),
            CVNZipResultSucceeded);
  corvana_test::writeFile(dir / "ours.zip", oneEntryArchive(header, "data.bin", entryData.data()));

  const std::string q = corvana_test::shellQuote(dir.path());
  std::string out;
  if (haveUnzip) {
    EXPECT_EQ(corvana_test::runCommand(
                  "unzip -q -P 'p@ss w0rd' " + q + "/ours.zip -d " + q + "/unzip", &out),
              0)
        << out;
    EXPECT_EQ(corvana_test::readFile(dir / "unzip/data.bin"), data);
    // Info-ZIP checks the header's check byte: a wrong password fails there.
    EXPECT_NE(corvana_test::runCommand("unzip -t -P 'wrong' " + q + "/ours.zip", &out), 0);
  }
  if (have7z) {
    EXPECT_EQ(corvana_test::runCommand(
                  "7z x -y -bd '-pp@ss w0rd' -o" + q + "/7z " + q + "/ours.zip", &out),
              0)
        << out;
    EXPECT_EQ(corvana_test::readFile(dir / "7z/data.bin"), data);
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, PeerReadsOurEntry,
                         testing::Values(PeerCase{"Deflated", 8, -1}, PeerCase{"Fastest", 8, 1},
                                         PeerCase{"Stored", 0, 0}),
                         [](const testing::TestParamInfo<PeerCase>& info) {
                           return info.param.name;
                         });

}  // namespace
