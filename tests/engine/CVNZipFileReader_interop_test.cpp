// The reader against the peers: archives that Info-ZIP zip, 7-Zip, bsdtar and
// Python's zipfile make (stored, deflated, encrypted, split, streamed with data
// descriptors, Zip64, names in the Windows code pages or flagged UTF-8) are
// extracted the way the extraction job does it, and must give back the names,
// the bytes and the modification times that went in.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/CVNStringEncoding.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileReader.h"
#include "engine/CVNZipPasswordEncoder.h"
#include "support/PeerArchivers.h"
#include "support/TestSupport.h"
#include "support/ZipRecordTestSupport.h"

namespace {

using corvana_test::hexString;
using corvana_test::PeerRun;
using corvana_test::readFile;
using corvana_test::shellQuote;
using corvana_test::TempDir;
using corvana_test::writeFile;
using Bytes = std::vector<uint8_t>;

std::u16string u16(const std::string& utf8) { return CVNUTF16FromUTF8(utf8).value(); }

// A file or folder of a tree, as the tests expect it or find it on disk.
struct Node {
  bool isFolder = false;
  Bytes bytes;
  // Checked only where set: files, and folders nothing was put into later.
  std::optional<time_t> modificationTime;
};
using Tree = std::map<std::string, Node>;  // relative UTF-8 path -> node

Tree scanTree(const std::string& root) {
  Tree tree;
  std::vector<std::string> pending = {""};
  while (!pending.empty()) {
    const std::string relative = pending.back();
    pending.pop_back();
    const std::string folder = relative.empty() ? root : root + "/" + relative;
    for (const std::string& name : corvana_test::listFolder(folder)) {
      const std::string itemPath = relative.empty() ? name : relative + "/" + name;
      const std::string path = root + "/" + itemPath;
      struct stat status;
      if (::lstat(path.c_str(), &status) != 0) continue;
      Node node;
      node.isFolder = S_ISDIR(status.st_mode);
      node.modificationTime = status.st_mtime;
      if (node.isFolder)
        pending.push_back(itemPath);
      else
        node.bytes = readFile(path);
      tree[itemPath] = std::move(node);
    }
  }
  return tree;
}

enum class TimePrecision {
  Exact,      // an extended timestamp or NTFS field carries the time
  DOS,        // only the DOS time: 2-second steps, rounded either way by the peers
  Unchecked,  // the peer stamps the time of archiving
};

void expectSameTree(const Tree& expected, const Tree& found, TimePrecision precision) {
  for (const auto& [path, node] : expected) {
    auto it = found.find(path);
    if (it == found.end()) {
      ADD_FAILURE() << "missing: " << path;
      continue;
    }
    EXPECT_EQ(it->second.isFolder, node.isFolder) << path;
    EXPECT_TRUE(it->second.bytes == node.bytes) << "bytes differ: " << path;
    if (precision == TimePrecision::Unchecked || !node.modificationTime) continue;
    const time_t want = *node.modificationTime, got = *it->second.modificationTime;
    if (precision == TimePrecision::Exact)
      EXPECT_EQ(got, want) << path;
    else
      EXPECT_LE(std::abs(static_cast<long long>(got - want)), 2) << path;
  }
  for (const auto& entry : found)
    EXPECT_TRUE(expected.count(entry.first)) << "unexpected: " << entry.first;
}

void setModificationTime(const std::string& path, time_t seconds) {
  timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

void makeFolder(const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path; }

Bytes randomBytes(size_t length, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes data(length);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  return data;
}

// What one extraction gave, entry by entry.
struct Extraction {
  bool opened = false;
  std::vector<std::string> names;  // decoded, UTF-8
  std::vector<int> results;
  std::vector<uint16_t> flags;
  uint64_t totalEntries = 0;
  bool allSucceeded() const {
    for (int r : results)
      if (r != CVNZipResultSucceeded) return false;
    return opened && !results.empty();
  }
};

std::ostream& operator<<(std::ostream& out, const Extraction& extraction) {
  if (!extraction.opened) return out << "(no reader)";
  for (size_t i = 0; i < extraction.names.size(); ++i)
    out << "\n  " << extraction.results[i] << " " << extraction.names[i];
  return out;
}

// Extracts every entry the way the extraction job does: a first pass over
// the central directory, rewind, then a second pass that extracts, trying the
// password in each candidate encoding of the entry while it answers 5.
Extraction extractAll(const std::string& archive, const std::string& folder,
                      const std::optional<std::string>& password = std::nullopt) {
  Extraction extraction;
  auto reader = CVNZipFileReader::withZipFileAtPath(archive);
  if (!reader) return extraction;
  extraction.opened = true;
  extraction.totalEntries = reader->totalNumberOfEntriesInTheCentralDirectory();
  reader->setDefaultFileName(u"(undecodable)");
  reader->setDirectoryPath(folder);
  size_t counted = 0;
  while (reader->readCentralFileHeader()) ++counted;
  reader->rewind();
  std::optional<Bytes> working;
  while (auto header = reader->readCentralFileHeader()) {
    reader->setPassword(working);
    CVNZipResult result = reader->decompressFileDataRelativeToCentralFileHeader(*header);
    if (result == CVNZipResultPasswordRequired && password) {
      CVNZipPasswordEncoder encoder(header->versionMadeBy(), u16(*password));
      while (result == CVNZipResultPasswordRequired) {
        std::optional<Bytes> candidate = encoder.nextEncoding();
        if (!candidate) break;
        reader->setPassword(candidate);
        result = reader->decompressFileDataRelativeToCentralFileHeader(*header);
        if (result != CVNZipResultPasswordRequired) working = candidate;
      }
    }
    auto name = header->fileNameString();
    extraction.names.push_back(name ? CVNUTF8FromUTF16(*name) : "(undecodable)");
    extraction.results.push_back(result);
    extraction.flags.push_back(header->generalPurposeBitFlag());
  }
  EXPECT_EQ(counted, extraction.names.size()) << "the two passes disagree";
  return extraction;
}

// DOS times are local: a zone away from UTC, with daylight saving time in
// June, shows a reader that takes them in UTC.
const char* const kTimeZone = "America/New_York";

// The tree the peers archive: names in several scripts (one decomposed), an
// empty folder, a zero-length file, a compressible text and 200 KiB of random
// bytes (enough for several 64 KiB parts). Times are odd seconds so that a
// DOS time never equals them.
class ReaderInterop : public testing::Test {
 protected:
  void SetUp() override {
    _source = _dir / "source";
    makeFolder(_source);
    const std::string nfd = "r\x65\xCC\x81sum\x65\xCC\x81 decomposed.txt";
    for (const char* folder :
         {"日本語", "한국어", "简体中文", "繁體中文", "Café", "empty", "nested", "nested/deeper"})
      makeFolder(_source + "/" + folder);
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + " of a text\n";
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"日本語/テスト文書.txt", corvana_test::bytes("日本語のテキスト\n")},
        {"한국어/서울.txt", corvana_test::bytes("서울\n")},
        {"简体中文/文件.txt", corvana_test::bytes("简体\n")},
        {"繁體中文/檔案.txt", corvana_test::bytes("繁體\n")},
        {"Café/résumé.txt", corvana_test::bytes("composed\n")},
        {"Café/" + nfd, corvana_test::bytes("decomposed\n")},
        {"nested/deeper/note.txt", corvana_test::bytes(text.substr(0, 5000))},
        {"zero.txt", {}},
        {"text.txt", corvana_test::bytes(text)},
        {"random.bin", randomBytes(200 * 1024, 7)},
    };
    time_t when = 1623752433;  // 2021-06-15 10:20:33 UTC
    for (const auto& [name, data] : files) {
      writeFile(_source + "/" + name, data);
      setModificationTime(_source + "/" + name, when += 7919);
    }
    setModificationTime(_source + "/empty", when += 7919);
    _expected = scanTree(_source);
    for (auto& [path, node] : _expected)
      if (node.isFolder && path != "empty") node.modificationTime.reset();
    _out = _dir / "out";
    makeFolder(_out);
  }

