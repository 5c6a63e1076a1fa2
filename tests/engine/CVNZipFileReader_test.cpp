// The reader on hostile and damaged input: names that try to leave the output
// folder, duplicate names, the edges of the end-record search, split archives
// with a part missing, and cancellation.
#include "engine/CVNZipFileReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/CVNEngineJob.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/io/RVException.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

namespace {

using corvana_test::raised;

using corvana_test::buildZipArchive;
using corvana_test::Bytes;
using corvana_test::bytes;
using corvana_test::listFolder;
using corvana_test::readFile;
using corvana_test::TempDir;
using corvana_test::TestZipBuilder;
using corvana_test::TestZipEntry;
using corvana_test::writeFile;


// Every path below `root`, relative, sorted; folders end in "/".
std::vector<std::string> tree(const std::string& root) {
  std::vector<std::string> paths;
  for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
    std::string path = std::filesystem::relative(item.path(), root).string();
    paths.push_back(item.is_directory() ? path + "/" : path);
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

TestZipEntry fileEntry(const std::string& name, const std::string& data) {
  TestZipEntry e;
  e.name = bytes(name);
  e.data = bytes(data);
  return e;
}

TestZipEntry folderEntry(const std::string& name) {
  TestZipEntry e;
  e.name = bytes(name);
  e.externalAttributes = 0x10;
  return e;
}

Bytes pattern(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& v : b) v = static_cast<uint8_t>(rng());
  return b;
}

// An archive in a scratch folder, extracted into its "out" subfolder.
struct Extraction {
  TempDir dir;
  std::string archive = dir / "archive.zip";
  std::string out = dir / "out";

