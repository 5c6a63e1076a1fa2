// Round trips through the archiving job for every code page and escaping row,
// with and without a password: the peers accept the archive and read its names
// in the chosen code page, and the reader gives back the tree its rules give.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "JobsTestSupport.h"
#include "engine/CVNFileSystemNames.h"
#include "engine/CVNPathComponentEncoder.h"
#include "engine/CVNStringEncoding.h"
#include "engine/CVNWindowsCodepage.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipFileReader.h"
#include "jobs/CVNArchiveOperation.h"
#include "jobs/CVNOperationQueue.h"
#include "support/PeerArchivers.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

namespace {

using corvana_test::TempDir;

// Prints, as JSON, each entry's name decoded in the given code page and as the
// reader's trial order decodes it, in archive order; then checks the data
// unless a password is needed.
const char kListNames[] = R"py(
import json, sys, zipfile
path, codec, encrypted = sys.argv[1], sys.argv[2], sys.argv[3] == '1'
# Python's cp932 also gives the single bytes 0x80, 0xA0 and 0xFD-0xFF a
# meaning, which the code page's own table leaves undefined.
def trial(raw):
    for candidate in ('cp932', 'cp949', 'cp936', 'cp950', 'cp1252', 'utf-8'):
        try:
            text = raw.decode(candidate)
        except UnicodeDecodeError:
            continue
        if candidate == 'cp932' and any(c in '\x80\uf8f0\uf8f1\uf8f2\uf8f3' for c in text):
            continue
        return text
    return None
entries = []
with zipfile.ZipFile(path) as z:
    for info in z.infolist():
        raw = info.orig_filename.encode('cp437')
        assert not info.flag_bits & 0x800, 'UTF-8 flag set'
        entries.append({'name': raw.decode(codec), 'trial': trial(raw)})
    bad = None if encrypted else z.testzip()
print(json.dumps({'entries': entries, 'bad': bad}))
)py";

const char* pythonCodec(int64_t codepage) {
  switch (codepage) {
    case 932:
      return "cp932";
    case 949:
      return "cp949";
    case 936:
      return "gbk";
    case 950:
      return "cp950";
    default:
      return "cp1252";
  }
}

using RoundTripCase = std::tuple<int64_t, int, bool>;  // code page, escaping row, password

class RoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, PeersAndReaderAgree) {
  CORVANA_SKIP_WITHOUT_PEER("unzip");
  CORVANA_SKIP_WITHOUT_PEER("python3");
  const auto [codepage, escaping, withPassword] = GetParam();
  TempDir dir;
  CVNMakeRoundTripTree(dir.path());

  // As the settings sheet makes it.
  auto encoder = std::make_shared<CVNPathComponentEncoder>();
  encoder->setEncoding(CVNStringEncodingForWindowsCodepage(codepage));
  encoder->setTriesConvertingToFullwidth(escaping == 9);
  encoder->setCharacterEscapeFormat(escaping == 1 ? "_" : "(U+%04X)");
  std::optional<std::vector<uint8_t>> password;
  if (withPassword) password = CVNEncodeString(u"secret", encoder->encoding());
  auto job = std::make_shared<CVNArchiveOperation>(std::vector<std::string>{dir / "tree"},
                                                   CVNSymbolicLinkBehaviorExcludes);
  job->setIndeterminately(false);
  job->setEncoder(encoder);
  job->setPassword(password);
  job->setReportsOnlyWarnings(true);
  job->setEntrySpecificToMacBehavior(CVNEntrySpecificToMacBehaviorExcludes);
  job->setEmptyFolderBehavior(CVNEmptyFolderBehaviorIncludesInArchive);
  {
    CVNOperationQueue queue(2);
    queue.addOperation(job);
    ASSERT_TRUE(CVNSpinUntil([&] { return queue.operations().empty(); }));
  }
  ASSERT_TRUE(job->succeeded()) << job->result().toStdString();
  const std::string archive = job->outputPath();
  EXPECT_EQ(archive, dir / "tree.zip");

  corvana_test::expectSucceeded(corvana_test::unzipTest(archive, password), "unzip -t");

  const corvana_test::PeerRun listed = corvana_test::runPython(
      kListNames, {archive, pythonCodec(codepage), withPassword ? "1" : "0"});
  ASSERT_TRUE(listed.ok()) << listed;
  const QJsonObject report =
      QJsonDocument::fromJson(QByteArray::fromStdString(listed.output)).object();
  EXPECT_TRUE(report.value(QStringLiteral("bad")).isNull()) << listed.output;
  const QJsonArray entries = report.value(QStringLiteral("entries")).toArray();
  QStringList names;
  QSet<QString> trialNames;
  for (const auto& entry : entries) {
    names << entry.toObject().value(QStringLiteral("name")).toString();
    // The reader splits names from MS-DOS hosts at "\" too.
    trialNames.insert(
        entry.toObject().value(QStringLiteral("trial")).toString().replace(u'\\', u'/'));
  }
  const QSet<QString> expected = CVNRoundTripTreeNames(*encoder);
  EXPECT_EQ(QSet<QString>(names.begin(), names.end()), expected) << CVNDescribe(expected);
  // Folder entries follow everything inside them.
  for (qsizetype i = 0; i < names.size(); ++i) {
    if (!names[i].endsWith(u'/')) continue;
    for (qsizetype j = i + 1; j < names.size(); ++j)
      EXPECT_FALSE(names[j].startsWith(names[i])) << names[j].toStdString();
  }

  // The reader: every entry extracted, the tree its trial order names.
  const std::string out = dir / "out";
  ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
  auto reader = CVNZipFileReader::withZipFileAtPath(archive);
  ASSERT_TRUE(reader);
  reader->setDirectoryPath(out);
  reader->setPassword(password);
  while (auto header = reader->readCentralFileHeader()) {
    EXPECT_EQ(reader->decompressFileDataRelativeToCentralFileHeader(*header),
              CVNZipResultSucceeded);
  }
  const QSet<QString> extracted = CVNTreeUnder(out);
  EXPECT_EQ(extracted, trialNames) << CVNDescribe(extracted);
  // Code page 932 comes first in the trial order: the archived tree itself.
  if (codepage == 932) {
    EXPECT_EQ(extracted, expected);
  }
  EXPECT_EQ(corvana_test::readFile(out + "/tree/sub/random.bin"),
            corvana_test::randomBytes(1 << 20, 7));
}

INSTANTIATE_TEST_SUITE_P(Rows, RoundTrip,
                         testing::Combine(testing::Values(1252, 932, 949, 936, 950),
                                          testing::Values(1, 5, 9), testing::Bool()),
                         [](const auto& info) {
                           return "cp" + std::to_string(std::get<0>(info.param)) + "_escaping" +
                                  std::to_string(std::get<1>(info.param)) +
                                  (std::get<2>(info.param) ? "_password" : "");
                         });

}  // namespace