  // Makes `archive` with a peer's command, run in the source folder.
  void make(const std::string& command) {
    PeerRun run = corvana_test::runIn(_source, command);
    ASSERT_TRUE(run.ok()) << command << "\n" << run;
  }

  // Extracts `archive` into a fresh folder and checks it against the source.
  void expectExtractsTheSource(const std::string& archive, TimePrecision precision,
                               const std::optional<std::string>& password = std::nullopt) {
    Extraction extraction = extractAll(archive, _out, password);
    EXPECT_TRUE(extraction.allSucceeded()) << extraction;
    expectSameTree(_expected, scanTree(_out), precision);
  }

  corvana_test::ScopedTimeZone _zone{kTimeZone};
  TempDir _dir;
  std::string _source;
  std::string _out;
  Tree _expected;
};

TEST_F(ReaderInterop, ZipStored) {
  CORVANA_SKIP_WITHOUT_PEER("zip");
  const std::string archive = _dir / "stored.zip";
  make("zip -q -r -0 " + shellQuote(archive) + " .");
  expectExtractsTheSource(archive, TimePrecision::Exact);
}

TEST_F(ReaderInterop, ZipDeflated) {
  CORVANA_SKIP_WITHOUT_PEER("zip");
  const std::string archive = _dir / "deflated.zip";
  make("zip -q -r -9 " + shellQuote(archive) + " .");
  expectExtractsTheSource(archive, TimePrecision::Exact);
}