  explicit Extraction(const Bytes& archiveBytes) {
    writeFile(archive, archiveBytes);
    std::filesystem::create_directory(out);
  }
  std::unique_ptr<CVNZipFileReader> open() {
    auto reader = CVNZipFileReader::withZipFileAtPath(archive);
    if (reader) reader->setDirectoryPath(out);
    return reader;
  }
  // The result of each entry, in central-directory order.
  std::vector<int> extractAll() {
    std::vector<int> results;
    auto reader = open();
    if (!reader) return results;
    while (auto header = reader->readCentralFileHeader())
      results.push_back(reader->decompressFileDataRelativeToCentralFileHeader(*header));
    return results;
  }
};

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

// --- Entry names ---

struct NameCase {
  std::string name;
  bool folder;
  int result;
  std::vector<std::string> created;  // below the output folder
};

class ReaderEntryName : public testing::TestWithParam<NameCase> {};

TEST_P(ReaderEntryName, StaysInsideTheOutputFolder) {
  const NameCase& c = GetParam();
  Extraction x(buildZipArchive({c.folder ? folderEntry(c.name) : fileEntry(c.name, "data")}));
  EXPECT_EQ(x.extractAll(), std::vector<int>{c.result});
  EXPECT_EQ(tree(x.out), c.created);
  // Nothing beside the output folder either.
  EXPECT_EQ(listFolder(x.dir.path()), (std::vector<std::string>{"archive.zip", "out"}));
  if (c.result == 0 && !c.folder) {
    std::string file = x.out + "/" + c.created.back();
    EXPECT_EQ(readFile(file), bytes("data"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, ReaderEntryName,
    testing::Values(
        // A ".." piece anywhere is refused.
        NameCase{"../x", false, 3, {}}, NameCase{"a/../b", false, 3, {}},
        NameCase{"..", false, 3, {}}, NameCase{"a/..", false, 3, {}}, NameCase{"../", true, 3, {}},
        NameCase{"a/../", true, 3, {}},
        // Only empty pieces: refused.
        NameCase{"", false, 3, {}}, NameCase{"/", true, 3, {}}, NameCase{"//", true, 3, {}},
        // A leading "/" does not leave the output folder.
        NameCase{"/abs", false, 0, {"abs"}}, NameCase{"//abs/x", false, 0, {"abs/", "abs/x"}},
        // "." pieces: the output folder itself for a folder, nowhere for a file,
        // dropped elsewhere.
        NameCase{"./", true, 0, {}}, NameCase{"././", true, 0, {}}, NameCase{".//", true, 0, {}},
        NameCase{".", false, 3, {}}, NameCase{"./.", false, 3, {}},
        NameCase{"./a.txt", false, 0, {"a.txt"}}, NameCase{"a/./b", false, 0, {"a/", "a/b"}},
        NameCase{"a/./", true, 0, {"a/"}},
        // "\" is an ordinary character.
        NameCase{"a\\..\\b", false, 0, {"a\\..\\b"}}));

// bsdtar run on "." archives "./" first: extracting it adds nothing.
TEST(ReaderEntryNameTest, DotFolderBeforeItsContentsMakesNoStrayFolder) {
  Extraction x(buildZipArchive({folderEntry("./"), fileEntry("./a.txt", "A"), folderEntry("./d/"),
                                fileEntry("./d/b.txt", "B")}));
  EXPECT_EQ(x.extractAll(), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(tree(x.out), (std::vector<std::string>{"a.txt", "d/", "d/b.txt"}));
}

TEST(ReaderEntryNameTest, SameNameTwiceGetsAFreeName) {
  Extraction x(buildZipArchive({fileEntry("a.txt", "first"), fileEntry("a.txt", "second"),
                                fileEntry("noext", "1"), fileEntry("noext", "2")}));
  EXPECT_EQ(x.extractAll(), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(tree(x.out), (std::vector<std::string>{"a 2.txt", "a.txt", "noext", "noext 2"}));
  EXPECT_EQ(readFile(x.out + "/a.txt"), bytes("first"));
  EXPECT_EQ(readFile(x.out + "/a 2.txt"), bytes("second"));
}

TEST(ReaderEntryNameTest, FolderEntryAfterItsContentsTakesANewName) {
  Extraction x(buildZipArchive({fileEntry("d/a.txt", "A"), folderEntry("d/")}));
  EXPECT_EQ(x.extractAll(), (std::vector<int>{0, 0}));
  EXPECT_EQ(tree(x.out), (std::vector<std::string>{"d 2/", "d/", "d/a.txt"}));
}

// --- The search for the end record ---

TEST(ReaderSearchTest, CommentOfTheLongestLengthIsFoundOneByteMoreIsNot) {
  Bytes archive = buildZipArchive({fileEntry("a.txt", "A")}, Bytes(65535, 'c'));
  {
    Extraction x(archive);
    auto reader = x.open();
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->totalNumberOfEntriesInTheCentralDirectory(), 1u);
    EXPECT_EQ(reader->offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber(),
              30u + 5 + 1);
  }
  archive.push_back('c');
  Extraction x(archive);
  EXPECT_FALSE(x.open());
}

TEST(ReaderSearchTest, ShortAndForeignFilesYieldNoReader) {
  Bytes emptyArchive = buildZipArchive({});
  ASSERT_EQ(emptyArchive.size(), 22u);
  Bytes notZip(100);
  for (size_t i = 0; i < notZip.size(); ++i) notZip[i] = static_cast<uint8_t>('a' + i % 26);
  for (const Bytes& file :
       {Bytes{}, Bytes(21, 0), Bytes(emptyArchive.begin() + 1, emptyArchive.end()), emptyArchive,
        notZip}) {
    Extraction x(file);
    EXPECT_EQ(raised([&] { EXPECT_FALSE(x.open()); }), "") << file.size();
  }
}

TEST(ReaderSearchTest, RandomBytesYieldNoReader) {
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    Extraction x(pattern(1000 + 9000 * seed, seed));
    EXPECT_FALSE(x.open()) << seed;
  }
  // A large random file costs one 4-byte read per candidate and no more.
  Extraction x(pattern(300000, 99));
  EXPECT_FALSE(x.open());
}

TEST(ReaderSearchTest, EveryTruncationYieldsNoReader) {
  Bytes archive = buildZipArchive(
      {fileEntry("a.txt", "alpha"), folderEntry("d/"), fileEntry("d/b.txt", "beta")});
  for (size_t length = 0; length < archive.size(); ++length) {
    Extraction x(Bytes(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(length)));
    EXPECT_EQ(raised([&] { EXPECT_FALSE(x.open()) << length; }), "") << length;
  }
}

TEST(ReaderSearchTest, CommentRunningPastTheEndRaises) {
  Bytes archive = buildZipArchive({fileEntry("a.txt", "A")}, Bytes(40, 'c'));
  archive.resize(archive.size() - 10);
  Extraction x(archive);
  EXPECT_EQ(raised([&] { x.open(); }), "RVIOHandleEndOfBytesException");
}

TEST(ReaderSearchTest, EnumerationEndsAtTheFirstRecordThatIsNotACentralHeader) {
  Bytes archive = buildZipArchive({fileEntry("a.txt", "A"), fileEntry("b.txt", "B")});
  // The end record claims 7 entries.
  size_t end = archive.size() - 22;
  archive[end + 8] = archive[end + 10] = 7;
  Extraction x(archive);
  auto reader = x.open();
  ASSERT_TRUE(reader);
  int count = 0;
  while (reader->readCentralFileHeader()) ++count;
  EXPECT_EQ(count, 2);
  EXPECT_FALSE(reader->readCentralFileHeader());
  reader->rewind();
  EXPECT_TRUE(reader->readCentralFileHeader());
}

// --- Split archives ---

// a.z01 holds "one.txt", a.z02 holds "two.txt", a.zip the central directory.
struct SplitArchive {
  TempDir dir;
  std::string path = dir / "a.zip";
  SplitArchive() {
    TestZipBuilder builder;
    builder.addEntry(fileEntry("one.txt", "first part"));
    builder.startNewPart();
    builder.addEntry(fileEntry("two.txt", "second part"));
    builder.startNewPart();
    auto parts = builder.finish();
    writeFile(dir / "a.z01", parts[0]);
    writeFile(dir / "a.z02", parts[1]);
    writeFile(path, parts[2]);
    std::filesystem::create_directory(dir / "out");
  }
  std::unique_ptr<CVNZipFileReader> open() {
    auto reader = CVNZipFileReader::withZipFileAtPath(path);
    if (reader) reader->setDirectoryPath(dir / "out");
    return reader;
  }
};

TEST(ReaderSplitTest, ReadsEveryPart) {
  SplitArchive split;
  auto reader = split.open();
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->numberOfThisDisk(), 2u);
  EXPECT_EQ(reader->numberOfTheDiskWithTheStartOfTheCentralDirectory(), 2u);
  while (auto header = reader->readCentralFileHeader())
    EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*header), 0);
  EXPECT_EQ(readFile(split.dir / "out/one.txt"), bytes("first part"));
  EXPECT_EQ(readFile(split.dir / "out/two.txt"), bytes("second part"));
}

TEST(ReaderSplitTest, MissingFirstPartFailsTheSearch) {
  SplitArchive split;
  std::filesystem::remove(split.dir / "a.z01");
  EXPECT_EQ(raised([&] { split.open(); }), "RVFileSystemException errno = 2");
}

TEST(ReaderSplitTest, MissingLaterPartFailsOnlyItsEntry) {
  SplitArchive split;
  std::filesystem::remove(split.dir / "a.z02");
  auto reader = split.open();
  ASSERT_TRUE(reader);
  auto one = reader->readCentralFileHeader();
  auto two = reader->readCentralFileHeader();
  ASSERT_TRUE(one && two);
  EXPECT_EQ(raised([&] { reader->decompressFileDataRelativeToCentralFileHeader(*two); }),
            "RVFileSystemException errno = 2");
  EXPECT_TRUE(tree(split.dir / "out").empty());
  EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*one), 0);
  EXPECT_EQ(tree(split.dir / "out"), std::vector<std::string>{"one.txt"});
}

