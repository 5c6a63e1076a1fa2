// The reader on hostile and damaged input: names that try to leave the output
// folder, duplicate and over-long names, entries that share bytes, local
// headers out of reach, paths through files, the edges of the end-record
// search, split archives with a part missing, cancellation, and the retries of
// the password loop.
#include "engine/CVNZipFileReader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/CVNStringEncoding.h"
#include "engine/CVNWindowsCodepage.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileWriter.h"
#include "engine/CVNZipPasswordEncoder.h"
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

uint64_t le(const Bytes& b, size_t at, int width) {
  uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = v << 8 | b.at(at + i);
  return v;
}

void setLE(Bytes& b, size_t at, int width, uint64_t value) {
  for (int i = 0; i < width; ++i) b.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
}

// Where the central records of a one-part archive without comment start.
std::vector<size_t> centralRecords(const Bytes& archive) {
  std::vector<size_t> records;
  for (size_t at = le(archive, archive.size() - 6, 4); le(archive, at, 4) == 0x02014B50;
       at += 46 + le(archive, at + 28, 2) + le(archive, at + 30, 2) + le(archive, at + 32, 2))
    records.push_back(at);
  return records;
}

// Field offsets in a central record.
constexpr size_t kMadeBy = 4, kCompressedSize = 20, kLocalOffset = 42;

