// The reader on hostile and damaged input: names that try to leave the output
// folder, duplicate names, the edges of the end-record search, split archives
// with a part missing, and cancellation.
#include "engine/CVNZipFileReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/CVNZipCentralFileHeader.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

namespace {

using namespace corvana_test;
using Paths = std::vector<std::string>;

// Every path below `root`, sorted: folders end in "/", files show "=" and their text.
Paths tree(const std::string& root) {
  Paths paths;
  for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
    const std::string path = std::filesystem::relative(item.path(), root).string();
    const Bytes data = item.is_directory() ? Bytes{} : readFile(item.path());
    paths.push_back(path +
                    (item.is_directory() ? "/" : "=" + std::string(data.begin(), data.end())));
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

// An archive (the last of its parts) in a scratch folder, extracted into "out".
struct Extraction {
  TempDir dir;
  std::string archive = dir / "a.zip";
  std::string out = dir / "out";

  explicit Extraction(const std::vector<Bytes>& parts) {
    for (size_t i = 0; i + 1 < parts.size(); ++i)
      writeFile(dir / ("a.z0" + std::to_string(i + 1)), parts[i]);
    writeFile(archive, parts.back());
    std::filesystem::create_directory(out);
  }
  explicit Extraction(const Bytes& archive) : Extraction(std::vector<Bytes>{archive}) {}
  std::unique_ptr<CVNZipFileReader> open() {
    auto reader = CVNZipFileReader::withZipFileAtPath(archive);
    if (reader) reader->setDirectoryPath(out);
    return reader;
  }
  // The result of each entry, in central-directory order.
  std::vector<int> extractAll() {
    std::vector<int> results;
    if (auto reader = open())
      while (auto header = reader->readCentralFileHeader())
        results.push_back(reader->decompressFileDataRelativeToCentralFileHeader(*header));
    return results;
  }
};

// A ".." piece anywhere is refused, so is a name of empty pieces only, and a
// NUL that would cut the path short. A leading "/" does not leave the output
// folder. "." pieces: the output folder itself for a folder (nothing made, no
// stray ". 2"), nowhere for a file, dropped elsewhere. "\" is an ordinary
// character.
TEST(ReaderTest, EntryNamesStayInsideTheOutputFolder) {
  // clang-format off
  const struct { std::string name; int result; Paths created; } cases[] = {
      {"../x", 3, {}}, {"a/../b", 3, {}}, {"..", 3, {}}, {"a/..", 3, {}}, {"../", 3, {}},
      {"a/../", 3, {}}, {"", 3, {}}, {"/", 3, {}}, {"//", 3, {}}, {std::string("a\0b", 3), 3, {}},
      {"/abs", 0, {"abs=data"}}, {"//abs/x", 0, {"abs/", "abs/x=data"}},
      {"./", 0, {}}, {"././", 0, {}}, {".//", 0, {}}, {".", 3, {}}, {"./.", 3, {}},
      {"./a.txt", 0, {"a.txt=data"}}, {"a/./b", 0, {"a/", "a/b=data"}}, {"a/./", 0, {"a/"}},
      {"a\\..\\b", 0, {"a\\..\\b=data"}}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Extraction x(TestZipBuilder().add(c.name, c.name.ends_with('/') ? "" : "data").archive());
    EXPECT_EQ(x.extractAll(), std::vector<int>{c.result});
    EXPECT_EQ(tree(x.out), c.created);
    EXPECT_EQ(listFolder(x.dir.path()), (Paths{"a.zip", "out"}));
  }
}

// bsdtar run on "." archives "./" first: extracting it adds nothing. The same
// name twice: the second takes a free name. A folder entry after its own
// contents takes a new name.
TEST(ReaderTest, ArchivesOfSeveralEntries) {
  // clang-format off
  const struct { std::vector<std::pair<std::string, std::string>> entries; Paths created; } cases[] = {
      {{{"./", ""}, {"./a.txt", "A"}, {"./d/", ""}, {"./d/b.txt", "B"}}, {"a.txt=A", "d/", "d/b.txt=B"}},
      {{{"a.txt", "first"}, {"a.txt", "second"}, {"noext", "1"}, {"noext", "2"}},
       {"a 2.txt=second", "a.txt=first", "noext 2=2", "noext=1"}},
      {{{"d/a.txt", "A"}, {"d/", ""}}, {"d 2/", "d/", "d/a.txt=A"}}};
  // clang-format on
  for (const auto& c : cases) {
    TestZipBuilder builder;
    for (const auto& [name, data] : c.entries) builder.add(name, data);
    Extraction x(builder.archive());
    EXPECT_EQ(x.extractAll(), std::vector<int>(c.entries.size(), 0));
    EXPECT_EQ(tree(x.out), c.created);
  }
}

// The longest comment is found, one byte more is not; one running past the end raises.
TEST(ReaderSearchTest, Comments) {
  Bytes archive = TestZipBuilder().add("a.txt", "A").archive(Bytes(65535, 'c'));
  {
    Extraction x(archive);
    auto reader = x.open();
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->totalNumberOfEntriesInTheCentralDirectory(), 1u);
    EXPECT_EQ(reader->offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber(), 36u);
  }
  archive.push_back('c');
  EXPECT_FALSE(Extraction(archive).open());
  archive.resize(archive.size() - 100);
  EXPECT_EQ(raised([&] { Extraction(archive).open(); }), "RVIOHandleEndOfBytesException");
}

// Short, empty, foreign, random and truncated files: no reader, and nothing raised.
TEST(ReaderSearchTest, NoReaderWithoutAValidDirectory) {
  const Bytes empty = TestZipBuilder().archive();
  std::vector<Bytes> files = {{},
                              Bytes(21, 0),
                              empty,
                              Bytes(empty.begin() + 1, empty.end()),
                              Bytes(100, 'a'),
                              randomBytes(300000, 99)};
  for (uint32_t seed = 1; seed <= 8; ++seed) files.push_back(randomBytes(1000 + 9000 * seed, seed));
  const Bytes archive =
      TestZipBuilder().add("a.txt", "alpha").add("d/").add("d/b.txt", "beta").archive();
  for (size_t length = 0; length < archive.size(); ++length)
    files.emplace_back(archive.begin(), archive.begin() + long(length));
  for (const Bytes& file : files) {
    Extraction x(file);
    EXPECT_EQ(raised([&] { EXPECT_FALSE(x.open()) << file.size(); }), "") << file.size();
  }
}

TEST(ReaderSearchTest, EnumerationEndsAtTheFirstRecordThatIsNotACentralHeader) {
  Bytes archive = TestZipBuilder().add("a.txt", "A").add("b.txt", "B").archive();
  archive[archive.size() - 14] = archive[archive.size() - 12] = 7;  // the end record claims 7
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

// a.z01 holds "one.txt", a.z02 "two.txt", a.zip the central directory.
std::vector<Bytes> splitArchive() {
  TestZipBuilder builder;
  builder.add("one.txt", "1st").nextPart().add("two.txt", "2nd").nextPart();
  return builder.finish();
}

TEST(ReaderSplitTest, ReadsEveryPart) {
  Extraction x(splitArchive());
  auto reader = x.open();
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->numberOfThisDisk(), 2u);
  EXPECT_EQ(reader->numberOfTheDiskWithTheStartOfTheCentralDirectory(), 2u);
  while (auto header = reader->readCentralFileHeader())
    EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*header), 0);
  EXPECT_EQ(tree(x.out), (Paths{"one.txt=1st", "two.txt=2nd"}));
}