TEST_F(ReaderInterop, ZipEncrypted) {
  CORVANA_SKIP_WITHOUT_PEER("zip");
  const std::string archive = _dir / "encrypted.zip";
  make("zip -q -r -P secret " + shellQuote(archive) + " .");
  expectExtractsTheSource(archive, TimePrecision::Exact, "secret");
}

// zip on Linux takes the password's UTF-8 bytes and marks the host as Unix,
// whose only candidate encoding is UTF-8.
TEST_F(ReaderInterop, ZipEncryptedWithAPasswordBeyondAscii) {
  CORVANA_SKIP_WITHOUT_PEER("zip");
  const std::string archive = _dir / "encrypted.zip";
  make("zip -q -r -P " + shellQuote("pässwörd 日本") + " " + shellQuote(archive) + " .");
  expectExtractsTheSource(archive, TimePrecision::Exact, "pässwörd 日本");
}

TEST_F(ReaderInterop, ZipSplitInto64KiBParts) {
  CORVANA_SKIP_WITHOUT_PEER("zip");
  const std::string archive = _dir / "split.zip";
  make("zip -q -r -s 64k " + shellQuote(archive) + " .");
  ASSERT_TRUE(corvana_test::exists(_dir / "split.z01"));
  ASSERT_TRUE(corvana_test::exists(_dir / "split.z03")) << "expected at least four parts";
  expectExtractsTheSource(archive, TimePrecision::Exact);
}

// Written to a pipe, zip cannot seek back: sizes and CRC follow the data in
// descriptors.
TEST_F(ReaderInterop, ZipStreamedWithDataDescriptors) {
  CORVANA_SKIP_WITHOUT_PEER("zip");
  const std::string archive = _dir / "streamed.zip";
  make("zip -q -r - . | cat > " + shellQuote(archive));
  Extraction extraction = extractAll(archive, _out);
  EXPECT_TRUE(extraction.allSucceeded()) << extraction;
  bool anyDescriptor = false;
  for (uint16_t flags : extraction.flags) anyDescriptor |= (flags & 8) != 0;
  EXPECT_TRUE(anyDescriptor) << "zip wrote no data descriptor; the case is not made";
  expectSameTree(_expected, scanTree(_out), TimePrecision::Exact);
}

// Reading standard input, zip cannot know the size and writes Zip64 fields
// into the local header; the entry is named "-".
TEST_F(ReaderInterop, ZipFromStandardInput) {
  CORVANA_SKIP_WITHOUT_PEER("zip");
  const std::string archive = _dir / "stdin.zip";
  make("cat text.txt | zip -q " + shellQuote(archive) + " -");
  Extraction extraction = extractAll(archive, _out);
  EXPECT_TRUE(extraction.allSucceeded()) << extraction;
  Tree expected = {{"-", Node{false, _expected["text.txt"].bytes, std::nullopt}}};
  expectSameTree(expected, scanTree(_out), TimePrecision::Unchecked);
}

TEST_F(ReaderInterop, SevenZipDefault) {
  CORVANA_SKIP_WITHOUT_PEER("7z");
  const std::string archive = _dir / "7z.zip";
  make("7z a -tzip -bd " + shellQuote(archive) + " . >/dev/null");
  expectExtractsTheSource(archive, TimePrecision::Exact);
}

// Where 7-Zip honours -mcp the names are code-page bytes; p7zip 16.02 ignores
// it and writes flagged UTF-8. Either way they must come back right.
TEST_F(ReaderInterop, SevenZipWithCodePages) {
  CORVANA_SKIP_WITHOUT_PEER("7z");
  for (int codepage : {932, 949, 936, 950, 1252}) {
    SCOPED_TRACE(codepage);
    const std::string archive = _dir / ("7z-" + std::to_string(codepage) + ".zip");
    make("7z a -tzip -bd -mcp=" + std::to_string(codepage) + " " + shellQuote(archive) +
         " . >/dev/null");
    const std::string out = _dir / ("out-" + std::to_string(codepage));
    makeFolder(out);
    Extraction extraction = extractAll(archive, out);
    EXPECT_TRUE(extraction.allSucceeded()) << extraction;
    expectSameTree(_expected, scanTree(out), TimePrecision::Exact);
  }
}

