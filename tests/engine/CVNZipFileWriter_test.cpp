// The writer: the values every entry carries (the parser also holds every
// local header to its central record and the records to one another), names
// in the code page, empty archives, what a vanished source, a failed entry and
// cancellation leave in the archive, and round trips through the reader.
#include "engine/CVNZipFileWriter.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/fsuid.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/CVNPathComponentEncoder.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileReader.h"
#include "engine/CVNZipFileWriterInternal.h"
#include "engine/io/RVBufferedWriteHandle.h"
#include "engine/io/RVDataHandle.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

namespace {

// Allocations of buffer size: how many more succeed before one fails; below 0,
// none fails.
constexpr std::size_t kBufferAllocation = 0x10000;
std::atomic<int> gBufferAllocationsLeft{-1};

// Not 0: the next lock fails with this errno, as on a network file system
// without a lock manager.
std::atomic<int> gNextLockError{0};

}  // namespace

// The executable's own flock takes the engine's calls; the kernel does the work.
extern "C" int flock(int fd, int operation) noexcept {
  if (const int error = gNextLockError.exchange(0); error != 0) {
    errno = error;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_flock, fd, operation));
}

// The library's operator delete frees what malloc gave.
void* operator new(std::size_t size) {
  if (size >= kBufferAllocation && gBufferAllocationsLeft.load() >= 0 &&
      gBufferAllocationsLeft.fetch_sub(1) == 0)
    throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

namespace {

using namespace corvana_test;

std::shared_ptr<CVNPathComponentEncoder> encoderFor(CVNStringEncoding encoding) {
  auto encoder = std::make_shared<CVNPathComponentEncoder>();
  encoder->setEncoding(encoding);
  return encoder;
}

class ZipFileWriterTest : public testing::Test {
 protected:
  // A source file below the scratch folder; a folder when `data` is none.
  std::string source(const std::string& name, const std::optional<Bytes>& data = Bytes{}) {
    const std::string path = dir / name;
    std::filesystem::create_directories(data ? std::filesystem::path(path).parent_path()
                                             : std::filesystem::path(path));
    if (data) writeFile(path, *data);
    return path;
  }
  ParsedZipArchive close(CVNZipFileWriter& writer) {
    writer.closeFile();
    return parseZipArchive(writer.path());
  }
  uint64_t archiveSize() { return std::filesystem::file_size(archive); }

  TempDir dir;
  std::string archive = dir / "out.zip";
};

TEST_F(ZipFileWriterTest, ValuesEveryEntryCarries) {
  const Bytes text = bytes(std::string(5000, 'x') + "end");
  // Kind: a folder "d", an empty file, or a text; a compressed size of 1 stands
  // for "smaller than the text".
  // clang-format off
  const struct { char kind; int level; bool encrypted; uint16_t method, versionNeeded;
                 uint64_t compressedSize; } cases[] = {
      {'d', -1, false, 0, 20, 0}, {'d', 9, true, 0, 20, 12},  // only the encryption header
      // An empty raw deflate stream is one final stored block of 2 bytes.
      {'e', -1, false, 8, 20, 2}, {'e', 1, false, 8, 20, 2}, {'e', 9, false, 8, 20, 2},
      {'e', 0, false, 0, 10, 0}, {'e', 0, true, 0, 20, 12}, {'e', -1, true, 8, 20, 14},
      {'t', 0, false, 0, 10, 5003}, {'t', -1, false, 8, 20, 1}, {'t', 9, true, 8, 20, 1}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kind << " " << c.level << (c.encrypted ? " pw" : ""));
    const Bytes data = c.kind == 't' ? text : Bytes{};
    const std::string path = c.kind == 'd' ? source("d", std::nullopt) : source("f", data);
    // The data where it can be told without inflating or decrypting.
    const std::optional<Bytes> plain = c.encrypted     ? std::nullopt
                                       : c.method == 0 ? std::optional(data)
                                       : data.empty()  ? std::optional(Bytes{0x03, 0x00})
                                                       : std::nullopt;
    TempDir scratch;
    CVNZipFileWriter writer(scratch / "a.zip");
    if (c.encrypted) writer.setPassword(bytes("secret"));
    // Twice, so that the second entry must follow the first without a gap.
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(writer.writeFileName(c.kind == 'd' ? u"d" : u"f", path, c.level), 0);
    EXPECT_EQ(writer.totalCentralDirectoryCount(), 2u);
    const ParsedZipArchive parsed = close(writer);
    ASSERT_EQ(parsed.entries.size(), 2u);
    for (const ParsedZipEntry& e : parsed.entries) {
      EXPECT_EQ(e.name, bytes(c.kind == 'd' ? "d/" : "f"));
      EXPECT_EQ(e.versionMadeBy, 62);           // MS-DOS, 6.2
      EXPECT_EQ(e.flags, c.encrypted ? 1 : 0);  // no data descriptor, no UTF-8 flag
      EXPECT_EQ(e.method, c.method);
      EXPECT_EQ(e.versionNeeded, c.versionNeeded);
      EXPECT_EQ(e.externalAttributes, c.kind == 'd' ? 0x10u : 0x20u);
      EXPECT_EQ(e.crc32, crc32Of(data));
      EXPECT_EQ(e.uncompressedSize, data.size());
      EXPECT_EQ(e.compressedSize, c.compressedSize == 1
                                      ? std::min(e.compressedSize, data.size() - 1)
                                      : c.compressedSize);
      EXPECT_EQ(e.data, plain.value_or(e.data));
    }
  }
}

// A path in use gives a free name; an empty archive is the end record and the comment.
TEST_F(ZipFileWriterTest, EmptyArchivesUnderFreeNames) {
  writeFile(archive, bytes("keep"));
  for (const std::string comment : {"", "note"}) {
    CVNZipFileWriter writer(archive);
    EXPECT_EQ(writer.path(), dir / (comment.empty() ? "out 2.zip" : "out 3.zip"));
    if (!comment.empty()) writer.setZipFileComment(bytes(comment));
    writer.closeFile();
    Bytes end = {0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    end.insert(end.end(), {uint8_t(comment.size()), 0});
    end.insert(end.end(), comment.begin(), comment.end());
    EXPECT_EQ(readFile(writer.path()), end);
  }
  EXPECT_EQ(readFile(archive), bytes("keep"));
}

// A spool that cannot be made, or a new archive that cannot be locked, fails
// the creation and leaves no archive, so that the next try still gets the name
// asked for. Root writes into a read-only folder, so that case runs under an
// unprivileged file-system identity on a thread of its own.
TEST_F(ZipFileWriterTest, FailedCreationLeavesNoArchive) {
  writeFile(dir / "file", "not a folder");
  std::filesystem::create_directory(dir / "locked");
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  std::filesystem::permissions(dir / "locked", std::filesystem::perms{0555});
  const struct {
    const char* spool;
    bool unprivileged;
    bool lockFails;
    int error;
  } cases[] = {
      {"missing", false, false, ENOENT},
      {"file", false, false, ENOTDIR},
      {"locked", true, false, EACCES},
      {".", false, true, ENOLCK},
  };
  const char* saved = std::getenv("TMPDIR");
  const std::string savedValue = saved ? saved : "";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.spool);
    setenv("TMPDIR", (dir / c.spool).c_str(), 1);
    std::string result;
    bool dropped = true;
    gNextLockError = c.lockFails ? ENOLCK : 0;
    std::thread([&] {
      if (c.unprivileged && ::geteuid() == 0) {
        ::setfsuid(65534);
        dropped = static_cast<int>(::setfsuid(static_cast<uid_t>(-1))) == 65534;
      }
      result = raised([&] { CVNZipFileWriter writer(archive); });
    }).join();
    saved ? setenv("TMPDIR", savedValue.c_str(), 1) : unsetenv("TMPDIR");
    if (!dropped) continue;
    EXPECT_EQ(result, "RVFileSystemException errno = " + std::to_string(c.error));
    EXPECT_EQ(gNextLockError, 0) << "the writer took no lock";
    EXPECT_FALSE(exists(archive));
    EXPECT_FALSE(exists(dir / "out 2.zip"));
  }
  CVNZipFileWriter writer(archive);
  EXPECT_EQ(writer.path(), archive);
}