TEST(ReaderSplitTest, MissingPartFailsTheSearchOrOnlyItsEntry) {
  Extraction first(splitArchive());
  std::filesystem::remove(first.dir / "a.z01");
  EXPECT_EQ(raised([&] { first.open(); }), "RVFileSystemException errno = 2");

  Extraction x(splitArchive());
  std::filesystem::remove(x.dir / "a.z02");
  auto reader = x.open();
  ASSERT_TRUE(reader);
  auto one = reader->readCentralFileHeader(), two = reader->readCentralFileHeader();
  ASSERT_TRUE(one && two);
  EXPECT_EQ(raised([&] { reader->decompressFileDataRelativeToCentralFileHeader(*two); }),
            "RVFileSystemException errno = 2");
  EXPECT_TRUE(tree(x.out).empty());
  // An entry on a part beyond the last is damaged.
  two->setDiskNumberStart(3);
  EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*two), 3);
  EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*one), 0);
  EXPECT_EQ(tree(x.out), Paths{"one.txt=1st"});
}

TEST(ReaderCancellationTest, DuringTheSearchOfRewindChangesNothing) {
  Extraction x(TestZipBuilder().add("a.txt", "A").add("b.txt", "B").archive());
  auto reader = x.open();
  ASSERT_TRUE(reader);
  TestJob job;
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
  const Bytes big = randomBytes(3 << 20, 5);
  Extraction x(TestZipBuilder().add("d/").add("d/big.bin", big).archive());
  auto reader = x.open();
  ASSERT_TRUE(reader);
  TestJob job;
  job.cancelOnProgress = true;
  reader->setOperation(&job);
  EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*reader->readCentralFileHeader()),
            0);
  auto header = reader->readCentralFileHeader();
  EXPECT_EQ(raised([&] { reader->decompressFileDataRelativeToCentralFileHeader(*header); }),
            "RVOperationCancelledException Cancelled");
  EXPECT_GT(job.progress, 0u);
  EXPECT_LT(job.progress, big.size());
  EXPECT_EQ(tree(x.out), Paths{"d/"});
}

}  // namespace