TEST_F(ReaderInterop, SevenZipZipCrypto) {
  CORVANA_SKIP_WITHOUT_PEER("7z");
  const std::string archive = _dir / "7z-encrypted.zip";
  make("7z a -tzip -bd -mem=ZipCrypto -psecret " + shellQuote(archive) + " . >/dev/null");
  expectExtractsTheSource(archive, TimePrecision::Exact, "secret");
}

// bsdtar run on "." writes a first entry "./" and "./" before every name: the
// "./" entry is the output folder itself (nothing made, result 0), and the
// other names lose their "./".
TEST_F(ReaderInterop, BsdtarOnDot) {
  CORVANA_SKIP_WITHOUT_PEER("bsdtar");
  const std::string archive = _dir / "bsdtar.zip";
  make("bsdtar -a -cf " + shellQuote(archive) + " .");
  Extraction extraction = extractAll(archive, _out);
  ASSERT_FALSE(extraction.names.empty()) << extraction;
  EXPECT_EQ(extraction.names.front(), "./");
  EXPECT_TRUE(extraction.allSucceeded()) << extraction;
  expectSameTree(_expected, scanTree(_out), TimePrecision::Exact);
}

TEST_F(ReaderInterop, BsdtarEncrypted) {
  CORVANA_SKIP_WITHOUT_PEER("bsdtar");
  const std::string archive = _dir / "bsdtar-encrypted.zip";
  make("bsdtar -a -cf " + shellQuote(archive) +
       " --options zip:encryption=zipcrypt --passphrase secret .");
  expectExtractsTheSource(archive, TimePrecision::Exact, "secret");
}

// Writes an archive with Python's zipfile from a listing (hexadecimal fields):
//   F <name, UTF-8> <source path> <modification time> <method>
//   D <name, UTF-8> <modification time>
// Options, comma-separated: cp=N puts the names in code page N as raw bytes
// (no UTF-8 flag); utf8=1 writes UTF-8 with flag bit 11; system=N is the host;
// stream=1 writes to an unseekable stream (data descriptors); zip64=1 forces
// Zip64 everywhere: local and central extra fields, the Zip64 end record and
// locator, and the escape values in the end record. Times are DOS times only.
const char kPythonWriter[] = R"PY(
import struct, sys, time, zipfile

path, listing = sys.argv[1], sys.argv[3]
options = dict(o.split('=') for o in sys.argv[2].split(',') if o)
zip64 = options.get('zip64') == '1'
if zip64:
    zipfile.ZIP64_LIMIT = 0
    zipfile.ZIP_FILECOUNT_LIMIT = 0

class RawInfo(zipfile.ZipInfo):
    # zipfile writes ASCII or flagged UTF-8 only; this writes the bytes given.
    def _encodeFilenameFlags(self):
        return self.raw_name, self.flag_bits | self.extra_flags

class Unseekable:
    def __init__(self, f):
        self.f = f
    def write(self, b):
        return self.f.write(b)
    def flush(self):
        self.f.flush()

out = open(path, 'wb')
target = Unseekable(out) if options.get('stream') == '1' else out
with zipfile.ZipFile(target, 'w') as zf:
    for line in open(listing, encoding='ascii'):
        f = line.split()
        name = bytes.fromhex(f[1]).decode('utf-8')
        raw = name.encode('cp' + options['cp']) if 'cp' in options else name.encode('utf-8')
        mtime = int(f[3] if f[0] == 'F' else f[2])
        info = RawInfo(raw.decode('latin-1'), time.localtime(mtime)[:6])
        info.raw_name = raw
        info.extra_flags = 0x800 if options.get('utf8') == '1' else 0
        info.create_system = int(options.get('system', '0'))
        if f[0] == 'F':
            info.compress_type = int(f[4])
            info.external_attr = 0x20
            data = open(bytes.fromhex(f[2]).decode('utf-8'), 'rb').read()
        else:
            info.external_attr = 0x10
            data = b''
        with zf.open(info, 'w', force_zip64=zip64) as w:
            w.write(data)