// Whichever buffer cannot be had, before the archive exists or after, the
// failed creation leaves no archive behind.
TEST_F(ZipFileWriterTest, CreationOutOfMemoryLeavesNoArchive) {
  int failures = 0;
  for (;; ++failures) {
    SCOPED_TRACE(failures);
    gBufferAllocationsLeft = failures;
    bool made = false;
    try {
      CVNZipFileWriter writer(archive);
      made = true;
    } catch (const std::bad_alloc&) {
    }
    gBufferAllocationsLeft = -1;
    if (made) break;
    EXPECT_FALSE(exists(archive));
    EXPECT_FALSE(exists(dir / "out 2.zip"));
  }
  // The archive's own buffer and the spool's come after it exists.
  EXPECT_GE(failures, 2);
  EXPECT_TRUE(exists(archive));
}

TEST_F(ZipFileWriterTest, NamesAreBytesOfTheCodePage) {
  using E = CVNStringEncoding;
  // clang-format off
  const struct { std::u16string name; bool folder; std::optional<E> encoding; Bytes expected; } cases[] = {
      {u"caf\u00E9.txt", false, E::WindowsLatin1, bytes("caf\xE9.txt")},
      {u"\u65E5\u672C/\u8A9E", false, E::WindowsJapanese, bytes("\x93\xFA\x96\x7B/\x8C\xEA")},
      {u"\uD55C", true, E::WindowsKorean, bytes("\xC7\xD1/")},
      {u"caf\u00E9", false, std::nullopt, bytes("caf\xC3\xA9")},  // no encoder: UTF-8
      {u"a//b.txt", false, E::WindowsLatin1, bytes("a/b.txt")},
      {u"a/b", true, E::WindowsLatin1, bytes("a/b/")}};
  // clang-format on
  const std::string file = source("src", bytes("x")), folder = source("d", std::nullopt);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.expected.begin(), c.expected.end()));
    TempDir scratch;
    CVNZipFileWriter writer(scratch / "a.zip");
    if (c.encoding) writer.setEncoder(encoderFor(*c.encoding));
    EXPECT_EQ(writer.writeFileName(c.name, c.folder ? folder : file, -1), 0);
    const ParsedZipArchive parsed = close(writer);
    ASSERT_EQ(parsed.entries.size(), 1u);
    EXPECT_EQ(parsed.entries[0].name, c.expected);
    EXPECT_EQ(parsed.entries[0].flags & 0x0800, 0);
  }
}