// A ".." piece anywhere is refused, so is a name of empty pieces only, and a
// NUL that would cut the path short. A leading "/" does not leave the output
// folder. "." pieces: the output folder itself for a folder (nothing made, no
// stray ". 2"), nowhere for a file, dropped elsewhere. These names come
// from MS-DOS, where "\" separates pieces too.
TEST(ReaderTest, EntryNamesStayInsideTheOutputFolder) {
  // clang-format off
  const struct { std::string name; int result; Paths created; } cases[] = {
      {"../x", 3, {}}, {"a/../b", 3, {}}, {"..", 3, {}}, {"a/..", 3, {}}, {"../", 3, {}},
      {"a/../", 3, {}}, {"", 3, {}}, {"/", 3, {}}, {"//", 3, {}}, {std::string("a\0b", 3), 3, {}},
      {"/abs", 0, {"abs=data"}}, {"//abs/x", 0, {"abs/", "abs/x=data"}},
      {"./", 0, {}}, {"././", 0, {}}, {".//", 0, {}}, {".", 3, {}}, {"./.", 3, {}},
      {"./a.txt", 0, {"a.txt=data"}}, {"a/./b", 0, {"a/", "a/b=data"}}, {"a/./", 0, {"a/"}},
      {"a\\..\\b", 3, {}}, {"..\\x", 3, {}}, {"\\", 3, {}}, {"\\\\", 3, {}}};
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
// name twice: the second takes a free name.
TEST(ReaderTest, ArchivesOfSeveralEntries) {
  // clang-format off
  const struct { std::vector<std::pair<std::string, std::string>> entries; Paths created; } cases[] = {
      {{{"./", ""}, {"./a.txt", "A"}, {"./d/", ""}, {"./d/b.txt", "B"}}, {"a.txt=A", "d/", "d/b.txt=B"}},
      {{{"a.txt", "first"}, {"a.txt", "second"}, {"noext", "1"}, {"noext", "2"}},
       {"a 2.txt=second", "a.txt=first", "noext 2=2", "noext=1"}}};
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
  std::vector<Bytes> files = {Bytes{},         Bytes(21, 0),
                              empty,           Bytes(empty.begin() + 1, empty.end()),
                              Bytes(100, 'a'), randomBytes(300000, 99)};
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

using Entries = std::vector<std::pair<std::string, std::string>>;

Bytes archiveOf(const Entries& entries) {
  TestZipBuilder builder;
  for (const auto& [name, data] : entries) builder.add(name, data);
  return builder.archive();
}

// Folders listed after their contents (as zip -r with -D off does not, but our
// archiving and many tools do) extract without a stray empty "d 2". A folder
// that existed before, or that an earlier folder entry took, still gets a free
// name; a file never takes a folder's name.
TEST(ReaderFolderTest, AFolderEntryTakesTheFolderMadeForItsContents) {
  // clang-format off
  const struct { Entries entries; Paths existing, created; } cases[] = {
      {{{"d/a.txt", "A"}, {"d/", ""}}, {}, {"d/", "d/a.txt=A"}},
      {{{"x/y/a.txt", "A"}, {"x/y/", ""}, {"x/", ""}}, {}, {"x/", "x/y/", "x/y/a.txt=A"}},
      {{{"d/a.txt", "A"}, {"d/", ""}, {"d/", ""}}, {}, {"d 2/", "d/", "d/a.txt=A"}},
      {{{"d/", ""}, {"d/", ""}}, {}, {"d 2/", "d/"}},
      {{{"d/", ""}, {"d/a.txt", "A"}, {"d/", ""}}, {}, {"d 2/", "d/", "d/a.txt=A"}},
      {{{"d/a.txt", "A"}, {"d", "F"}, {"d/", ""}}, {}, {"d 2=F", "d/", "d/a.txt=A"}},
      {{{"d/a.txt", "A"}, {"d/", ""}}, {"d"}, {"d 2/", "d/", "d/a.txt=A"}},
      {{{"d/e/a.txt", "A"}, {"d/", ""}, {"d/e/", ""}}, {}, {"d/", "d/e/", "d/e/a.txt=A"}}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entries.size());
    Extraction x(archiveOf(c.entries));
    for (const std::string& folder : c.existing)
      std::filesystem::create_directory(x.out + "/" + folder);
    EXPECT_EQ(x.extractAll(), std::vector<int>(c.entries.size(), 0));
    EXPECT_EQ(tree(x.out), c.created);
  }
  // The folder taken carries the entry's date (1980), not the time its contents were made.
  Extraction x(archiveOf({{"d/a.txt", "A"}, {"d/", ""}}));
  x.extractAll();
  struct stat status;
  ASSERT_EQ(::stat((x.out + "/d").c_str(), &status), 0);
  EXPECT_LT(status.st_mtime, 946684800);
}

// 100 central records over one 64 KiB stream, and an entry whose data runs
// over the next one's header: whichever comes second is damaged and makes
// nothing, in either order.
TEST(ReaderOverlapTest, EntriesThatShareBytesAreDamaged) {
  const std::string data(65536, 'z');
  TestZipBuilder builder;
  for (int i = 0; i < 100; ++i) builder.add("f" + std::to_string(i) + ".txt", data);
  Bytes bomb = builder.archive();
  for (size_t record : centralRecords(bomb)) setLE(bomb, record + kLocalOffset, 4, 0);
  Extraction x(bomb);
  std::vector<int> expected(100, 3);
  expected[0] = 0;
  EXPECT_EQ(x.extractAll(), expected);
  EXPECT_EQ(tree(x.out), Paths{"f0.txt=" + data});

  // a's data stretched over b's local header, with a size and CRC to match.
  Bytes archive = archiveOf({{"a.txt", "AAAA"}, {"b.txt", "BBBB"}, {"c.txt", "CCCC"}});
  const auto records = centralRecords(archive);
  const size_t aData = 30 + 5, stretched = le(archive, records[1] + kLocalOffset, 4) + 36 - aData;
  const Bytes slice(archive.begin() + aData, archive.begin() + long(aData + stretched));
  setLE(archive, records[0] + 16, 4, crc32Of(slice));
  setLE(archive, records[0] + kCompressedSize, 4, stretched);
  setLE(archive, records[0] + kCompressedSize + 4, 4, stretched);
  for (bool bFirst : {false, true}) {
    SCOPED_TRACE(bFirst);
    Extraction y(archive);
    auto reader = y.open();
    ASSERT_TRUE(reader);
    auto a = reader->readCentralFileHeader(), b = reader->readCentralFileHeader(),
         c = reader->readCentralFileHeader();
    auto& first = bFirst ? b : a;
    auto& second = bFirst ? a : b;
    EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*first), 0);
    EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*second), 3);
    EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*c), 0);
    EXPECT_EQ(tree(y.out).size(), 2u);
    EXPECT_FALSE(exists(y.out + (bFirst ? "/a.txt" : "/b.txt")));
  }
}

