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

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
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
#include "support/TestZipArchive.h"
#include "support/ZipRecordTestSupport.h"

namespace {

using namespace corvana_test;

std::u16string u16(const std::string& utf8) { return CVNUTF16FromUTF8(utf8).value(); }

// One item to archive: its path relative to the tree (before encoding) and the
// file or folder whose contents and dates it takes.
struct SourceItem {
  std::u16string relativePath;
  std::string source;
  bool isFolder;
};

// The test tree, made once per process and walked like the archiving job walks
// a dropped folder: folders (empty ones included) and files, each folder
// before its contents; then entries whose names are too long to exist here.
struct SourceTree {
  static const SourceTree& shared() {
    static SourceTree tree;
    return tree;
  }
  TempDir dir;
  std::vector<SourceItem> items;
  std::string incompressible = dir / "random.bin";  // 1 MiB; deflate cannot shrink it

 private:
  SourceTree() {
    const std::string root = dir / "tree", text = dir / "long source.txt", empty = dir / "empty";
    // One a line; some decomposed (e + COMBINING ACUTE ACCENT).
    std::istringstream files(
        "日本語フォルダ/テスト文書.txt\n日本語フォルダ/ｶﾀｶﾅ表示.txt\n한국어/문서.txt\n"
        "简体中文/文件.txt\n繁體中文/檔案.txt\nCafé Ölçü/résumé.txt\n"
        "Café Ölçü/re\xCC\x81sume\xCC\x81 decomposed.txt\nAme\xCC\x81lie/note.txt\n"
        "reserved/a:b?c*d<e>f|g\"h\\i.txt\nreserved/control\x01.txt\n"
        "reserved/smile\xF0\x9F\x98\x80.txt\ndevices/CON.txt\ndevices/nul\n"
        "devices/com1.tar.gz\ndevices/aux\ndevices/LPT9/inside.txt\ntrailing/dot.\n"
        "trailing/space \ntrailing/dot and space. \ntrailing/dots...\n"
        "trailing/folder./inner.txt\nlong/short.txt\nreadme.txt\n");
    std::filesystem::create_directories(root + "/empty");
    std::filesystem::create_directories(root + "/nested/empty inner");
    std::string lines;
    for (int i = 0; i < 100; ++i)
      lines += "line " + std::to_string(i) + " of a compressible text\n";
    size_t i = 0;
    for (std::string name; std::getline(files, name); ++i) {
      std::filesystem::create_directories(std::filesystem::path(root + "/" + name).parent_path());
      writeFile(root + "/" + name, name + ("\n" + lines.substr(0, i * 97)));
    }
    writeFile(root + "/zero.txt", std::string());
    writeFile(text, lines);
    std::filesystem::create_directory(empty);
    writeFile(incompressible, randomBytes(1 << 20, 1));
    for (const auto& item : std::filesystem::recursive_directory_iterator(root))
      items.push_back({u16(std::filesystem::relative(item.path(), root).string()),
                       item.path().string(), item.is_directory()});
    // Components of 300, 260 and 280 UTF-16 units: Windows refuses them (the
    // limit is 255), but an archive holds them and the peers must too.
    std::u16string folder;
    for (int i = 0; i < 70; ++i) folder += u"フォルダ";
    items.push_back(
        {u"long/" + std::u16string(100, u'長') + std::u16string(200, u'a') + u".txt", text, false});
    items.push_back({u"long/" + std::u16string(256, u'n') + u".txt", text, false});
    items.push_back({u"long/" + folder, empty, true});
    // Odd seconds, so that the DOS time (2-second steps) differs from the
    // extended timestamp; set last, as adding to a folder changes its time.
    time_t when = 1623752433;  // 2021-06-15 10:20:33 UTC
    for (const SourceItem& item : items) {
      const timespec times[2] = {{when, 0}, {when, 0}};
      EXPECT_EQ(::utimensat(AT_FDCWD, item.source.c_str(), times, 0), 0) << item.source;
      when += 7919;
    }
  }
};

// One archive as written, with what the peers must find in it.
struct WrittenArchive {
  std::string path;
  int codepage = 0, level = 0;
  std::optional<std::string> password;  // UTF-8
  OptionalBytes passwordBytes;          // in the code page
  // The encoded entry name (UTF-8, "/" after a folder) and its source.
  std::vector<std::pair<std::string, SourceItem>> entries;
};

// Encodes every item's path with the settings sheet's escaping level (1 is "_"
// without fullwidth forms, 5 is "(U+%04X)", 9 is "(U+%04X)" with fullwidth
// forms) and writes the archive, as the archiving job does.
WrittenArchive writeArchive(const std::string& folder, int codepage, int escaping, int level,
                            const std::optional<std::string>& password, bool withIncompressible) {
  auto encoder = std::make_shared<CVNPathComponentEncoder>();
  encoder->setEncoding(CVNStringEncodingForWindowsCodepage(codepage));
  encoder->setTriesConvertingToFullwidth(escaping == 9);
  encoder->setCharacterEscapeFormat(escaping == 1 ? "_" : "(U+%04X)");
  WrittenArchive written;
  written.codepage = codepage, written.level = level, written.password = password;
  std::vector<SourceItem> items = SourceTree::shared().items;
  if (withIncompressible)
    items.push_back({u"random.bin", SourceTree::shared().incompressible, false});
  CVNZipFileWriter writer(folder + "/cp" + std::to_string(codepage) + " e" +
                          std::to_string(escaping) + " L" + std::to_string(level) +
                          (password ? " pw" : "") + ".zip");
  writer.setEncoder(encoder);
  if (password) {
    written.passwordBytes = CVNEncodeString(u16(*password), encoder->encoding());
    EXPECT_TRUE(written.passwordBytes) << "the password does not fit code page " << codepage;
    writer.setPassword(written.passwordBytes);
  }
  for (const SourceItem& item : items) {
    const std::u16string name = pathUsingPathComponentEncoder(item.relativePath, *encoder);
    EXPECT_EQ(writer.writeFileName(name, item.source, level), CVNZipResultSucceeded)
        << CVNUTF8FromUTF16(item.relativePath);
    written.entries.push_back({CVNUTF8FromUTF16(name) + (item.isFolder ? "/" : ""), item});
  }
  writer.closeFile();
  written.path = writer.path();
  return written;
}

// Checks archives described by a manifest (hexadecimal fields):
//   A <archive path> <code page> <password or -> <level>
//   E <entry name, UTF-8> <source path, or - for a folder> <modification time>
// Names, decoded with the code page, must be the expected ones and legal on
// Windows; every entry must carry host 0, version made by 6.2, no flag but
// encryption, the DOS attributes, the method of the level, the DOS time and the
// extended timestamp of its source, and the CRC-32 and size of its source's
// bytes (testzip has checked the data against them). Prints what is wrong;
// exit 1 then.
const char kPythonCheck[] = R"PY(
import struct, sys, time, zipfile, zlib

DEVICES = {'CON', 'PRN', 'AUX', 'NUL'} | {p + str(i) for p in ('COM', 'LPT') for i in range(1, 10)}
errors = []
text = lambda h: bytes.fromhex(h).decode('utf-8')

def legal(component):
    return (component and component[-1] not in ' .'
            and not any(c in '<>:"/\\|?*' or ord(c) < 32 or ord(c) == 0x7F for c in component)
            and component.split('.')[0].upper() not in DEVICES)

def extended_mtime(extra):
    at = 0
    while at + 4 <= len(extra):
        tag, length = struct.unpack_from('<HH', extra, at)
        body = extra[at + 4:at + 4 + length]
        if tag == 0x5455 and len(body) >= 5 and body[0] & 1:
            return struct.unpack_from('<I', body, 1)[0]
        at += 4 + length

archives = []
for line in open(sys.argv[1], encoding='ascii'):
    f = line.split()
    if f[0] == 'A':
        archives.append(dict(path=text(f[1]), cp='cp' + f[2], level=int(f[4]), entries=[],
                             pw=None if f[3] == '-' else bytes.fromhex(f[3])))
    else:
        archives[-1]['entries'].append((text(f[1]), None if f[2] == '-' else text(f[2]), int(f[3])))

for a in archives:
    fail = lambda message: errors.append(a['path'] + ': ' + message)
    try:
        zf = zipfile.ZipFile(a['path'], metadata_encoding=a['cp'])
        zf.setpassword(a['pw'])
        bad = zf.testzip()
        if bad is not None:
            fail('testzip: bad entry %r' % bad)
    except Exception as e:
        fail('cannot open or test: %r' % e)
        continue
    pending = {}
    for name, source, mtime in a['entries']:
        data = open(source, 'rb').read() if source else b''
        pending.setdefault(name, []).append((source is None, len(data), zlib.crc32(data), mtime))
    for i in zf.infolist():
        n, folder = i.filename, i.filename.endswith('/')
        for component in n.rstrip('/').split('/'):
            if not legal(component):
                fail('%r: component %r is not legal on Windows' % (n, component))
        match = [e for e in pending.get(n, [])
                 if e[0] == folder and e[1] == i.file_size and e[2] == i.CRC]
        if not match:
            fail('%r: size %d CRC %08x match no source' % (n, i.file_size, i.CRC))
            continue
        pending[n].remove(match[0])
        mtime = match[0][3]
        local = time.localtime(mtime)
        got = (i.flag_bits, i.create_system, i.create_version, i.compress_type, i.external_attr,
               i.date_time, extended_mtime(i.extra))
        want = (1 if a['pw'] else 0, 0, 62, 0 if folder or a['level'] == 0 else 8,
                0x10 if folder else 0x20, tuple(local[:5]) + (local.tm_sec // 2 * 2,), mtime)
        if got != want:
            fail('%r: flags, host, version, method, attributes, DOS and extended times %r, '
                 'expected %r' % (n, got, want))
    missing = sorted(n for n, left in pending.items() if left)
    if missing:
        fail('entries missing: %r' % missing)

for e in errors:
    print(e)
print('%d archives, %d problems' % (len(archives), len(errors)))
sys.exit(1 if errors else 0)
)PY";

// unzip -t, 7z t (with ASCII passwords only: it turns a password into bytes by
// its own rules, UTF-8 here), bsdtar listing and reading, and the Python check,
// on every archive; each where installed.
void expectPeersAccept(const std::vector<WrittenArchive>& archives, PeerSet& peers,
                       const std::string& manifest) {
  std::string lines;
  for (const WrittenArchive& a : archives) {
    const bool ascii = !a.password || std::all_of(a.password->begin(), a.password->end(),
                                                  [](char c) { return c >= 0; });
    if (peers.have("unzip")) expectSucceeded(unzipTest(a.path, a.passwordBytes), "unzip " + a.path);
    if (peers.have("7z") && ascii)
      expectSucceeded(sevenZipTest(a.path, a.password), "7z t " + a.path);
    if (peers.have("bsdtar")) {
      size_t count = 0;
      expectSucceeded(bsdtarList(a.path, &count), "bsdtar -t " + a.path);
      EXPECT_EQ(count, a.entries.size()) << a.path;
      expectSucceeded(bsdtarRead(a.path, a.passwordBytes), "bsdtar -x " + a.path);
    }
    lines += "A " + hexString(a.path) + " " + std::to_string(a.codepage) + " " +
             (a.passwordBytes ? hexString(*a.passwordBytes) : "-") + " " + std::to_string(a.level) +
             "\n";
    for (const auto& [name, item] : a.entries) {
      struct stat status;
      EXPECT_EQ(::stat(item.source.c_str(), &status), 0);
      lines += "E " + hexString(name) + " " + (item.isFolder ? "-" : hexString(item.source)) + " " +
               std::to_string(status.st_mtime) + "\n";
    }
  }
  if (!peers.have("python3")) return;
  writeFile(manifest, lines);
  const PeerRun run = runPython(kPythonCheck, {manifest});
  expectSucceeded(run, "Python");
  EXPECT_NE(run.output.find(std::to_string(archives.size()) + " archives, 0 problems"),
            std::string::npos)
      << run;
}

// DOS times are local: a zone away from UTC, with daylight saving time in
// June, shows a writer that takes them in UTC.
class WriterInterop : public testing::TestWithParam<std::tuple<int, int>> {
 protected:
  ScopedTimeZone zone{"America/New_York"};
  TempDir dir;
  PeerSet peers;
};

// Every archive of one code page and escaping level: all four levels, with and
// without an ASCII password. The incompressible file, and a password that only
// the code page holds (as bytes of that code page), go into the archives of
// escaping level 5 only, to keep the matrix cheap.
TEST_P(WriterInterop, EveryPeerAcceptsEveryArchive) {
  const auto [codepage, escaping] = GetParam();
  std::vector<WrittenArchive> archives;
  for (int level : {-1, 0, 1, 9})
    for (const char* password : {static_cast<const char*>(nullptr), "Corvana-pw1"})
      archives.push_back(writeArchive(dir.path(), codepage, escaping, level,
                                      password ? std::optional(password) : std::nullopt,
                                      escaping == 5));
  if (escaping == 5) {
    const std::map<int, std::string> passwords = {
        {1252, "Paßwört"}, {932, "パスワード"}, {949, "비밀번호"}, {936, "密码"}, {950, "密碼"}};
    archives.push_back(writeArchive(dir.path(), codepage, 5, -1, passwords.at(codepage), false));
    EXPECT_NE(archives.back().passwordBytes, bytes(passwords.at(codepage))) << "the same as UTF-8";
  }
  expectPeersAccept(archives, peers, dir / "manifest.txt");
  CORVANA_SKIP_IF_PEERS_MISSING(peers);
}

INSTANTIATE_TEST_SUITE_P(CodePagesAndEscaping, WriterInterop,
                         testing::Combine(testing::Values(1252, 932, 949, 936, 950),
                                          testing::Values(1, 5, 9)),
                         [](const auto& info) {
                           return "cp" + std::to_string(std::get<0>(info.param)) + "_escaping" +
                                  std::to_string(std::get<1>(info.param));
                         });

}  // namespace