// A vanished source is result 2, a name the code page cannot hold raises; the
// archive is unchanged either way, and the next entry starts where they did.
TEST_F(ZipFileWriterTest, FailedEntriesLeaveNoTrace) {
  CVNZipFileWriter writer(archive);
  writer.setEncoder(encoderFor(CVNStringEncoding::WindowsLatin1));
  const std::string a = source("a.txt", bytes("A")), gone = source("gone.txt", bytes("G"));
  EXPECT_EQ(writer.writeFileName(u"a.txt", a, -1), 0);
  const Bytes before = readFile(archive);
  std::filesystem::remove(gone);
  EXPECT_EQ(writer.writeFileName(u"gone.txt", gone, -1), 2);
  EXPECT_EQ(writer.writeFileName(u"gone", dir / "never/there", 0), 2);
  EXPECT_NE(raised([&] { writer.writeFileName(u"\u65E5.txt", a, -1); }), "");
  EXPECT_EQ(readFile(archive), before);
  EXPECT_EQ(writer.totalCentralDirectoryCount(), 1u);
  EXPECT_EQ(writer.writeFileName(u"b.txt", a, -1), 0);
  const ParsedZipArchive parsed = close(writer);
  ASSERT_EQ(parsed.entries.size(), 2u);
  EXPECT_EQ(parsed.entries[1].name, bytes("b.txt"));
  EXPECT_EQ(parsed.entries[1].localHeaderOffset, before.size());
}

// Cancelled during an entry (stored and deflated), the archive ends after the
// last complete entry; cancelled during closeFile, no directory is written.
TEST_F(ZipFileWriterTest, CancellationLeavesNoTrace) {
  CVNZipFileWriter writer(archive);
  TestJob job;
  writer.setOperation(&job);
  const std::string big = source("big.bin", randomBytes(3 << 20, 3));
  EXPECT_EQ(writer.writeFileName(u"a.txt", source("a.txt", bytes("A")), -1), 0);
  const uint64_t end = archiveSize();
  job.cancelOnProgress = true;
  for (int level : {0, -1}) {
    job.cancelled = false;
    EXPECT_EQ(raised([&] { writer.writeFileName(u"big.bin", big, level); }),
              "RVOperationCancelledException Cancelled");
    EXPECT_EQ(archiveSize(), end) << level;
  }
  EXPECT_EQ(writer.totalCentralDirectoryCount(), 1u);
  job.cancelOnProgress = job.cancelled = false;
  EXPECT_EQ(writer.writeFileName(u"c.txt", dir / "a.txt", -1), 0);
  EXPECT_EQ(close(writer).entries.size(), 2u);  // c.txt right where big.bin began

  CVNZipFileWriter closing(dir / "closing.zip");
  closing.setOperation(&job);
  EXPECT_EQ(closing.writeFileName(u"a.txt", dir / "a.txt", -1), 0);
  const uint64_t size = std::filesystem::file_size(closing.path());
  job.cancelled = true;
  EXPECT_EQ(raised([&] { closing.closeFile(); }), "RVOperationCancelledException Cancelled");
  EXPECT_EQ(std::filesystem::file_size(closing.path()), size);
}