// Many entries of one name number on from the last, skip what already exists,
// and a name whose output was removed (an unsupported method here) is handed
// out again to the next entry.
TEST(ReaderFreeNameTest, OneNameManyTimes) {
  Entries flood(60, {"x.txt", "X"});
  Paths expected = {"x.txt=X"};
  for (int n = 2; n <= 61; ++n) expected.push_back("x " + std::to_string(n) + ".txt=X");
  std::sort(expected.begin(), expected.end());
  Extraction x(archiveOf(flood));
  writeFile(x.out + "/x 7.txt", "X");  // there before
  EXPECT_EQ(x.extractAll(), std::vector<int>(60, 0));
  EXPECT_EQ(tree(x.out), expected);

  Bytes archive = archiveOf({{"y.txt", "1"}, {"y.txt", "2"}, {"y.txt", "3"}, {"y.txt", "4"}});
  const auto records = centralRecords(archive);
  setLE(archive, records[1] + 10, 2, 99);  // method 99
  Extraction y(archive);
  EXPECT_EQ(y.extractAll(), (std::vector<int>{0, 1, 0, 0}));
  EXPECT_EQ(tree(y.out), (Paths{"y 2.txt=3", "y 3.txt=4", "y.txt=1"}));
}

// Linux takes 255 bytes a name where Windows takes 255 UTF-16 units: a piece
// that does not fit keeps its short extension and is cut at a character to 245
// bytes; free names for names at the limit cut their base. Pieces that fit,
// and the output folder's own path, are left alone.
TEST(ReaderLongNameTest, PiecesLongerThanTheFileSystemTakesAreCut) {
  const std::string j = "\xE6\x97\xA5";  // a 3-byte character
  auto times = [](const std::string& text, int n) {
    std::string result;
    for (int i = 0; i < n; ++i) result += text;
    return result;
  };
  const std::string a251 = std::string(251, 'a'), a241 = std::string(241, 'a');
  // clang-format off
  const struct { Entries entries; Paths created; } cases[] = {
      {{{a251 + ".txt", "1"}, {a251 + ".txt", "2"}},
       {std::string(249, 'a') + " 2.txt=2", a251 + ".txt=1"}},
      {{{std::string(300, 'a') + ".txt", "1"}, {std::string(300, 'a') + ".txt", "2"}},
       {a241 + " 2.txt=2", a241 + ".txt=1"}},
      {{{times(j, 100) + ".txt", "1"}}, {times(j, 80) + ".txt=1"}},
      {{{times(j, 100), "1"}}, {times(j, 81) + "=1"}},
      {{{std::string(250, 'a') + "." + std::string(40, 'b'), "1"}}, {std::string(245, 'a') + "=1"}},
      {{{"." + std::string(300, 'a'), "1"}}, {"." + std::string(244, 'a') + "=1"}},
      {{{std::string(300, 'a') + ".", "1"}}, {std::string(245, 'a') + "=1"}},
      {{{"a" + times(j, 100) + ".txt", "1"}}, {"a" + times(j, 80) + ".txt=1"}},
      {{{times(j, 90) + "/a.txt", "1"}, {times(j, 90) + "/b.txt", "2"}, {times(j, 90) + "/", ""}},
       {times(j, 81) + "/", times(j, 81) + "/a.txt=1", times(j, 81) + "/b.txt=2"}},
      {{{std::string(255, 'd') + "/", ""}, {std::string(255, 'd') + "/", ""}},
       {std::string(253, 'd') + " 2/", std::string(255, 'd') + "/"}}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entries.front().first.size());
    Bytes archive = archiveOf(c.entries);
    for (size_t record : centralRecords(archive)) setLE(archive, record + kMadeBy, 2, 0x0314);
    Extraction x(archive);
    EXPECT_EQ(x.extractAll(), std::vector<int>(c.entries.size(), 0));
    EXPECT_EQ(tree(x.out), c.created);
  }
}