out.close()

if zip64:
    with open(path, 'r+b') as f:
        f.seek(-22, 2)
        end = bytearray(f.read(22))
        if struct.unpack_from('<I', end, 0)[0] != 0x06054B50:
            sys.exit('no end record where expected')
        struct.pack_into('<HHLL', end, 8, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF)
        f.seek(-22, 2)
        f.write(end)
)PY";

// Writes `tree` (relative UTF-8 names; folders end in "/" in the archive)
// with Python's zipfile and the given options.
void writeWithPython(const std::string& folder, const std::string& archive, const Tree& tree,
                     const std::string& options) {
  std::string listing;
  int index = 0;
  for (const auto& [path, node] : tree) {
    const time_t when = node.modificationTime.value_or(1623752433);
    if (node.isFolder) {
      listing += "D " + hexString(path + "/") + " " + std::to_string(when) + "\n";
    } else {
      const std::string source = folder + "/source-" + std::to_string(index++);
      writeFile(source, node.bytes);
      listing += "F " + hexString(path) + " " + hexString(source) + " " + std::to_string(when) +
                 " " + (node.bytes.size() % 2 ? "0" : "8") + "\n";
    }
  }
  const std::string listingPath = folder + "/listing.txt";
  writeFile(listingPath, listing);
  PeerRun run = corvana_test::runPython(kPythonWriter, {archive, options, listingPath});
  ASSERT_TRUE(run.ok()) << run;
}

Node file(const std::string& text, time_t when) {
  return Node{false, corvana_test::bytes(text), when};
}
Node folder(time_t when) { return Node{true, {}, when}; }
Node folderWithContents() { return Node{true, {}, std::nullopt}; }

// Names that Windows wrote in its code page, on host 0 (MS-DOS). Each is
// chosen so that no code page tried before its own accepts its bytes, so the
// decoder's fixed order (932, 949, 936, 950, 1252) must land on it.
class ReaderPythonCodePage : public testing::TestWithParam<std::tuple<int, Tree>> {
 protected:
  corvana_test::ScopedTimeZone _zone{kTimeZone};
  TempDir _dir;
};

class ReaderPythonTest : public testing::Test {
 protected:
  corvana_test::ScopedTimeZone _zone{kTimeZone};
  TempDir dir;
};

TEST_P(ReaderPythonCodePage, NamesComeBackInUtf8) {
  CORVANA_SKIP_WITHOUT_PEER("python3");
  const auto& [codepage, tree] = GetParam();
  const std::string archive = _dir / "python.zip";
  ASSERT_NO_FATAL_FAILURE(
      writeWithPython(_dir.path(), archive, tree, "system=0,cp=" + std::to_string(codepage)));
  const std::string out = _dir / "out";
  makeFolder(out);
  Extraction extraction = extractAll(archive, out);
  EXPECT_TRUE(extraction.allSucceeded()) << extraction;
  expectSameTree(tree, scanTree(out), TimePrecision::DOS);
}

constexpr time_t kT = 1623752433;

INSTANTIATE_TEST_SUITE_P(
    CodePages, ReaderPythonCodePage,
    testing::Values(std::tuple(932, Tree{{"日本語のファイル.txt", file("a", kT)},
                                         {"テスト", folderWithContents()},
                                         {"テスト/表示.txt", file("trail byte 0x5C\n", kT + 3)},
                                         {"テスト/ｶﾀｶﾅ.txt", file("halfwidth", kT + 5)},
                                         {"テスト/空", folder(kT + 7)}}),
                    std::tuple(949, Tree{{"한국어", folderWithContents()},
                                         {"한국어/서울.txt", file("Seoul\n", kT)},
                                         {"사진", folder(kT + 9)},
                                         {"자료.txt", file("data", kT + 11)}}),
                    std::tuple(936, Tree{{"上网.txt", file("online", kT)},
                                         {"上电", folderWithContents()},
                                         {"上电/上书.txt", file("power", kT + 13)}}),
                    std::tuple(950, Tree{{"資料.txt", file("data", kT)},
                                         {"資料夾", folderWithContents()},
                                         {"資料夾/案文", folder(kT + 15)},
                                         {"資料夾/資料.txt", file("more data\n", kT + 17)}}),
                    std::tuple(1252, Tree{{"café.txt", file("coffee", kT)},
                                          {"Ångström é", folderWithContents()},
                                          {"Ångström é/résumé.txt", file("cv\n", kT + 19)}})),
    [](const testing::TestParamInfo<std::tuple<int, Tree>>& info) {
      return "cp" + std::to_string(std::get<0>(info.param));
    });