TEST_F(ZipFileWriterTest, RoundTripsThroughTheReaderAtEveryLevelWithAndWithoutPassword) {
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"d/text.txt", bytes(std::string(100000, 'a') + "tail")},
      {"d/random.bin", randomBytes(600 * 1024, 11)},
      {"d/empty", {}},
      {"top.txt", bytes("top")}};
  const std::string folder = source("src/d", std::nullopt);
  for (int level : {-1, 0, 1, 9}) {
    for (bool encrypted : {false, true}) {
      SCOPED_TRACE(testing::Message() << "level " << level << (encrypted ? " pw" : ""));
      TempDir scratch;
      {
        // The writer holds its archive under an exclusive lock until it goes.
        CVNZipFileWriter writer(scratch / "a.zip");
        if (encrypted) writer.setPassword(bytes("secret"));
        EXPECT_EQ(writer.writeFileName(u"d", folder, level), 0);
        for (const auto& [name, data] : files)
          EXPECT_EQ(writer.writeFileName(std::u16string(name.begin(), name.end()),
                                         source("src/" + name, data), level),
                    0);
        writer.closeFile();
      }
      auto reader = CVNZipFileReader::withZipFileAtPath(scratch / "a.zip");
      ASSERT_TRUE(reader);
      EXPECT_EQ(reader->totalNumberOfEntriesInTheCentralDirectory(), 5u);
      reader->setDirectoryPath(scratch.path());
      if (encrypted) reader->setPassword(bytes("secret"));
      while (auto header = reader->readCentralFileHeader())
        EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*header), 0);
      for (const auto& [name, data] : files) EXPECT_EQ(readFile(scratch / name), data) << name;
    }
  }
}

// The move that makes room for a local header grown by its Zip64 field: the
// ranges overlap, so a copy from the front would overwrite bytes before they
// are read. Also through the write-back buffer the writer puts in front.
TEST(ZipDataMoveTest, MovesBackToFrontOverOverlappingRanges) {
  // clang-format off
  const struct { uint64_t from, length, distance; size_t bufferSize; } cases[] = {
      {0, 20, 3, 4}, {5, 1000, 20, 64}, {30, 3000, 20, 1000}, {7, 10, 20, 4},
      {0, 9, 0, 4}, {40, 0, 20, 4},
      {50, (256 << 10) * 2 + 77, 20, 256 << 10}};  // the writer's buffer and shift
  // clang-format on
  for (const auto& c : cases) {
    for (bool buffered : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.from << "+" << c.length << " by " << c.distance << " in "
                                      << c.bufferSize << (buffered ? " buffered" : ""));
      Bytes original(c.from + c.length + c.distance);
      for (size_t i = 0; i < original.size(); ++i)
        original[i] = static_cast<uint8_t>(i * 131 + (i >> 8));
      // What is left behind at the old place stays; only the new place changes.
      Bytes expected = original;
      std::copy(original.begin() + c.from, original.begin() + c.from + c.length,
                expected.begin() + c.from + c.distance);
      Bytes buffer(c.bufferSize);
      auto data = std::make_unique<RVDataHandle>(original);
      RVDataHandle& plain = *data;
      if (buffered) {
        RVBufferedWriteHandle handle(std::move(data), 256 << 10);
        CVNZipMoveDataTowardsEnd(handle, c.from, c.from + c.distance, c.length, buffer);
        handle.flush();
        EXPECT_TRUE(plain.data() == expected);
      } else {
        CVNZipMoveDataTowardsEnd(plain, c.from, c.from + c.distance, c.length, buffer);
        EXPECT_TRUE(plain.data() == expected);
      }
    }
  }
}

}  // namespace
