// The reader against the peers: archives that Info-ZIP zip, 7-Zip, bsdtar and
// Python's zipfile make (stored, deflated, encrypted, split, streamed with data
// descriptors, Zip64, names in the Windows code pages or flagged UTF-8) are
// extracted the way the extraction job does it, and must give back the names,
// the bytes and the modification times that went in.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/CVNStringEncoding.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileReader.h"
#include "engine/CVNZipPasswordEncoder.h"
#include "support/PeerArchivers.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"
#include "support/ZipRecordTestSupport.h"

namespace {

using namespace corvana_test;

constexpr time_t kT = 1623752433;  // 2021-06-15 10:20:33 UTC: odd, so no DOS time equals it

// Relative UTF-8 path -> what is compared of the item (see describe).
using Tree = std::map<std::string, std::string>;
enum class Times { Exact, DOS, None };

// A folder, or a file's size and CRC-32; then the modification time where it
// is kept (0 where not: a folder things were put into), DOS times to the even
// second below.
std::string describe(const std::optional<Bytes>& data, time_t time, Times times) {
  std::string d =
      data ? "file " + std::to_string(data->size()) + " crc " + std::to_string(crc32Of(*data))
           : "folder";
  if (times == Times::None || time == 0) return d;
  return d + " @" + std::to_string(times == Times::DOS ? time & ~time_t(1) : time);
}

Tree scan(const std::string& root, Times times) {
  Tree tree;
  for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
    struct stat status;
    EXPECT_EQ(::lstat(item.path().c_str(), &status), 0);
    const bool folder = item.is_directory(), empty = !folder || std::filesystem::is_empty(item);
    tree[std::filesystem::relative(item.path(), root)] =
        describe(folder ? std::nullopt : std::optional(readFile(item.path())),
                 empty ? status.st_mtime : 0, times);
  }
  return tree;
}

struct Extraction {
  std::vector<std::string> names;  // decoded, UTF-8
  std::vector<uint16_t> flags;
  uint64_t totalEntries = 0;
};

// Extracts every entry as the extraction job does: a first pass over the
// central directory, rewind, then a second pass that extracts, trying the
// password in each candidate encoding of the entry while it answers 5. Every
// entry must give 0.
Extraction extractAll(const std::string& archive, const std::string& folder,
                      const std::optional<std::string>& password = std::nullopt) {
  Extraction x;
  auto reader = CVNZipFileReader::withZipFileAtPath(archive);
  if (!reader) {
    ADD_FAILURE() << "no reader for " << archive;
    return x;
  }
  x.totalEntries = reader->totalNumberOfEntriesInTheCentralDirectory();
  reader->setDefaultFileName(u"(undecodable)");
  reader->setDirectoryPath(folder);
  size_t counted = 0;
  while (reader->readCentralFileHeader()) ++counted;
  reader->rewind();
  std::optional<Bytes> working;
  std::string failures;
  while (auto header = reader->readCentralFileHeader()) {
    reader->setPassword(working);
    CVNZipResult result = reader->decompressFileDataRelativeToCentralFileHeader(*header);
    if (password) {
      CVNZipPasswordEncoder encoder(header->versionMadeBy(), CVNUTF16FromUTF8(*password).value());
      for (std::optional<Bytes> candidate;
           result == CVNZipResultPasswordRequired && (candidate = encoder.nextEncoding());) {
        reader->setPassword(candidate);
        result = reader->decompressFileDataRelativeToCentralFileHeader(*header);
        if (result != CVNZipResultPasswordRequired) working = candidate;
      }
    }
    auto name = header->fileNameString();
    x.names.push_back(name ? CVNUTF8FromUTF16(*name) : "(undecodable)");
    x.flags.push_back(header->generalPurposeBitFlag());
    if (result != CVNZipResultSucceeded)
      failures += "\n  " + std::to_string(result) + " " + x.names.back();
  }
  EXPECT_EQ(counted, x.names.size()) << "the two passes disagree";
  EXPECT_FALSE(x.names.empty());
  EXPECT_EQ(failures, "");
  return x;
}

