// Round trips through both jobs for every code page and escaping row, with and
// without a password: the extraction job gives back the tree that the reader's
// rules give for the archive's bytes, and for code page 932 (and ASCII names in
// any code page) the archived tree itself.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLineEdit>
#include <QSet>
#include <QStringList>
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
#include "jobs/CVNLogModel.h"
#include "jobs/CVNOperationQueue.h"
#include "jobs/CVNUnarchiveOperation.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

namespace {

using corvana_test::TempDir;

// A password each code page holds, so that the job's candidates are tried in
// turn until the archive's own code page answers.
std::u16string passwordFor(int64_t codepage) {
  switch (codepage) {
    case 932:
      return u"秘密pw";
    case 949:
      return u"비밀pw";
    case 936:
      return u"密码pw";
    case 950:
      return u"密碼pw";
    default:
      return u"sécret";
  }
}

// The names the reader's rules give the archive's entries: decoded by the trial
// order, "\" a separator for names from MS-DOS and NTFS hosts.
QSet<QString> decodedNames(const std::string& archive) {
  QSet<QString> names;
  auto reader = CVNZipFileReader::withZipFileAtPath(archive);
  if (!reader) return names;
  while (auto header = reader->readCentralFileHeader()) {
    QString name = QString::fromStdU16String(header->fileNameString().value_or(u"?"));
    const unsigned host = header->versionMadeBy() >> 8;
    if (host == 0 || host == 11) name.replace(u'\\', u'/');
    names.insert(name);
  }
  return names;
}

void runJob(const std::shared_ptr<CVNOperation>& job) {
  CVNOperationQueue queue(2);
  queue.addOperation(job);
  ASSERT_TRUE(CVNSpinUntil([&] { return queue.operations().empty(); }));
}

using RoundTripCase = std::tuple<int64_t, int, bool>;  // code page, escaping row, password

class CVNUnarchiveOperationRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(CVNUnarchiveOperationRoundTrip, GivesBackTheTree) {
  const auto [codepage, escaping, withPassword] = GetParam();
  TempDir dir;
  CVNMakeRoundTripTree(dir.path());

  // As the settings sheet makes the archiving job.
  auto encoder = std::make_shared<CVNPathComponentEncoder>();
  encoder->setEncoding(CVNStringEncodingForWindowsCodepage(codepage));
  encoder->setTriesConvertingToFullwidth(escaping == 9);
  encoder->setCharacterEscapeFormat(escaping == 1 ? "_" : "(U+%04X)");
  const std::u16string password = passwordFor(codepage);
  auto archiving = std::make_shared<CVNArchiveOperation>(std::vector<std::string>{dir / "tree"},
                                                         CVNSymbolicLinkBehaviorExcludes);
  archiving->setIndeterminately(false);
  archiving->setEncoder(encoder);
  if (withPassword) archiving->setPassword(CVNEncodeString(password, encoder->encoding()));
  archiving->setReportsOnlyWarnings(true);
  archiving->setEntrySpecificToMacBehavior(CVNEntrySpecificToMacBehaviorExcludes);
  archiving->setEmptyFolderBehavior(CVNEmptyFolderBehaviorIncludesInArchive);
  runJob(archiving);
  ASSERT_TRUE(archiving->succeeded()) << archiving->result().toStdString();
  const std::string archive = archiving->outputPath();

  // As the application controller makes the extraction job.
  auto extracting = std::make_shared<CVNUnarchiveOperation>(archive);
  extracting->setIndeterminately(false);
  extracting->setReportsOnlyWarnings(true);
  extracting->setEntrySpecificToWindowsBehavior(CVNEntrySpecificToWindowsBehaviorExtracts);
  extracting->setUnrecognizableFileNameBehavior(
      CVNUnrecognizableFileNameBehaviorContinuousWarningAndExtracts);
  int sheets = 0;
  QObject::connect(
      extracting.get(), &CVNUnarchiveOperation::passwordSheetShown, extracting.get(),
      [&] {
        ++sheets;
        extracting->passwordTextField()->setText(QString::fromStdU16String(password));
        extracting->submitPassword();
      },
      Qt::QueuedConnection);
  runJob(extracting);
  ASSERT_TRUE(extracting->succeeded()) << extracting->result().toStdString();
  for (int i = 0; i < extracting->logModel()->count(); ++i) {
    const CVNLogRow& row = extracting->logModel()->row(i);
    EXPECT_NE(row.iconName, QStringLiteral("warning_triangle.png"))
        << row.messageKey.toStdString() << " " << row.argument.value_or(QString()).toStdString();
  }
  EXPECT_EQ(sheets, withPassword ? 1 : 0);
  // The folder "tree" is there already.
  ASSERT_EQ(extracting->outputPath(), dir / "tree 2");

  const QSet<QString> extracted = CVNTreeUnder(dir / "tree 2");
  const QSet<QString> decoded = decodedNames(archive);
  EXPECT_EQ(extracted, decoded) << CVNDescribe(extracted);
  const QSet<QString> archived = CVNRoundTripTreeNames(*encoder);
  if (codepage == 932) {
    EXPECT_EQ(extracted, archived) << CVNDescribe(archived);
  }
  for (const QString& name : archived) {
    bool ascii = true;
    for (QChar c : name) ascii = ascii && c.unicode() < 0x80;
    if (ascii) {
      EXPECT_TRUE(extracted.contains(name)) << name.toStdString();
    }
  }
  EXPECT_EQ(corvana_test::readFile(dir / "tree 2/tree/sub/random.bin"),
            corvana_test::randomBytes(1 << 20, 7));
  EXPECT_EQ(corvana_test::readFile(dir / "tree 2/tree/plain.txt"),
            corvana_test::bytes("text of tree/plain.txt"));
}

INSTANTIATE_TEST_SUITE_P(Rows, CVNUnarchiveOperationRoundTrip,
                         testing::Combine(testing::Values(1252, 932, 949, 936, 950),
                                          testing::Values(1, 5, 9), testing::Bool()),
                         [](const auto& info) {
                           return "cp" + std::to_string(std::get<0>(info.param)) + "_escaping" +
                                  std::to_string(std::get<1>(info.param)) +
                                  (std::get<2>(info.param) ? "_password" : "");
                         });

}  // namespace