// A local header past the end of its part, or cut off by it, makes its entry
// damaged; the entries after it are still extracted. (The first entry's header
// is checked by the search for the directory.)
TEST(ReaderLocalHeaderTest, OutOfReachIsDamaged) {
  const auto twoParts = [] {
    return TestZipBuilder()
        .add("one.txt", "1st")
        .add("two.txt", "2nd")
        .nextPart()
        .add("six.txt", "6th")
        .finish();
  };
  const struct {
    const char* what;
    std::function<void(std::vector<Bytes>&)> damage;
  } cases[] = {
      {"past the end",
       [](auto& parts) {
         setLE(parts.back(), centralRecords(parts.back())[1] + kLocalOffset, 4, 1 << 20);
       }},
      {"name runs past the end", [](auto& parts) { setLE(parts.back(), 40 + 26, 2, 0xFFFF); }},
      {"past the end of its part, not the last",
       [&](auto& parts) {
         parts = twoParts();
         setLE(parts.back(), centralRecords(parts.back())[1] + kLocalOffset, 4, 100);
       }},
      {"cut off by its part",
       [&](auto& parts) {
         parts = twoParts();
         parts[0].resize(60);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Bytes> parts = {
        archiveOf({{"one.txt", "1st"}, {"two.txt", "2nd"}, {"six.txt", "6th"}})};
    c.damage(parts);
    Extraction x(parts);
    EXPECT_EQ(raised([&] { EXPECT_EQ(x.extractAll(), (std::vector<int>{0, 3, 0})); }), "");
    EXPECT_EQ(tree(x.out), (Paths{"one.txt=1st", "six.txt=6th"}));
  }
  // Past the end of its part, with the next part missing: still only damaged.
  TestZipBuilder builder;
  builder.add("one.txt", "1st").add("two.txt", "2nd").nextPart().add("six.txt", "6th").nextPart();
  std::vector<Bytes> parts = builder.finish();
  setLE(parts.back(), centralRecords(parts.back())[1] + kLocalOffset, 4, 100);
  Extraction x(parts);
  std::filesystem::remove(x.dir / "a.z02");
  auto reader = x.open();
  ASSERT_TRUE(reader);
  for (int result : {0, 3})
    EXPECT_EQ(
        reader->decompressFileDataRelativeToCentralFileHeader(*reader->readCentralFileHeader()),
        result);
}

// A path through a file: only a damaged archive holds "a" and "a/b.txt".
TEST(ReaderPathTest, APathThroughAFileIsDamaged) {
  // clang-format off
  const struct { Entries entries; std::vector<int> results; Paths created; } cases[] = {
      {{{"a", "F"}, {"a/b.txt", "B"}, {"c.txt", "C"}}, {0, 3, 0}, {"a=F", "c.txt=C"}},
      {{{"a", "F"}, {"a/x/y/", ""}, {"a/x/b.txt", "B"}}, {0, 3, 3}, {"a=F"}},
      {{{"a", "F"}, {"a/", ""}}, {0, 0}, {"a 2/", "a=F"}}};
  // clang-format on
  for (const auto& c : cases) {
    Extraction x(archiveOf(c.entries));
    EXPECT_EQ(x.extractAll(), c.results);
    EXPECT_EQ(tree(x.out), c.created);
  }
  // Other failures still raise: here a path deeper than the system takes.
  std::string deep;
  for (int i = 0; i < 20; ++i) deep += std::string(240, 'd') + "/";
  Extraction x(archiveOf({{deep + "x.txt", "X"}}));
  EXPECT_EQ(raised([&] { x.extractAll(); }), "RVFileSystemException errno = 36");
}

// Windows writes "\" between folders; other systems may have it in a name.
// The split comes after decoding: in code page 932, 0x5C also ends "表".
TEST(ReaderBackslashTest, SeparatesPiecesInNamesFromWindowsOnly) {
  // clang-format off
  const struct { std::string name; uint16_t madeBy; int result; Paths created; } cases[] = {
      {"dir\\file.txt", 0x0014, 0, {"dir/", "dir/file.txt=data"}},
      {"dir\\file.txt", 0x0B14, 0, {"dir/", "dir/file.txt=data"}},
      {"dir\\sub\\", 0x0014, 0, {"dir/", "dir/sub/"}},
      {"dir\\file.txt", 0x0314, 0, {"dir\\file.txt=data"}},
      {"dir\\file.txt", 0x0A14, 0, {"dir\\file.txt=data"}},
      {"..\\x", 0x0314, 0, {"..\\x=data"}},
      {"..\\x", 0x0B14, 3, {}},
      {"\x95\x5C" "x.txt", 0x0014, 0, {"\xE8\xA1\xA8x.txt=data"}},
      {"\x95\x5C\\x.txt", 0x0014, 0, {"\xE8\xA1\xA8/", "\xE8\xA1\xA8/x.txt=data"}}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes archive = archiveOf({{c.name, "data"}});
    setLE(archive, centralRecords(archive)[0] + kMadeBy, 2, c.madeBy);
    Extraction x(archive);
    EXPECT_EQ(x.extractAll(), std::vector<int>{c.result});
    EXPECT_EQ(tree(x.out), c.created);
  }
}

// The extraction job's password loop: each entry first without a password,
// then with a wrong text in every candidate encoding, then with the right one.
// Every failed try leaves nothing, so the names and results are those of a
// plain extraction with the password given: no "x 2.txt" stolen by a failed
// try, no entry refused as overlapping its own earlier try.
TEST(ReaderPasswordTest, TheJobsPasswordLoopGivesTheNamesOfOneTry) {
  TempDir sources;
  writeFile(sources / "x.txt", "xxx"), writeFile(sources / "y.txt", std::string(5000, 'y'));
  std::filesystem::create_directory(sources / "d");
  const std::u16string password = u"p\u00E4ss";  // code page 1252 only among the candidates
  const std::string archive = sources / "e.zip";
  {
    CVNZipFileWriter writer(archive);
    writer.setPassword(CVNEncodeString(password, CVNStringEncodingForWindowsCodepage(1252)));
    // clang-format off
    const std::pair<std::u16string, std::string> entries[] = {
        {u"x.txt", "x.txt"}, {u"x.txt", "x.txt"}, {u"d/x.txt", "x.txt"}, {u"d", "d"},
        {u"y.txt", "y.txt"}, {u"x.txt", "y.txt"}};
    // clang-format on
    for (const auto& [name, path] : entries)
      ASSERT_EQ(writer.writeFileName(name, sources / path, -1), 0);
    writer.closeFile();
  }
  auto extract = [&](bool loop, std::vector<int>& tries) {
    TempDir out;
    auto reader = CVNZipFileReader::withZipFileAtPath(archive);
    reader->setDirectoryPath(out.path());
    std::vector<int> results;
    while (auto header = reader->readCentralFileHeader()) {
      if (!loop) {
        reader->setPassword(CVNEncodeString(password, CVNStringEncodingForWindowsCodepage(1252)));
        results.push_back(reader->decompressFileDataRelativeToCentralFileHeader(*header));
        continue;
      }
      reader->setPassword(std::nullopt);
      int result = reader->decompressFileDataRelativeToCentralFileHeader(*header);
      for (std::u16string text : {u"wrong", password.c_str()}) {
        CVNZipPasswordEncoder candidates(header->versionMadeBy(), text);
        while (result == 5) {
          auto bytes = candidates.nextEncoding();
          if (!bytes) break;
          reader->setPassword(std::move(bytes));
          result = reader->decompressFileDataRelativeToCentralFileHeader(*header);
          tries.push_back(result);
        }
      }
      results.push_back(result);
    }
    return std::pair{results, tree(out.path())};
  };
  std::vector<int> tries;
  const auto plain = extract(false, tries);
  EXPECT_EQ(plain.first, std::vector<int>(6, 0));
  EXPECT_EQ(plain.second,
            (Paths{"d/", "d/x.txt=xxx", "x 2.txt=xxx", "x 3.txt=" + std::string(5000, 'y'),
                   "x.txt=xxx", "y.txt=" + std::string(5000, 'y')}));
  EXPECT_EQ(extract(true, tries), plain);
  EXPECT_GE(std::count(tries.begin(), tries.end(), 5), 30);  // the failed tries happened
}

// A damaged entry under its right password: untrusted, its failed check reads
// as a wrong password and leaves nothing; trusted, the password is taken as
// right and the file stays, as any entry that fails its check does.
TEST(ReaderPasswordTest, ATrustedPasswordKeepsWhatFailsItsCheck) {
  for (int level : {0, -1}) {
    SCOPED_TRACE(level);
    TempDir sources;
    writeFile(sources / "x.txt", "the data");
    const std::string archive = sources / "e.zip";
    {
      CVNZipFileWriter writer(archive);
      writer.setPassword(bytes("pw"));
      ASSERT_EQ(writer.writeFileName(u"x.txt", sources / "x.txt", level), 0);
      writer.closeFile();
    }
    Bytes damaged = readFile(archive);
    const size_t central = centralRecords(damaged).at(0);
    damaged.at(central + 16) ^= 1;
    damaged.at(le(damaged, central + kLocalOffset, 4) + 14) ^= 1;
    Extraction e(damaged);
    auto reader = e.open();
    auto header = reader->readCentralFileHeader();
    reader->setPassword(bytes("pw"));
    EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*header),
              CVNZipResultPasswordRequired);
    EXPECT_EQ(tree(e.out), Paths{});
    reader->setPasswordTrusted(true);
    EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*header),
              CVNZipResultVerificationFailed);
    EXPECT_EQ(tree(e.out), Paths{"x.txt=the data"});
  }
}

}  // namespace