// The tree the peers archive: names in several scripts (one decomposed), an
// empty folder, a zero-length file, a compressible text and 200 KiB of random
// bytes (enough for several 64 KiB parts). DOS times are local: a zone away
// from UTC, with daylight saving time in June, shows a reader that takes them
// in UTC.
class ReaderInterop : public testing::Test {
 protected:
  void SetUp() override {
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + " of a text\n";
    // clang-format off
    const std::pair<std::string, Bytes> items[] = {
        {"日本語/テスト文書.txt", bytes("日本語のテキスト\n")}, {"한국어/서울.txt", bytes("서울\n")},
        {"简体中文/文件.txt", bytes("简体\n")}, {"繁體中文/檔案.txt", bytes("繁體\n")},
        {"Café/résumé.txt", bytes("composed\n")},
        {"Café/re\xCC\x81sume\xCC\x81 decomposed.txt", bytes("decomposed\n")},
        {"nested/deeper/note.txt", bytes(text.substr(0, 5000))}, {"zero.txt", {}},
        {"text.txt", bytes(text)}, {"random.bin", randomBytes(200 * 1024, 7)}, {"empty/", {}}};
    // clang-format on
    time_t when = kT;
    for (const auto& [name, data] : items) {
      const std::filesystem::path path = source + "/" + name;
      std::filesystem::create_directories(name.ends_with('/') ? path : path.parent_path());
      if (!name.ends_with('/')) writeFile(path, data);
      when += 7919;
      const timespec times[2] = {{when, 0}, {when, 0}};
      ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
    }
    std::filesystem::create_directory(out);
  }

  ScopedTimeZone zone{"America/New_York"};
  TempDir dir;
  std::string source = dir / "source", archive = dir / "peer.zip", out = dir / "out";
};

struct PeerCase {
  const char* name;
  const char* program;
  std::string command;  // run in the source folder; the archive is ../peer.zip
  std::optional<std::string> password = std::nullopt;
  uint16_t someFlag = 0;            // that at least one entry must carry
  const char* firstName = nullptr;  // of the first entry
};

void PrintTo(const PeerCase& c, std::ostream* out) { *out << c.name; }

class ReaderPeer : public ReaderInterop, public testing::WithParamInterface<PeerCase> {};

TEST_P(ReaderPeer, ExtractsTheSource) {
  const PeerCase& c = GetParam();
  CORVANA_SKIP_WITHOUT_PEER(c.program);
  const PeerRun run = runIn(source, c.command);
  ASSERT_TRUE(run.ok()) << c.command << "\n" << run;
  const Extraction x = extractAll(archive, out, c.password);
  uint16_t anyFlags = 0;
  for (uint16_t flags : x.flags) anyFlags |= flags;
  EXPECT_EQ(anyFlags & c.someFlag, c.someFlag) << "the case is not made";
  if (c.firstName) {
    ASSERT_FALSE(x.names.empty());
    EXPECT_EQ(x.names[0], c.firstName);
  }
  EXPECT_EQ(scan(out, Times::Exact), scan(source, Times::Exact));
}

const PeerCase kPeerCases[] = {
    {"ZipStored", "zip", "zip -q -r -0 ../peer.zip ."},
    {"ZipDeflated", "zip", "zip -q -r -9 ../peer.zip ."},
    {"ZipEncrypted", "zip", "zip -q -r -P secret ../peer.zip .", "secret"},
    // zip on Linux takes the password's UTF-8 bytes and marks the host as Unix,
    // whose only candidate encoding is UTF-8.
    {"ZipEncryptedBeyondAscii", "zip", "zip -q -r -P 'pässwörd 日本' ../peer.zip .",
     "pässwörd 日本"},
    // At least four parts.
    {"ZipSplitInto64KiBParts", "zip", "zip -q -r -s 64k ../peer.zip . && test -f ../peer.z03"},
    // Written to a pipe, zip cannot seek back: sizes and CRC follow the data in descriptors.
    {"ZipStreamed", "zip", "zip -q -r - . | cat > ../peer.zip", std::nullopt, 8},
    {"SevenZip", "7z", "7z a -tzip -bd ../peer.zip . >/dev/null"},
    // Where 7-Zip honours -mcp the names are code-page bytes; p7zip 16.02
    // ignores it and writes flagged UTF-8. Either way they must come back right.
    {"SevenZipCp932", "7z", "7z a -tzip -bd -mcp=932 ../peer.zip . >/dev/null"},
    {"SevenZipCp949", "7z", "7z a -tzip -bd -mcp=949 ../peer.zip . >/dev/null"},
    {"SevenZipCp936", "7z", "7z a -tzip -bd -mcp=936 ../peer.zip . >/dev/null"},
    {"SevenZipCp950", "7z", "7z a -tzip -bd -mcp=950 ../peer.zip . >/dev/null"},
    {"SevenZipCp1252", "7z", "7z a -tzip -bd -mcp=1252 ../peer.zip . >/dev/null"},
    {"SevenZipZipCrypto", "7z", "7z a -tzip -bd -mem=ZipCrypto -psecret ../peer.zip . >/dev/null",
     "secret"},
    // bsdtar run on "." writes a first entry "./" and "./" before every name:
    // "./" is the output folder itself (nothing made, result 0), and the other
    // names lose their "./".
    {"BsdtarOnDot", "bsdtar", "bsdtar -a -cf ../peer.zip .", std::nullopt, 0, "./"},
    {"BsdtarEncrypted", "bsdtar",
     "bsdtar -a -cf ../peer.zip --options zip:encryption=zipcrypt --passphrase secret .",
     "secret"}};

