// The writer against the peers: a tree of awkward names (Asian scripts, accents
// composed and decomposed, reserved characters, device names, final dots and
// spaces, names longer than Windows allows a component to be on disk here) is
// encoded for each Windows code page and escaping level, written at every
// level with and without a password, and every archive must pass unzip, 7-Zip,
// bsdtar and Python's zipfile, the last also checking the names in the code
// page and the values every entry carries.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/CVNFileSystemNames.h"
#include "engine/CVNPathComponentEncoder.h"
#include "engine/CVNStringEncoding.h"
#include "engine/CVNWindowsCodepage.h"
#include "engine/CVNZipFileWriter.h"
#include "support/PeerArchivers.h"
#include "support/TestSupport.h"
#include "support/ZipRecordTestSupport.h"

namespace {

using corvana_test::hexString;
using corvana_test::OptionalBytes;
using corvana_test::PeerRun;
using corvana_test::TempDir;
using corvana_test::writeFile;

std::u16string u16(const std::string& utf8) { return CVNUTF16FromUTF8(utf8).value(); }
std::string u8(std::u16string_view text) { return CVNUTF8FromUTF16(text); }

// One item to archive: its path relative to the tree (before encoding) and
// the file or folder whose contents and dates it takes.
struct SourceItem {
  std::u16string relativePath;
  std::string source;
  bool isFolder = false;
};

void makeFolder(const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path; }

void setModificationTime(const std::string& path, time_t seconds) {
  timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

std::vector<uint8_t> randomBytes(size_t length, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> data(length);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  return data;
}

// The test tree, made once per process and walked like the archiving job
// walks a dropped folder: folders (empty ones included) and files, each
// folder before its contents.
class SourceTree {
 public:
  static const SourceTree& shared() {
    static SourceTree tree;
    return tree;
  }

  // Every item of the walk, plus the entries whose names are too long to
  // exist on this file system.
  const std::vector<SourceItem>& items() const { return _items; }
  // A 1 MiB file of random bytes; deflate cannot shrink it.
  const std::string& incompressibleFile() const { return _incompressible; }

 private:
  SourceTree() {
    const std::string root = _dir / "tree";
    const std::string extras = _dir / "extras";
    const std::string nfdE = "e\xCC\x81";  // e + COMBINING ACUTE ACCENT
    const std::vector<std::string> folders = {
        "日本語フォルダ",    "한국어",   "简体中文", "繁體中文",           "Café Ölçü",
        "Am" + nfdE + "lie", "reserved", "devices",  "devices/LPT9",       "trailing",
        "trailing/folder.",  "empty",    "nested",   "nested/empty inner", "long",
    };
    const std::vector<std::string> files = {
        "日本語フォルダ/テスト文書.txt",
        "日本語フォルダ/ｶﾀｶﾅ表示.txt",
        "한국어/문서.txt",
        "简体中文/文件.txt",
        "繁體中文/檔案.txt",
        "Café Ölçü/résumé.txt",
        "Café Ölçü/r" + nfdE + "sum" + nfdE + " decomposed.txt",
        "Am" + nfdE + "lie/note.txt",
        "reserved/a:b?c*d<e>f|g\"h\\i.txt",
        "reserved/control\x01.txt",
        "reserved/smile\xF0\x9F\x98\x80.txt",
        "devices/CON.txt",
        "devices/nul",
        "devices/com1.tar.gz",
        "devices/aux",
        "devices/LPT9/inside.txt",
        "trailing/dot.",
        "trailing/space ",
        "trailing/dot and space. ",
        "trailing/dots...",
        "trailing/folder./inner.txt",
        "long/short.txt",
        "readme.txt",
    };
    makeFolder(root);
    makeFolder(extras);
    for (const auto& folder : folders) makeFolder(root + "/" + folder);
    std::string text;
    for (int i = 0; i < 100; ++i) text += "line " + std::to_string(i) + " of a compressible text\n";
    for (size_t i = 0; i < files.size(); ++i)
      writeFile(root + "/" + files[i], files[i] + "\n" + text.substr(0, i * 97));
    writeFile(root + "/zero.txt", std::string());
    writeFile(extras + "/long source.txt", text);
    makeFolder(extras + "/empty source");
    _incompressible = extras + "/random.bin";
    writeFile(_incompressible, randomBytes(1 << 20, 1));

    walk(root, "");
    // Components of 300, 260 and 280 UTF-16 units: Windows refuses them (the
    // limit is 255), but an archive holds them and the peers must too.
    std::u16string kanji(100, u'長');
    _items.push_back({u"long/" + kanji + std::u16string(200, u'a') + u".txt",
                      extras + "/long source.txt", false});
    _items.push_back(
        {u"long/" + std::u16string(256, u'n') + u".txt", extras + "/long source.txt", false});
    std::u16string folder;
    for (int i = 0; i < 70; ++i) folder += u"フォルダ";
    _items.push_back({u"long/" + folder, extras + "/empty source", true});

    // Odd seconds, so that the DOS time (2-second steps) differs from the
    // extended timestamp; set last, as adding to a folder changes its time.
    time_t when = 1623752433;  // 2021-06-15 10:20:33 UTC
    for (const auto& item : _items) {
      setModificationTime(item.source, when);
      when += 7919;
    }
  }

  void walk(const std::string& folder, const std::string& relative) {
    for (const std::string& name : corvana_test::listFolder(folder)) {
      const std::string path = folder + "/" + name;
      const std::string itemPath = relative.empty() ? name : relative + "/" + name;
      struct stat status;
      ASSERT_EQ(::lstat(path.c_str(), &status), 0) << path;
      if (S_ISDIR(status.st_mode)) {
        _items.push_back({u16(itemPath), path, true});
        walk(path, itemPath);
      } else if (S_ISREG(status.st_mode)) {
        _items.push_back({u16(itemPath), path, false});
      }
    }
  }

  TempDir _dir;
  std::vector<SourceItem> _items;
  std::string _incompressible;
};

// The settings sheet's escaping levels: 1 is "_" without fullwidth forms, 5 is
// "(U+%04X)", 9 is "(U+%04X)" with fullwidth forms.
std::shared_ptr<CVNPathComponentEncoder> encoderFor(int codepage, int escaping) {
  auto encoder = std::make_shared<CVNPathComponentEncoder>();
  encoder->setEncoding(CVNStringEncodingForWindowsCodepage(codepage));
  encoder->setTriesConvertingToFullwidth(escaping == 9);
  encoder->setCharacterEscapeFormat(escaping == 1 ? "_" : "(U+%04X)");
  return encoder;
}

// One archive as written, with what the peers must find in it.
struct WrittenArchive {
  std::string path;
  int codepage = 0;
  int level = 0;
  OptionalBytes password;
  std::optional<std::string> asciiPassword;
  // The encoded entry name (UTF-8, "/" after a folder) and its source.
  std::vector<std::pair<std::string, SourceItem>> entries;
};

constexpr int kLevels[] = {-1, 0, 1, 9};
// DOS times are local: a zone away from UTC, with daylight saving time in
// June, shows a writer that takes them in UTC.
const char* const kTimeZone = "America/New_York";
const char* const kAsciiPassword = "Corvana-pw1";

// Encodes every item's path and writes the archive, as the archiving job does.
WrittenArchive writeArchive(const std::string& folder, int codepage, int escaping, int level,
                            const std::optional<std::u16string>& password,
                            bool withIncompressibleFile) {
  auto encoder = encoderFor(codepage, escaping);
  WrittenArchive written;
  written.codepage = codepage;
  written.level = level;
  std::vector<SourceItem> items = SourceTree::shared().items();
  if (withIncompressibleFile)
    items.push_back({u"random.bin", SourceTree::shared().incompressibleFile(), false});

  const std::string name = "cp" + std::to_string(codepage) + " e" + std::to_string(escaping) +
                           " L" + std::to_string(level) + (password ? " pw" : "") + ".zip";
  CVNZipFileWriter writer(folder + "/" + name);
  writer.setEncoder(encoder);
  if (password) {
    written.password = CVNEncodeString(*password, encoder->encoding());
    EXPECT_TRUE(written.password) << "the password does not fit code page " << codepage;
    writer.setPassword(written.password);
  }
  for (const SourceItem& item : items) {
    const std::u16string entryName = pathUsingPathComponentEncoder(item.relativePath, *encoder);
    EXPECT_EQ(writer.writeFileName(entryName, item.source, level), CVNZipResultSucceeded)
        << u8(item.relativePath);
    written.entries.push_back({u8(entryName) + (item.isFolder ? "/" : ""), item});
  }
  writer.closeFile();
  written.path = writer.path();
  return written;
}

using WriterInteropParam = std::tuple<int, int>;  // code page, escaping level

// Every archive of one code page and escaping level: all four levels, with
// and without the ASCII password. The incompressible file goes into the
// archives of escaping level 5 only, to keep the matrix cheap.
class WriterInterop : public testing::TestWithParam<WriterInteropParam> {
 protected:
  std::vector<WrittenArchive> writeAll() {
    const auto [codepage, escaping] = GetParam();
    std::vector<WrittenArchive> archives;
    for (int level : kLevels) {
      for (bool encrypted : {false, true}) {
        std::optional<std::u16string> password;
        if (encrypted) password = u16(kAsciiPassword);
        archives.push_back(
            writeArchive(_dir.path(), codepage, escaping, level, password, escaping == 5));
        if (encrypted) archives.back().asciiPassword = kAsciiPassword;
      }
    }
    return archives;
  }

  corvana_test::ScopedTimeZone _zone{kTimeZone};
  TempDir _dir;
};

std::string describe(const WrittenArchive& archive) { return archive.path; }

TEST_P(WriterInterop, UnzipTestsEveryEntry) {
  CORVANA_SKIP_WITHOUT_PEER("unzip");
  for (const WrittenArchive& archive : writeAll()) {
    PeerRun run = corvana_test::unzipTest(archive.path, archive.password);
    EXPECT_TRUE(run.ok()) << describe(archive) << "\n" << run;
  }
}

TEST_P(WriterInterop, SevenZipTestsEveryEntry) {
  CORVANA_SKIP_WITHOUT_PEER("7z");
  for (const WrittenArchive& archive : writeAll()) {
    PeerRun run = corvana_test::sevenZipTest(archive.path, archive.asciiPassword);
    EXPECT_TRUE(run.ok()) << describe(archive) << "\n" << run;
  }
}

TEST_P(WriterInterop, BsdtarListsAndReadsEveryEntry) {
  CORVANA_SKIP_WITHOUT_PEER("bsdtar");
  for (const WrittenArchive& archive : writeAll()) {
    size_t count = 0;
    PeerRun list = corvana_test::bsdtarList(archive.path, &count);
    EXPECT_TRUE(list.ok()) << describe(archive) << "\n" << list;
    EXPECT_EQ(count, archive.entries.size()) << describe(archive) << "\n" << list;
    PeerRun read = corvana_test::bsdtarRead(archive.path, archive.password);
    EXPECT_TRUE(read.ok()) << describe(archive) << "\n" << read;
  }
}

// Checks archives described by a manifest (hexadecimal fields):
//   A <archive path> <code page> <password or -> <level>
//   E <entry name, UTF-8> <source path, or - for a folder> <modification time>
// Names are decoded with the code page; every entry must carry host 0, version
// made by 6.2, no flag but encryption, the DOS attributes, the method of the
// level, the DOS time and the extended timestamp of its source, and the CRC-32
// and size of its source's bytes (testzip has checked the data against them).
// Every name must be legal on Windows. Prints what is wrong; exit 1 then.
const char kPythonCheck[] = R"PY(
import struct, sys, time, zipfile, zlib

DEVICES = {'CON', 'PRN', 'AUX', 'NUL'} | {p + str(i) for p in ('COM', 'LPT') for i in range(1, 10)}
errors = []

def legal(component):
    if not component or component[-1] in ' .':
        return False
    if any(c in '<>:"/\\|?*' or ord(c) < 32 or ord(c) == 0x7F for c in component):
        return False
    return component.split('.')[0].upper() not in DEVICES

def extended_mtime(extra):
    at = 0
    while at + 4 <= len(extra):
        tag, length = struct.unpack_from('<HH', extra, at)
        body = extra[at + 4:at + 4 + length]
        if tag == 0x5455 and len(body) >= 5 and body[0] & 1:
            return struct.unpack_from('<I', body, 1)[0]
        at += 4 + length
    return None

archives = []
for line in open(sys.argv[1], encoding='ascii'):
    f = line.split()
    text = lambda h: bytes.fromhex(h).decode('utf-8')
    if f[0] == 'A':
        archives.append(dict(path=text(f[1]), cp='cp' + f[2],
                             pw=None if f[3] == '-' else bytes.fromhex(f[3]),
                             level=int(f[4]), entries=[]))
    else:
        archives[-1]['entries'].append((text(f[1]), None if f[2] == '-' else text(f[2]), int(f[3])))

for a in archives:
    def fail(message):
        errors.append(a['path'] + ': ' + message)
    try:
        zf = zipfile.ZipFile(a['path'], metadata_encoding=a['cp'])
    except Exception as e:
        fail('cannot open: %r' % e)
        continue
    with zf:
        if a['pw']:
            zf.setpassword(a['pw'])
        try:
            bad = zf.testzip()
            if bad is not None:
                fail('testzip: bad entry %r' % bad)
        except Exception as e:
            fail('testzip: %r' % e)
        infos = zf.infolist()
        got = sorted(i.filename for i in infos)
        want = sorted(e[0] for e in a['entries'])
        if got != want:
            fail('names differ: only in archive %r, only expected %r'
                 % (sorted(set(got) - set(want)), sorted(set(want) - set(got))))
        pending = {}
        for name, source, mtime in a['entries']:
            data = open(source, 'rb').read() if source else b''
            pending.setdefault(name, []).append((source is None, len(data), zlib.crc32(data), mtime))
        for i in infos:
            n = i.filename
            if i.flag_bits & 0x800:
                fail('%r has the UTF-8 flag' % n)
            if i.flag_bits != (1 if a['pw'] else 0):
                fail('%r has flags 0x%x' % (n, i.flag_bits))
            if i.create_system != 0 or i.create_version != 62:
                fail('%r made by %d.%d' % (n, i.create_system, i.create_version))
            for component in n.rstrip('/').split('/'):
                if not legal(component):
                    fail('%r: component %r is not legal on Windows' % (n, component))
            folder = n.endswith('/')
            match = [e for e in pending.get(n, [])
                     if e[0] == folder and e[1] == i.file_size and e[2] == i.CRC]
            if not match:
                fail('%r: size %d CRC %08x match no source' % (n, i.file_size, i.CRC))
                continue
            entry = match[0]
            pending[n].remove(entry)
            mtime = entry[3]
            method = 0 if folder or a['level'] == 0 else 8
            if i.compress_type != method:
                fail('%r: method %d, expected %d' % (n, i.compress_type, method))
            attributes = 0x10 if folder else 0x20
            if i.external_attr != attributes:
                fail('%r: attributes 0x%x' % (n, i.external_attr))
            local = time.localtime(mtime)
            dos = tuple(local[:5]) + (local.tm_sec // 2 * 2,)
            if i.date_time != dos:
                fail('%r: DOS time %r, expected %r' % (n, i.date_time, dos))
            if extended_mtime(i.extra) != mtime:
                fail('%r: extended timestamp %r, expected %d' % (n, extended_mtime(i.extra), mtime))

for e in errors:
    print(e)
print('%d archives, %d problems' % (len(archives), len(errors)))
sys.exit(1 if errors else 0)
)PY";

std::string manifestOf(const std::vector<WrittenArchive>& archives) {
  std::string manifest;
  for (const WrittenArchive& archive : archives) {
    manifest += "A " + hexString(archive.path) + " " + std::to_string(archive.codepage) + " " +
                (archive.password ? hexString(*archive.password) : "-") + " " +
                std::to_string(archive.level) + "\n";
    for (const auto& [name, item] : archive.entries) {
      struct stat status;
      EXPECT_EQ(::stat(item.source.c_str(), &status), 0);
      manifest += "E " + hexString(name) + " " + (item.isFolder ? "-" : hexString(item.source)) +
                  " " + std::to_string(status.st_mtime) + "\n";
    }
  }
  return manifest;
}

void expectPythonFindsNoProblem(const std::string& manifest, size_t archiveCount) {
  PeerRun run = corvana_test::runPython(kPythonCheck, {manifest});
  EXPECT_TRUE(run.ok()) << run;
  EXPECT_NE(run.output.find(std::to_string(archiveCount) + " archives, 0 problems"),
            std::string::npos)
      << run;
}

TEST_P(WriterInterop, PythonZipfileFindsTheNamesInTheCodePage) {
  CORVANA_SKIP_WITHOUT_PEER("python3");
  const std::string manifest = _dir / "manifest.txt";
  const std::vector<WrittenArchive> archives = writeAll();
  writeFile(manifest, manifestOf(archives));
  expectPythonFindsNoProblem(manifest, archives.size());
}

std::string paramName(const testing::TestParamInfo<WriterInteropParam>& info) {
  return "cp" + std::to_string(std::get<0>(info.param)) + "_escaping" +
         std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndEscaping, WriterInterop,
                         testing::Combine(testing::Values(1252, 932, 949, 936, 950),
                                          testing::Values(1, 5, 9)),
                         paramName);

// A password that only the archive's code page holds, as bytes of that code
// page. 7-Zip is left out: it turns the typed password into bytes by its own
// rules (UTF-8 here), so it cannot be handed these bytes.
class WriterCodePagePassword : public testing::TestWithParam<std::tuple<int, std::string>> {
 protected:
  WrittenArchive write() {
    const auto& [codepage, password] = GetParam();
    return writeArchive(_dir.path(), codepage, 5, -1, u16(password), false);
  }
  corvana_test::ScopedTimeZone _zone{kTimeZone};
  TempDir _dir;
};

TEST_P(WriterCodePagePassword, UnzipTakesTheCodePageBytes) {
  CORVANA_SKIP_WITHOUT_PEER("unzip");
  WrittenArchive archive = write();
  ASSERT_TRUE(archive.password);
  ASSERT_NE(hexString(*archive.password), hexString(std::get<1>(GetParam())))
      << "the password is the same in UTF-8, so the case would prove nothing";
  PeerRun run = corvana_test::unzipTest(archive.path, archive.password);
  EXPECT_TRUE(run.ok()) << run;
}

TEST_P(WriterCodePagePassword, BsdtarTakesTheCodePageBytes) {
  CORVANA_SKIP_WITHOUT_PEER("bsdtar");
  WrittenArchive archive = write();
  PeerRun run = corvana_test::bsdtarRead(archive.path, archive.password);
  EXPECT_TRUE(run.ok()) << run;
}

TEST_P(WriterCodePagePassword, PythonZipfileTakesTheCodePageBytes) {
  CORVANA_SKIP_WITHOUT_PEER("python3");
  const std::string manifest = _dir / "manifest.txt";
  writeFile(manifest, manifestOf({write()}));
  expectPythonFindsNoProblem(manifest, 1);
}

INSTANTIATE_TEST_SUITE_P(CodePages, WriterCodePagePassword,
                         testing::Values(std::tuple(1252, std::string("Paßwört")),
                                         std::tuple(932, std::string("パスワード")),
                                         std::tuple(949, std::string("비밀번호")),
                                         std::tuple(936, std::string("密码")),
                                         std::tuple(950, std::string("密碼"))),
                         [](const testing::TestParamInfo<std::tuple<int, std::string>>& info) {
                           return "cp" + std::to_string(std::get<0>(info.param));
                         });

}  // namespace