// Python's own way on Linux: host 3 (Unix), names beyond ASCII in UTF-8 with
// flag bit 11.
TEST_F(ReaderPythonTest, Utf8NamesWithTheFlag) {
  CORVANA_SKIP_WITHOUT_PEER("python3");
  Tree tree = {{"日本語", folderWithContents()},
               {"日本語/テスト.txt", file("x", kT)},
               {"한국어.txt", file("yy", kT + 3)},
               {"Café", folder(kT + 5)}};
  ASSERT_NO_FATAL_FAILURE(writeWithPython(dir.path(), dir / "utf8.zip", tree, "system=3,utf8=1"));
  makeFolder(dir / "out");
  Extraction extraction = extractAll(dir / "utf8.zip", dir / "out");
  EXPECT_TRUE(extraction.allSucceeded()) << extraction;
  expectSameTree(tree, scanTree(dir / "out"), TimePrecision::DOS);
}

// Host 0 with flag bit 11: the flag wins over the code pages. These UTF-8
// bytes are valid code page 932 text too ("写真.txt" would read "蜀咏悄.txt").
TEST_F(ReaderPythonTest, Utf8FlagWinsOverTheCodePagesOfHostZero) {
  CORVANA_SKIP_WITHOUT_PEER("python3");
  Tree tree = {{"写真.txt", file("photo", kT)}, {"メモ.txt", file("memo!", kT + 3)}};
  ASSERT_NO_FATAL_FAILURE(writeWithPython(dir.path(), dir / "utf8.zip", tree, "system=0,utf8=1"));
  makeFolder(dir / "out");
  Extraction extraction = extractAll(dir / "utf8.zip", dir / "out");
  EXPECT_TRUE(extraction.allSucceeded()) << extraction;
  expectSameTree(tree, scanTree(dir / "out"), TimePrecision::DOS);
}

Tree mixedTree() {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "row " + std::to_string(i) + "\n";
  return {{"empty.txt", file("", kT)},
          {"folder", folderWithContents()},
          {"folder/text.txt", file(text, kT + 3)},
          {"folder/odd.txt", file(text.substr(0, 777), kT + 5)},
          {"folder/inner", folder(kT + 7)},
          {"データ.bin", Node{false, randomBytes(70000, 3), kT + 9}}};
}

TEST_F(ReaderPythonTest, DataDescriptors) {
  CORVANA_SKIP_WITHOUT_PEER("python3");
  const Tree tree = mixedTree();
  ASSERT_NO_FATAL_FAILURE(
      writeWithPython(dir.path(), dir / "stream.zip", tree, "system=0,cp=932,stream=1"));
  makeFolder(dir / "out");
  Extraction extraction = extractAll(dir / "stream.zip", dir / "out");
  EXPECT_TRUE(extraction.allSucceeded()) << extraction;
  for (uint16_t flags : extraction.flags) EXPECT_TRUE(flags & 8) << "no data descriptor";
  expectSameTree(tree, scanTree(dir / "out"), TimePrecision::DOS);
}

// Zip64 where nothing needs it: extra fields with every size and offset, the
// Zip64 end record and locator, and 0xFFFF / 0xFFFFFFFF in the end record.
TEST_F(ReaderPythonTest, Zip64Forced) {
  CORVANA_SKIP_WITHOUT_PEER("python3");
  const Tree tree = mixedTree();
  const std::string archive = dir / "zip64.zip";
  ASSERT_NO_FATAL_FAILURE(writeWithPython(dir.path(), archive, tree, "system=0,cp=932,zip64=1"));
  const Bytes bytes = readFile(archive);
  ASSERT_GE(bytes.size(), 22u + 20u);
  auto le32 = [&](size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
  };
  ASSERT_EQ(le32(bytes.size() - 22 - 20), 0x07064B50u) << "no Zip64 locator";
  ASSERT_EQ(le32(bytes.size() - 22 + 16), 0xFFFFFFFFu) << "the end record holds the offset";
  makeFolder(dir / "out");
  Extraction extraction = extractAll(archive, dir / "out");
  EXPECT_TRUE(extraction.allSucceeded()) << extraction;
  EXPECT_EQ(extraction.totalEntries, tree.size());
  expectSameTree(tree, scanTree(dir / "out"), TimePrecision::DOS);
}

}  // namespace
