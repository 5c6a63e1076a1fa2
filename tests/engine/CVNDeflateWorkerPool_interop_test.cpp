// Archives whose large entries were deflated in blocks, as the peers read
// them: unzip -t, 7z t, bsdtar and Python's zipfile, with and without a
// password, at every level, on either side of the block threshold.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/CVNDeflateWorkerPool.h"
#include "engine/CVNZipFileData.h"
#include "engine/CVNZipFileWriter.h"
#include "support/PeerArchivers.h"

namespace {

using namespace corvana_test;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t kThreshold = CVNZipFileData::kParallelDeflateThreshold;

Bytes mixedData(size_t size, unsigned seed) {
  static const char text[] = "Every peer reads the stream the blocks were joined into.\n";
  std::mt19937 random(seed);
  Bytes data(size);
  for (size_t i = 0; i < size; ++i)
    data[i] = (i / 90001 + seed) % 3 ? uint8_t(text[i % (sizeof text - 1)]) : uint8_t(random());
  return data;
}

// Compares every entry with its source file and runs zipfile's own CRC check.
constexpr const char* kPythonCheck = R"(
import sys, zipfile
archive, folder, password = sys.argv[1], sys.argv[2], sys.argv[3].encode()
with zipfile.ZipFile(archive) as z:
    if password: z.setpassword(password)
    bad = z.testzip()
    if bad: sys.exit('bad entry ' + bad)
    for info in z.infolist():
        with open(folder + '/' + info.filename, 'rb') as f:
            if z.read(info) != f.read(): sys.exit('differs: ' + info.filename)
)";

TEST(DeflateWorkerPoolInterop, PeersReadEntriesDeflatedInBlocks) {
  PeerSet peers;
  const size_t block = CVNDeflateWorkerPool::shared().blockSize();
  TempDir dir;
  const std::string folder = dir / "data";
  std::filesystem::create_directory(folder);
  // Below, at and above the threshold, several blocks, ending on a block's
  // end, a last block of one byte.
  const std::vector<std::pair<std::string, uint64_t>> files = {
      {"below.bin", kThreshold - 1},
      {"at.bin", kThreshold},
      {"above.bin", kThreshold + 1},
      {"several.bin", 4 * kThreshold + 4321},
      {"boundary.bin", kThreshold + 2 * block},
      {"onebyte.bin", kThreshold + block + 1}};
  for (size_t i = 0; i < files.size(); ++i)
    writeFile(folder + "/" + files[i].first, mixedData(files[i].second, unsigned(i)));

  for (int level : {-1, 1, 9})
    for (bool encrypted : {false, true}) {
      SCOPED_TRACE(testing::Message() << level << " " << encrypted);
      const std::string password = "open sesame";
      CVNZipFileWriter writer(dir /
                              ("L" + std::to_string(level) + (encrypted ? "pw" : "") + ".zip"));
      if (encrypted) writer.setPassword(bytes(password));
      for (const auto& [name, size] : files)
        ASSERT_EQ(writer.writeFileName(std::u16string(name.begin(), name.end()),
                                       folder + "/" + name, level),
                  CVNZipResultSucceeded);
      writer.closeFile();
      const std::string archive = writer.path();
      const OptionalBytes pw = encrypted ? OptionalBytes(bytes(password)) : std::nullopt;
      if (peers.have("unzip")) expectSucceeded(unzipTest(archive, pw), "unzip -t");
      if (peers.have("7z"))
        expectSucceeded(sevenZipTest(archive, encrypted ? std::optional(password) : std::nullopt),
                        "7z t");
      if (peers.have("bsdtar")) expectSucceeded(bsdtarRead(archive, pw), "bsdtar -x");
      if (peers.have("python3"))
        expectSucceeded(runPython(kPythonCheck, {archive, folder, encrypted ? password : ""}),
                        "zipfile");
    }
  CORVANA_SKIP_IF_PEERS_MISSING(peers);
}

}  // namespace