INSTANTIATE_TEST_SUITE_P(Peers, ReaderPeer, testing::ValuesIn(kPeerCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Reading standard input, zip cannot know the size and writes Zip64 fields
// into the local header; the entry is named "-".
TEST_F(ReaderInterop, ZipFromStandardInput) {
  CORVANA_SKIP_WITHOUT_PEER("zip");
  const PeerRun run = runIn(source, "cat text.txt | zip -q ../peer.zip -");
  ASSERT_TRUE(run.ok()) << run;
  extractAll(archive, out);
  EXPECT_EQ(scan(out, Times::None),
            (Tree{{"-", describe(readFile(source + "/text.txt"), 0, Times::None)}}));
}

// Writes an archive with Python's zipfile from a listing of lines
// "<name> <modification time> <data>" (name and data in hexadecimal; a folder's
// name ends in "/"); odd lengths are stored, the rest deflated. Options,
// comma-separated: cp=N puts the names in code page N as raw bytes (no UTF-8
// flag); utf8=1 writes UTF-8 with flag bit 11; system=N is the host; stream=1
// writes to an unseekable stream (data descriptors); zip64=1 forces Zip64
// everywhere: extra fields, the Zip64 end record and locator, and the escape
// values in the end record. Times are DOS times only.
const char kPythonWriter[] = R"PY(
import struct, sys, time, zipfile

path, listing = sys.argv[1], sys.argv[3]
options = dict(o.split('=') for o in sys.argv[2].split(',') if o)
zip64 = options.get('zip64') == '1'
if zip64:
    zipfile.ZIP64_LIMIT = zipfile.ZIP_FILECOUNT_LIMIT = 0

class RawInfo(zipfile.ZipInfo):
    # zipfile writes ASCII or flagged UTF-8 only; this writes the bytes given.
    def _encodeFilenameFlags(self):
        return self.raw_name, self.flag_bits | self.extra_flags

class Unseekable:
    def __init__(self, f):
        self.write, self.flush = f.write, f.flush

out = open(path, 'wb')
with zipfile.ZipFile(Unseekable(out) if options.get('stream') == '1' else out, 'w') as zf:
    for line in open(listing, encoding='ascii'):
        f = line.split() + ['']
        name = bytes.fromhex(f[0]).decode('utf-8')
        raw = name.encode('cp' + options['cp']) if 'cp' in options else name.encode('utf-8')
        info = RawInfo(raw.decode('latin-1'), time.localtime(int(f[1]))[:6])
        info.raw_name, info.create_system = raw, int(options.get('system', '0'))
        info.extra_flags = 0x800 if options.get('utf8') == '1' else 0
        data, folder = bytes.fromhex(f[2]), name.endswith('/')
        info.external_attr = 0x10 if folder else 0x20
        info.compress_type = 0 if folder or len(data) % 2 else 8
        with zf.open(info, 'w', force_zip64=zip64) as w:
            w.write(data)
out.close()

if zip64:
    with open(path, 'r+b') as f:
        f.seek(-42, 2)
        end = bytearray(f.read(42))
        if end[:4] != b'PK\x06\x07' or end[20:24] != b'PK\x05\x06':
            sys.exit('no Zip64 locator and end record where expected')
        struct.pack_into('<HHLL', end, 28, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF)
        f.seek(-42, 2)
        f.write(end)
)PY";

// A name (a folder's ends in "/"), its data, and its time (0: a folder that
// gets contents, whose time is not kept).
struct PythonEntry {
  std::string name, data;
  time_t time;
};
struct PythonCase {
  const char* name;
  std::string options;
  std::vector<PythonEntry> entries;
  uint16_t everyFlag = 0;  // that every entry must carry
};

void PrintTo(const PythonCase& c, std::ostream* out) { *out << c.name; }

class ReaderPython : public ReaderInterop, public testing::WithParamInterface<PythonCase> {};

TEST_P(ReaderPython, NamesBytesAndTimesComeBack) {
  CORVANA_SKIP_WITHOUT_PEER("python3");
  const PythonCase& c = GetParam();
  std::string listing;
  Tree expected;
  for (const auto& [name, data, time] : c.entries) {
    listing +=
        hexString(name) + " " + std::to_string(time ? time : kT) + " " + hexString(data) + "\n";
    const bool folder = name.ends_with('/');
    expected[folder ? name.substr(0, name.size() - 1) : name] =
        describe(folder ? std::nullopt : std::optional(bytes(data)), time, Times::DOS);
  }
  writeFile(dir / "listing.txt", listing);
  const PeerRun run = runPython(kPythonWriter, {archive, c.options, dir / "listing.txt"});
  ASSERT_TRUE(run.ok()) << run;
  const Extraction x = extractAll(archive, out);
  EXPECT_EQ(x.totalEntries, c.entries.size());
  for (uint16_t flags : x.flags) EXPECT_EQ(flags & c.everyFlag, c.everyFlag);
  EXPECT_EQ(scan(out, Times::DOS), expected);
}

std::vector<PythonEntry> mixedEntries() {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "row " + std::to_string(i) + "\n";
  const Bytes random = randomBytes(70000, 3);
  return {{"empty.txt", "", kT},
          {"folder/", "", 0},
          {"folder/text.txt", text, kT + 3},
          {"folder/odd.txt", text.substr(0, 777), kT + 5},
          {"folder/inner/", "", kT + 7},
          {"データ.bin", std::string(random.begin(), random.end()), kT + 9}};
}

// Names that Windows wrote in its code page, on host 0 (MS-DOS). Each is chosen
// so that no code page tried before its own accepts its bytes, so the decoder's
// fixed order (932, 949, 936, 950, 1252) must land on it.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Python, ReaderPython, testing::Values(
    PythonCase{"cp932", "system=0,cp=932", {{"日本語のファイル.txt", "a", kT}, {"テスト/", "", 0},
        {"テスト/表示.txt", "trail byte 0x5C\n", kT + 3}, {"テスト/ｶﾀｶﾅ.txt", "halfwidth", kT + 5},
        {"テスト/空/", "", kT + 7}}},
    PythonCase{"cp949", "system=0,cp=949", {{"한국어/", "", 0}, {"한국어/서울.txt", "Seoul\n", kT},
        {"사진/", "", kT + 9}, {"자료.txt", "data", kT + 11}}},
    PythonCase{"cp936", "system=0,cp=936", {{"上网.txt", "online", kT}, {"上电/", "", 0},
        {"上电/上书.txt", "power", kT + 13}}},
    PythonCase{"cp950", "system=0,cp=950", {{"資料.txt", "data", kT}, {"資料夾/", "", 0},
        {"資料夾/案文/", "", kT + 15}, {"資料夾/資料.txt", "more data\n", kT + 17}}},
    PythonCase{"cp1252", "system=0,cp=1252", {{"café.txt", "coffee", kT}, {"Ångström é/", "", 0},
        {"Ångström é/résumé.txt", "cv\n", kT + 19}}},
    // Python's own way on Linux: host 3 (Unix), UTF-8 names with flag bit 11.
    PythonCase{"Utf8NamesWithTheFlag", "system=3,utf8=1", {{"日本語/", "", 0},
        {"日本語/テスト.txt", "x", kT}, {"한국어.txt", "yy", kT + 3}, {"Café/", "", kT + 5}}},
    // Host 0 with flag bit 11: the flag wins over the code pages. These UTF-8
    // bytes are valid code page 932 text too ("写真.txt" would read "蜀咏悄.txt").
    PythonCase{"Utf8FlagWinsOverTheCodePagesOfHostZero", "system=0,utf8=1",
        {{"写真.txt", "photo", kT}, {"メモ.txt", "memo!", kT + 3}}},
    PythonCase{"DataDescriptors", "system=0,cp=932,stream=1", mixedEntries(), 8},
    // Zip64 where nothing needs it.
    PythonCase{"Zip64Forced", "system=0,cp=932,zip64=1", mixedEntries()}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

}  // namespace