TEST(ReaderSplitTest, EntryOnAPartBeyondTheLastIsDamaged) {
  SplitArchive split;
  auto reader = split.open();
  ASSERT_TRUE(reader);
  auto header = reader->readCentralFileHeader();
  header->setDiskNumberStart(3);
  EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*header), 3);
  EXPECT_TRUE(tree(split.dir / "out").empty());
}

// --- Cancellation ---

TEST(ReaderCancellationTest, DuringTheSearchOfRewindChangesNothing) {
  Extraction x(buildZipArchive({fileEntry("a.txt", "A"), fileEntry("b.txt", "B")}));
  auto reader = x.open();
  ASSERT_TRUE(reader);
  FakeJob job;
  reader->setOperation(&job);
  ASSERT_TRUE(reader->readCentralFileHeader());
  job.cancelled = true;
  EXPECT_EQ(raised([&] { reader->rewind(); }), "RVOperationCancelledException Cancelled");
  job.cancelled = false;
  auto next = reader->readCentralFileHeader();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->fileName(), bytes("b.txt"));
}

TEST(ReaderCancellationTest, DuringAnEntryRemovesItsOutput) {
  TestZipEntry big;
  big.name = bytes("d/big.bin");
  big.data = pattern(3 << 20, 5);
  Extraction x(buildZipArchive({folderEntry("d/"), big}));
  auto reader = x.open();
  ASSERT_TRUE(reader);
  FakeJob job;
  job.cancelOnProgress = true;
  reader->setOperation(&job);
  auto folder = reader->readCentralFileHeader();
  EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*folder), 0);
  auto header = reader->readCentralFileHeader();
  EXPECT_EQ(raised([&] { reader->decompressFileDataRelativeToCentralFileHeader(*header); }),
            "RVOperationCancelledException Cancelled");
  EXPECT_GT(job.progress, 0u);
  EXPECT_LT(job.progress, big.data.size());
  EXPECT_EQ(tree(x.out), std::vector<std::string>{"d/"});
}

}  // namespace
