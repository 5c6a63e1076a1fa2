// The codec against the peer archivers: entries that Info-ZIP encrypted decode
// through our decryptor, and entries we encrypt pass Info-ZIP's and 7-Zip's
// checks.
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileData.h"
#include "engine/io/RVDataHandle.h"
#include "engine/io/RVFileHandle.h"
#include "support/PeerArchivers.h"

namespace {

using corvana_test::bytes;
using corvana_test::PeerRun;
using corvana_test::readFile;
using corvana_test::TempDir;
using corvana_test::writeFile;
using std::tuple;
using Bytes = std::vector<uint8_t>;
using Password = std::optional<Bytes>;
constexpr size_t kBuffer = 256 * 1024;

// Lines of text with random blocks between them.
Bytes sampleData() {
  std::mt19937 random(11);
  Bytes data;
  for (int block = 0; block < 24; ++block) {
    const std::string line = "line " + std::to_string(block) + ": the quick brown fox jumps\n";
    for (int i = 0; i < 20000; ++i)
      data.push_back(block % 3 == 2 ? uint8_t(random()) : uint8_t(line[i % line.size()]));
  }
  return data;
}

uint32_t le(const Bytes& b, size_t at, int width) {
  uint32_t v = 0;
  for (int i = width; i-- > 0;) v = v << 8 | b[at + i];
  return v;
}

// A one-entry archive around data the codec made: just the records the peers need.
Bytes oneEntryArchive(const CVNZipCentralFileHeader& h, const Bytes& data) {
  const std::string name = "data.bin";
  Bytes a;
  auto put = [&a](int width, auto... values) {
    for (uint64_t v : {uint64_t(values)...})
      for (int i = 0; i < width; ++i) a.push_back(uint8_t(v >> 8 * i));
  };
  auto fields = [&] {  // version needed 2.0 ... extra length; 1980-01-01 00:00
    put(2, 20, h.generalPurposeBitFlag(), h.compressionMethod(), 0, 0x21);
    put(4, h.crc32(), h.compressedSize(), h.uncompressedSize());
    put(2, name.size(), 0);
  };
  put(4, 0x04034B50), fields(), a.insert(a.end(), name.begin(), name.end());
  a.insert(a.end(), data.begin(), data.end());
  const size_t central = a.size();
  put(4, 0x02014B50), put(2, 20), fields(), put(2, 0, 0, 0), put(4, 0, 0);  // made by MS-DOS
  a.insert(a.end(), name.begin(), name.end());
  const size_t centralSize = a.size() - central;
  put(4, 0x06054B50), put(2, 0, 0, 1, 1), put(4, centralSize, central), put(2, 0);
  return a;
}

TEST(ZipFileDataInterop, InfoZipEncryptedEntriesDecode) {
  CORVANA_SKIP_WITHOUT_PEER("zip");
  const Bytes data = sampleData();
  for (auto [options, method] : {std::pair{"-6", 8}, {"-9", 8}, {"-0", 0}}) {
    SCOPED_TRACE(options);
    TempDir dir;
    writeFile(dir / "data.bin", data);
    PeerRun zip = corvana_test::runIn(
        dir.path(), std::string("zip -q ") + options + " -P 'open sesame' a.zip data.bin");
    ASSERT_TRUE(zip.ok()) << zip;
    // The entry as its local header has it.
    const Bytes archive = readFile(dir / "a.zip");
    CVNZipCentralFileHeader header;
    header.setGeneralPurposeBitFlag(uint16_t(le(archive, 6, 2)));
    header.setCompressionMethod(uint16_t(le(archive, 8, 2)));
    header.setCrc32(le(archive, 14, 4));
    header.setCompressedSize(le(archive, 18, 4));
    header.setUncompressedSize(le(archive, 22, 4));
    ASSERT_EQ(tuple(le(archive, 0, 4), header.compressionMethod(),
                    header.generalPurposeBitFlag() & 1, header.uncompressedSize()),
              tuple(0x04034B50u, method, 1, data.size()));
    const uint64_t start = 30 + le(archive, 26, 2) + le(archive, 28, 2);
    auto decode = [&](const Password& password) {
      RVDataHandle in(archive), out;
      in.seekToOffset(start);
      Bytes input(kBuffer), output(kBuffer);
      CVNZipResult result = CVNZipFileData().decompressFileDataWithIOHandle(
          in, header, password, input, output, out, nullptr);
      return tuple(result, in.offset(), out.takeData());
    };
    // Only the entry's bytes are taken: its data descriptor follows.
    auto [result, offset, output] = decode(bytes("open sesame"));
    EXPECT_EQ(tuple(result, offset), tuple(CVNZipResultSucceeded, start + header.compressedSize()));
    EXPECT_EQ(output, data);
    EXPECT_EQ(std::get<0>(decode(std::nullopt)), CVNZipResultPasswordRequired);
    CVNZipResult wrong = std::get<0>(decode(bytes("open sesame!")));
    EXPECT_TRUE(wrong == CVNZipResultPasswordRequired ||
                (method == 8 && wrong == CVNZipResultVerificationFailed))
        << wrong;
  }
}

TEST(ZipFileDataInterop, PeersCheckOurEncryptedEntries) {
  corvana_test::PeerSet peers;
  const bool haveUnzip = peers.have("unzip"), have7z = peers.have("7z");
  TempDir dir;
  const Bytes data = sampleData();
  writeFile(dir / "source.bin", data);
  for (auto [method, level] : {std::pair{8, -1}, {8, 1}, {0, 0}}) {
    SCOPED_TRACE(testing::Message() << method << " " << level);
    // Encode from a real file, as the writer does.
    auto source = RVFileHandle::forReadingAtPath(dir / "source.bin");
    RVDataHandle entryData;
    CVNZipCentralFileHeader header;
    header.setGeneralPurposeBitFlag(1);
    header.setCompressionMethod(uint16_t(method));
    Bytes input(kBuffer), output(kBuffer);
    ASSERT_EQ(
        CVNZipFileData::compressFileDataWithIOHandle(entryData, level, header, bytes("p@ss w0rd"),
                                                     input, output, source.get(), nullptr),
        CVNZipResultSucceeded);
    writeFile(dir / "ours.zip", oneEntryArchive(header, entryData.data()));
    if (haveUnzip) {
      PeerRun run = corvana_test::unzipTest(dir / "ours.zip", bytes("p@ss w0rd"));
      EXPECT_TRUE(run.ok()) << run;
      // Info-ZIP checks the header's check byte: a wrong password fails there.
      EXPECT_FALSE(corvana_test::unzipTest(dir / "ours.zip", bytes("wrong")).ok());
    }
    if (have7z) {
      PeerRun run = corvana_test::sevenZipTest(dir / "ours.zip", "p@ss w0rd");
      EXPECT_TRUE(run.ok()) << run;
    }
  }
  CORVANA_SKIP_IF_PEERS_MISSING(peers);
}

}  // namespace
