#include "jobs/CVNArchiveOperation.h"

#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QImage>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "JobsTestSupport.h"
#include "engine/CVNPathComponentEncoder.h"
#include "engine/CVNZipFileWriter.h"
#include "engine/io/RVException.h"
#include "engine/io/RVFileSystem.h"
#include "jobs/CVNLocalization.h"
#include "jobs/CVNLogModel.h"
#include "jobs/CVNOperationQueue.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

namespace {

using corvana_test::exists;
using corvana_test::TempDir;
using corvana_test::writeFile;

// A job whose steps the test may interrupt: a hook runs on the worker thread
// just before the step.
class HookedArchiveOperation : public CVNArchiveOperation {
 public:
  using CVNArchiveOperation::CVNArchiveOperation;
  std::function<void(HookedArchiveOperation&)> beforeFirstPass, beforeSecondPass, beforeClose;
  // Runs each time the worker asks whether the job is cancelled; set it before
  // the job is queued or from the worker.
  std::function<void(HookedArchiveOperation&)> onWorkerQuestion;

  bool isCancelled() const override {
    if (QThread::currentThread() != qApp->thread() && onWorkerQuestion)
      onWorkerQuestion(const_cast<HookedArchiveOperation&>(*this));
    return CVNArchiveOperation::isCancelled();
  }

 protected:
  uint64_t firstPass() override {
    if (beforeFirstPass) beforeFirstPass(*this);
    return CVNArchiveOperation::firstPass();
  }
  void secondPass() override {
    if (beforeSecondPass) beforeSecondPass(*this);
    CVNArchiveOperation::secondPass();
  }
  void close() override {
    if (beforeClose) beforeClose(*this);
    CVNArchiveOperation::close();
  }
};

// "(U+%04X)" escapes; code page 1252 without fullwidth forms, or code page 932
// with them (the settings sheet's default level).
std::shared_ptr<CVNPathComponentEncoder> encoderFor(bool japanese = false) {
  auto encoder = std::make_shared<CVNPathComponentEncoder>();
  encoder->setEncoding(japanese ? CVNStringEncoding::WindowsJapanese
                                : CVNStringEncoding::WindowsLatin1);
  encoder->setTriesConvertingToFullwidth(japanese);
  encoder->setCharacterEscapeFormat("(U+%04X)");
  return encoder;
}

// A job as the settings sheet makes it, every row reported.
std::shared_ptr<HookedArchiveOperation> makeJob(
    std::vector<std::string> items,
    CVNSymbolicLinkBehavior links = CVNSymbolicLinkBehaviorExcludes) {
  auto job = std::make_shared<HookedArchiveOperation>(std::move(items), links);
  job->setIndeterminately(false);
  job->setEncoder(encoderFor());
  job->setEntrySpecificToMacBehavior(CVNEntrySpecificToMacBehaviorExcludes);
  job->setEmptyFolderBehavior(CVNEmptyFolderBehaviorIncludesInArchive);
  return job;
}

void run(const std::shared_ptr<HookedArchiveOperation>& job) {
  CVNOperationQueue queue(2);
  queue.addOperation(job);
  ASSERT_TRUE(CVNSpinUntil([&] { return queue.operations().empty(); }));
}

// "<message key> <argument>" per row, start and end rows left out.
std::vector<std::string> rowsOf(const CVNArchiveOperation& job) {
  std::vector<std::string> rows;
  const CVNLogModel& log = *job.logModel();
  for (int i = 0; i < log.count(); ++i) {
    const CVNLogRow& row = log.row(i);
    if (row.messageKey == "Log:圧縮開始" || row.messageKey == "Finished") continue;
    rows.push_back((row.messageKey + " " + row.argument.value_or(QString())).toStdString());
  }
  return rows;
}

// The entry names in archive order, as their bytes.
std::vector<std::string> entriesOf(const std::string& archive) {
  std::vector<std::string> names;
  for (const auto& entry : corvana_test::parseZipArchive(archive, false).entries)
    names.emplace_back(entry.name.begin(), entry.name.end());
  return names;
}

std::vector<std::string> sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// Every folder entry comes after all the entries inside it.
void expectFoldersAfterContents(const std::vector<std::string>& entries) {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!entries[i].ends_with("/")) continue;
    for (size_t j = i + 1; j < entries.size(); ++j)
      EXPECT_FALSE(entries[j].starts_with(entries[i])) << entries[j] << " after " << entries[i];
  }
}

void makeFolder(const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path; }

// --- The archive's name and place ---

struct NamingCase {
  const char* title;
  std::vector<std::string> folders;  // made first, relative to the scratch folder
  std::vector<std::string> files;
  std::vector<std::string> items;   // handed to the job
  std::string archive;              // expected, relative
  std::string requested = archive;  // before a free name is taken
};

class Naming : public testing::TestWithParam<NamingCase> {};

TEST_P(Naming, BaseItemNamesTheArchiveBesideIt) {
  const NamingCase& c = GetParam();
  TempDir dir;
  for (const auto& folder : c.folders) makeFolder(dir / folder);
  for (const auto& file : c.files) writeFile(dir / file, "data");
  std::vector<std::string> items;
  for (const auto& item : c.items) items.push_back(dir / item);
  EXPECT_EQ(CVNArchiveOperation::archivePath(items, *encoderFor()), dir / c.requested);
  auto job = makeJob(items);
  run(job);
  EXPECT_TRUE(job->succeeded()) << job->result().toStdString();
  EXPECT_EQ(job->outputPath(), dir / c.archive);
  EXPECT_TRUE(exists(dir / c.archive));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Naming,
    testing::Values(
        NamingCase{"ShortestParentWins",
                   {"a", "a/b"},
                   {"a/b/x.txt", "a/y.txt"},
                   {"a/b/x.txt", "a/y.txt"},
                   "a/y.zip"},
        NamingCase{
            "FirstAmongEquals", {"a"}, {"a/x.txt", "a/y.txt"}, {"a/x.txt", "a/y.txt"}, "a/x.zip"},
        NamingCase{"FolderKeepsItsWholeName",
                   {"photos.2024"},
                   {"photos.2024/p.jpg"},
                   {"photos.2024"},
                   "photos.2024.zip"},
        NamingCase{"FileLosesItsExtension", {}, {"report.txt"}, {"report.txt"}, "report.zip"},
        NamingCase{"SecondRunTakesAFreeName",
                   {},
                   {"report.txt", "report.zip"},
                   {"report.txt"},
                   "report 2.zip",
                   "report.zip"},
        NamingCase{"NameEncodedForWindows", {}, {"a?b.txt"}, {"a?b.txt"}, "a(U+003F)b.zip"}),
    [](const auto& info) { return std::string(info.param.title); });

// --- Archive names longer than the file system takes ---

std::string repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

struct LongNameCase {
  const char* title;
  std::string item;     // made in the scratch folder; a folder when it ends in "/"
  bool japanese;        // code page 932, else 1252
  std::string archive;  // expected
  std::vector<std::string> existing = {};  // files already beside it
};

void PrintTo(const LongNameCase& c, std::ostream* os) { *os << c.title; }

class LongNames : public testing::TestWithParam<LongNameCase> {};

// The archive is cut at whole characters of the item's name, keeps ".zip", and
// leaves room within the folder's 255 bytes for a free-name number.
TEST_P(LongNames, AreCutToTheFolderLimitWithRoomForANumber) {
  const LongNameCase& c = GetParam();
  TempDir dir;
  if (RVMaximumNameLength(dir.path()) != 255)
    GTEST_SKIP() << "the scratch folder's names are not limited to 255 bytes";
  std::string item = dir / c.item;
  if (item.ends_with("/")) {
    item.pop_back();
    makeFolder(item);
    writeFile(item + "/x.txt", "x");
  } else {
    writeFile(item, "x");
  }
  for (const auto& name : c.existing) writeFile(dir / name, "taken");
  auto job = makeJob({item});
  job->setEncoder(encoderFor(c.japanese));
  run(job);
  ASSERT_TRUE(job->succeeded()) << job->result().toStdString();
  EXPECT_EQ(job->outputPath(), dir / c.archive);
  EXPECT_TRUE(exists(dir / c.archive));
  EXPECT_EQ(entriesOf(dir / c.archive).size(), c.item.ends_with("/") ? 2u : 1u);
}

// Every character becomes an eight-byte escape: 35 make 284 bytes with ".zip";
// 30 make 244, and " 9999" still fits.
const std::string kLongReport = repeated("営業報告書", 7) + ".docx";
const std::string kReportCut = repeated("(U+55B6)(U+696D)(U+5831)(U+544A)(U+66F8)", 6);

INSTANTIATE_TEST_SUITE_P(
    Cases, LongNames,
    testing::ValuesIn(std::vector<LongNameCase>{
        {"EscapedInCodePage1252", kLongReport, false, kReportCut + ".zip"},
        {"NumberedBesideTheCutName",
         kLongReport,
         false,
         kReportCut + " 2.zip",
         {kReportCut + ".zip"}},
        // 84 kanji of three bytes and ".zip" make 256 bytes; 82 make 250.
        {"FolderInCodePage932", repeated("漢", 84) + "/", true, repeated("漢", 82) + ".zip"},
        // A decomposed accent is one character: the cut never leaves its "e"
        // behind without the escape of the composed letter.
        {"DecomposedAccentsStayWhole", repeated("e\xcc\x81", 80) + ".txt", true,
         repeated("(U+00E9)", 30) + ".zip"},
        // Bytes that are not UTF-8 are one character each, shown as U+FFFD.
        {"NotUTF8", std::string(200, '\xff') + ".txt", false, repeated("(U+FFFD)", 30) + ".zip"},
        // A name that fits, but not with a number beside it.
        {"PlainNameNearTheLimit", std::string(250, 'n') + ".txt", false,
         std::string(246, 'n') + ".zip"}}),
    [](const auto& info) { return std::string(info.param.title); });

TEST(CVNArchiveOperation, VanishedItemGivesAnEmptyArchiveAndAWarning) {
  TempDir dir;
  auto job = makeJob({dir / "gone.txt"});
  run(job);
  EXPECT_TRUE(job->succeeded());
  EXPECT_EQ(job->outputPath(), dir / "gone.zip");
  EXPECT_EQ(rowsOf(*job), std::vector<std::string>{"Log:存在しないパス gone.txt"});
  EXPECT_TRUE(entriesOf(dir / "gone.zip").empty());
  EXPECT_EQ(job->warningCount(), 1u);
}

// --- What the walk hands on ---

struct WalkCase {
  const char* title;
  CVNEmptyFolderBehavior emptyFolders;
  CVNEntrySpecificToMacBehavior macOnly;
  std::vector<std::string> entries;  // sorted
  std::vector<std::string> rows;
};

class MacOnlyFolder : public testing::TestWithParam<WalkCase> {};

TEST_P(MacOnlyFolder, FollowsTheBehaviours) {
  const WalkCase& c = GetParam();
  TempDir dir;
  makeFolder(dir / "f");
  writeFile(dir / "f/.DS_Store", "mac");
  auto job = makeJob({dir / "f"});
  job->setEmptyFolderBehavior(c.emptyFolders);
  job->setEntrySpecificToMacBehavior(c.macOnly);
  run(job);
  ASSERT_TRUE(job->succeeded()) << job->result().toStdString();
  EXPECT_EQ(sorted(entriesOf(dir / "f.zip")), c.entries);
  EXPECT_EQ(rowsOf(*job), c.rows);
}

INSTANTIATE_TEST_SUITE_P(Cases, MacOnlyFolder,
                         testing::Values(WalkCase{"SheetIgnoringEmptyFolders",
                                                  CVNEmptyFolderBehaviorExcludes,
                                                  CVNEntrySpecificToMacBehaviorExcludes,
                                                  {},
                                                  {}},
                                         WalkCase{"EmptyFolderWarned",
                                                  CVNEmptyFolderBehaviorExcludesWithWarning,
                                                  CVNEntrySpecificToMacBehaviorExcludes,
                                                  {},
                                                  {"Skipped f"}},
                                         WalkCase{"EmptyFolderKept",
                                                  CVNEmptyFolderBehaviorIncludesInArchive,
                                                  CVNEntrySpecificToMacBehaviorExcludes,
                                                  {"f/"},
                                                  {"Log:追加した f"}},
                                         WalkCase{"MacOnlyWarned",
                                                  CVNEmptyFolderBehaviorExcludes,
                                                  CVNEntrySpecificToMacBehaviorExcludesWithWarning,
                                                  {},
                                                  {"Skipped f/.DS_Store"}},
                                         WalkCase{"MacOnlyKept",
                                                  CVNEmptyFolderBehaviorExcludes,
                                                  CVNEntrySpecificToMacBehaviorIncludesInArchive,
                                                  {"f/", "f/.DS_Store"},
                                                  {"Log:追加した f/.DS_Store", "Log:追加した f"}}),
                         [](const auto& info) { return std::string(info.param.title); });

TEST(CVNArchiveOperation, DroppedMacOnlyFolderIsLeftOutWithAFinalSlash) {
  TempDir dir;
  makeFolder(dir / ".Trashes");
  writeFile(dir / ".Trashes/x", "x");
  auto job = makeJob({dir / ".Trashes/"});
  job->setEntrySpecificToMacBehavior(CVNEntrySpecificToMacBehaviorExcludesWithWarning);
  run(job);
  ASSERT_TRUE(job->succeeded());
  EXPECT_EQ(rowsOf(*job), std::vector<std::string>{"Skipped .Trashes"});
  EXPECT_TRUE(entriesOf(job->outputPath()).empty());
}

TEST(CVNArchiveOperation, FolderComesAfterItsContents) {
  TempDir dir;
  makeFolder(dir / "f");
  makeFolder(dir / "f/g");
  writeFile(dir / "f/a.txt", "a");
  writeFile(dir / "f/g/b.txt", "b");
  auto job = makeJob({dir / "f"});
  run(job);
  ASSERT_TRUE(job->succeeded());
  const auto entries = entriesOf(dir / "f.zip");
  EXPECT_EQ(sorted(entries), (std::vector<std::string>{"f/", "f/a.txt", "f/g/", "f/g/b.txt"}));
  expectFoldersAfterContents(entries);
  const auto rows = rowsOf(*job);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows.back(), "Log:追加した f");
  const auto g = std::find(rows.begin(), rows.end(), "Log:追加した f/g");
  const auto b = std::find(rows.begin(), rows.end(), "Log:追加した f/g/b.txt");
  EXPECT_LT(b, g);
  EXPECT_EQ(job->numberOfDirectories(), 2u);
  EXPECT_EQ(job->numberOfFiles(), 2u);
  EXPECT_EQ(job->currentValue(), 2u);
  EXPECT_EQ(job->maxValue(), 2u);
}

// --- Symbolic links ---

struct LinkCase {
  const char* title;
  CVNSymbolicLinkBehavior behavior;
  std::vector<std::string> entries;  // sorted
};

class Links : public testing::TestWithParam<LinkCase> {};

// d/ holds t.txt, s/u.txt, a link l to t.txt and a link m to s.
TEST_P(Links, FollowTheBehaviour) {
  const LinkCase& c = GetParam();
  TempDir dir;
  makeFolder(dir / "d");
  makeFolder(dir / "d/s");
  writeFile(dir / "d/t.txt", "target");
  writeFile(dir / "d/s/u.txt", "u");
  ASSERT_EQ(::symlink("t.txt", (dir / "d/l").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "d/s").c_str(), (dir / "d/m").c_str()), 0);
  auto job = makeJob({dir / "d"}, c.behavior);
  run(job);
  ASSERT_TRUE(job->succeeded()) << job->result().toStdString();
  const auto entries = entriesOf(dir / "d.zip");
  EXPECT_EQ(sorted(entries), c.entries);
  expectFoldersAfterContents(entries);
  if (c.behavior != CVNSymbolicLinkBehaviorExcludes) {
    // The link's entry holds the target's data.
    const auto parsed = corvana_test::parseZipArchive(dir / "d.zip", false);
    for (const auto& entry : parsed.entries)
      if (std::string(entry.name.begin(), entry.name.end()) == "d/l") {
        EXPECT_EQ(entry.uncompressedSize, 6u);
      }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Links,
    testing::Values(LinkCase{"Excluded",
                             CVNSymbolicLinkBehaviorExcludes,
                             {"d/", "d/s/", "d/s/u.txt", "d/t.txt"}},
                    LinkCase{"OwnPath",
                             CVNSymbolicLinkBehaviorIncludesInArchive,
                             {"d/", "d/l", "d/m/", "d/s/", "d/s/u.txt", "d/t.txt"}},
                    LinkCase{"Resolved",
                             CVNSymbolicLinkBehaviorResolves,
                             {"d/", "d/l", "d/m/", "d/m/u.txt", "d/s/", "d/s/u.txt", "d/t.txt"}}),
    [](const auto& info) { return std::string(info.param.title); });

struct BadLinkCase {
  const char* title;
  std::string target;  // relative to the scratch folder; "" for a dangling link
};

class UnresolvableLinks : public testing::TestWithParam<BadLinkCase> {};

TEST_P(UnresolvableLinks, FailTheJobAndRemoveTheArchive) {
  TempDir dir;
  makeFolder(dir / "d");
  makeFolder(dir / "d/e");
  writeFile(dir / "d/e/x.txt", "x");
  const std::string target = GetParam().target.empty() ? dir / "nowhere" : dir / GetParam().target;
  ASSERT_EQ(::symlink(target.c_str(), (dir / "d/e/loop").c_str()), 0);
  auto job = makeJob({dir / "d"}, CVNSymbolicLinkBehaviorResolves);
  run(job);
  EXPECT_FALSE(job->succeeded());
  const std::string reason =
      CVNLocalizedStringWithFormat("Unable to resolve symbolic link %@",
                                   {QString::fromStdString(dir / "d/e/loop")})
          .toStdString();
  EXPECT_EQ(job->result().toStdString(), reason);
  EXPECT_EQ(rowsOf(*job).back(), "Error " + reason);
  EXPECT_FALSE(exists(dir / "d.zip"));
}

INSTANTIATE_TEST_SUITE_P(Cases, UnresolvableLinks,
                         testing::Values(BadLinkCase{"Dangling", ""},
                                         BadLinkCase{"LoopToItsOwnFolder", "d/e"},
                                         BadLinkCase{"LoopToTheDroppedFolder", "d"}),
                         [](const auto& info) { return std::string(info.param.title); });

TEST(CVNArchiveOperation, LinkToASiblingFolderIsNoLoop) {
  TempDir dir;
  makeFolder(dir / "d");
  makeFolder(dir / "d/a");
  writeFile(dir / "d/a/x.txt", "x");
  ASSERT_EQ(::symlink((dir / "d/a").c_str(), (dir / "d/b").c_str()), 0);
  auto job = makeJob({dir / "d"}, CVNSymbolicLinkBehaviorResolves);
  run(job);
  ASSERT_TRUE(job->succeeded()) << job->result().toStdString();
  EXPECT_EQ(sorted(entriesOf(dir / "d.zip")),
            (std::vector<std::string>{"d/", "d/a/", "d/a/x.txt", "d/b/", "d/b/x.txt"}));
}

// --- Names ---

struct NameCase {
  const char* title;
  std::string name;  // of the item inside folder p
  bool isFolder;
  std::string entry;              // expected below "p/", without a folder's "/"
  std::vector<std::string> rows;  // before the row of p itself
};

class Names : public testing::TestWithParam<NameCase> {};

// The item lies in the dropped folder p, so that the archive is p.zip whatever
// the item's name.
TEST_P(Names, AreEncodedCutAndReported) {
  const NameCase& c = GetParam();
  TempDir dir;
  makeFolder(dir / "p");
  if (c.isFolder) {
    makeFolder(dir / ("p/" + c.name));
  } else {
    writeFile(dir / ("p/" + c.name), "x");
  }
  auto job = makeJob({dir / "p"});
  run(job);
  ASSERT_TRUE(job->succeeded()) << job->result().toStdString();
  EXPECT_EQ(entriesOf(job->outputPath()),
            (std::vector<std::string>{"p/" + c.entry + (c.isFolder ? "/" : ""), "p/"}));
  auto rows = c.rows;
  rows.push_back("Log:追加した p");
  EXPECT_EQ(rowsOf(*job), rows);
}

const std::string k40Questions(40, '?');
const std::string kEscaped40 = repeated("(U+003F)", 40);
const std::string kFileCut = "a" + kEscaped40.substr(0, 254);

INSTANTIATE_TEST_SUITE_P(
    Cases, Names,
    testing::Values(
        NameCase{"Plain", "plain.txt", false, "plain.txt", {"Log:追加した p/plain.txt"}},
        NameCase{"Adjusted",
                 "a:b.txt",
                 false,
                 "a(U+002F)b.txt",
                 {"Log:Windows向けにパスを修正した p/a:b.txt", "Log:追加した p/a:b.txt"}},
        // Decomposed as a Mac stores it, composed by the encoder: no change.
        NameCase{"DecomposedIsNoChange",
                 "cafe\xcc\x81.txt",
                 false,
                 "caf\xe9.txt",
                 {"Log:追加した p/cafe\xcc\x81.txt"}},
        // 40 "?" become 320 units: the file's name is cut to 255, its extension
        // lost, and "p/" makes the entry 257 units long.
        NameCase{"FileCutTo255",
                 "a" + k40Questions + ".txt",
                 false,
                 kFileCut,
                 {"Log:Windows向けにパスを修正した p/a" + k40Questions + ".txt",
                  "Log:追加した p/a" + k40Questions + ".txt", "Log:パスが長すぎる p/" + kFileCut}},
        NameCase{"FolderCutTo244",
                 "a" + k40Questions,
                 true,
                 "a" + kEscaped40.substr(0, 243),
                 {"Log:Windows向けにパスを修正した p/a" + k40Questions,
                  "Log:追加した p/a" + k40Questions}}),
    [](const auto& info) { return std::string(info.param.title); });

// The entry is "d/" + the name: 254 units make 256 (accepted), 255 make 257.
TEST(CVNArchiveOperation, EntryNamesFrom257UnitsAreReported) {
  for (size_t length : {254u, 255u}) {
    TempDir dir;
    makeFolder(dir / "d");
    const std::string name(length, 'n');
    writeFile(dir / ("d/" + name), "x");
    auto job = makeJob({dir / "d"});
    run(job);
    ASSERT_TRUE(job->succeeded());
    std::vector<std::string> expected{"Log:追加した d/" + name};
    if (length == 255) expected.push_back("Log:パスが長すぎる d/" + name);
    expected.push_back("Log:追加した d");
    EXPECT_EQ(rowsOf(*job), expected) << length;
  }
}

// --- Reports, status and summary ---

TEST(CVNArchiveOperation, OnlyWarningsLeaveOutTheAddedRowsButCountEverything) {
  TempDir dir;
  makeFolder(dir / "d");
  writeFile(dir / "d/a.txt", "aa");
  writeFile(dir / "d/b?.txt", "bbb");
  auto job = makeJob({dir / "d"});
  job->setReportsOnlyWarnings(true);
  EXPECT_FALSE(job->isWarned());
  run(job);
  ASSERT_TRUE(job->succeeded());
  EXPECT_EQ(rowsOf(*job), std::vector<std::string>{"Log:Windows向けにパスを修正した d/b?.txt"});
  EXPECT_TRUE(job->isWarned());
  EXPECT_EQ(job->numberOfFiles(), 2u);
  EXPECT_EQ(job->numberOfDirectories(), 1u);
  EXPECT_EQ(job->result(), QStringLiteral("5 B (2 files, 1 folder)"));
  EXPECT_EQ(job->status().toStdString(), dir / "d.zip");
}

TEST(CVNArchiveOperation, StatusNamesTheFirstItemAndHowManyFollow) {
  CVNArchiveOperation two({"/x/a", "/b"}, CVNSymbolicLinkBehaviorExcludes);
  EXPECT_EQ(two.status(), QStringLiteral("/x/a and 1 more item"));
  CVNArchiveOperation three({"/x/a", "/b", "/c"}, CVNSymbolicLinkBehaviorExcludes);
  EXPECT_EQ(three.status(), QStringLiteral("/x/a and 2 more items"));
  CVNArchiveOperation single({"/x/\xff"}, CVNSymbolicLinkBehaviorExcludes);
  EXPECT_EQ(single.status(), QStringLiteral(u"/x/\uFFFD"));
  EXPECT_EQ(single.logWindow()->windowTitle(), single.status());
}

TEST(CVNArchiveOperation, DefaultsAreTheJobsOwn) {
  CVNArchiveOperation job({"/a"}, CVNSymbolicLinkBehaviorResolves);
  EXPECT_EQ(job.compressionLevel(), -1);
  EXPECT_EQ(job.splitSize(), 0u);
  EXPECT_EQ(job.entrySpecificToMacBehavior(), CVNEntrySpecificToMacBehaviorExcludesWithWarning);
  EXPECT_EQ(job.emptyFolderBehavior(), CVNEmptyFolderBehaviorExcludesWithWarning);
  EXPECT_TRUE(job.reportsAdjustingEntryNameToWindows());
  EXPECT_FALSE(job.reportsOnlyWarnings());
  EXPECT_TRUE(job.indeterminately());
  EXPECT_EQ(job.symbolicLinkBehavior(), CVNSymbolicLinkBehaviorResolves);
  EXPECT_EQ(corvana_test::raisedName(
                [&] { job.setEmptyFolderBehavior(static_cast<CVNEmptyFolderBehavior>(3)); }),
            RVInternalInconsistencyException);
}

TEST(CVNArchiveOperation, OnePassModeWritesTheSameArchive) {
  TempDir dir;
  makeFolder(dir / "d");
  writeFile(dir / "d/a.txt", "aa");
  auto job = makeJob({dir / "d"});
  job->setIndeterminately(true);
  run(job);
  ASSERT_TRUE(job->succeeded());
  EXPECT_EQ(entriesOf(dir / "d.zip"), (std::vector<std::string>{"d/a.txt", "d/"}));
  EXPECT_EQ(job->result(), QStringLiteral("2 B (1 file, 1 folder)"));
}

TEST(CVNArchiveOperation, CommentInTheCodePage) {
  TempDir dir;
  writeFile(dir / "a.txt", "a");
  auto job = makeJob({dir / "a.txt"});
  job->setZipComment(QStringLiteral(u"caf\u00e9"));
  run(job);
  ASSERT_TRUE(job->succeeded());
  const auto archive = corvana_test::readFile(dir / "a.zip");
  const std::string tail(archive.end() - 4, archive.end());
  EXPECT_EQ(tail, "caf\xe9");
}

// --- Failures ---

enum class Interrupt { FirstPass, SecondPass, Close, OnePass };

struct CancelCase {
  const char* title;
  Interrupt at;
};

class Cancellation : public testing::TestWithParam<CancelCase> {};

TEST_P(Cancellation, RemovesTheArchive) {
  TempDir dir;
  makeFolder(dir / "d");
  for (const char* name : {"a", "b", "c"})
    writeFile(dir / (std::string("d/") + name), std::string(1000, 'x'));
  auto job = makeJob({dir / "d"});
  const Interrupt at = GetParam().at;
  job->setIndeterminately(at == Interrupt::OnePass);
  auto cancel = [](HookedArchiveOperation& j) { j.cancel(); };
  if (at == Interrupt::FirstPass) job->beforeFirstPass = cancel;
  if (at == Interrupt::Close) job->beforeClose = cancel;
  if (at == Interrupt::SecondPass || at == Interrupt::OnePass) {
    // After the first entry has gone into the archive.
    job->onWorkerQuestion = [&dir](HookedArchiveOperation& j) {
      if (exists(dir / "d.zip") && j.numberOfFiles() == 1) j.cancel();
    };
  }
  run(job);
  EXPECT_FALSE(job->succeeded());
  EXPECT_EQ(job->result(), CVNLocalizedString("Cancelled"));
  EXPECT_EQ(job->resultTextColor(), QColor(Qt::red));
  EXPECT_EQ(rowsOf(*job).back(), "Failed " + CVNLocalizedString("Cancelled").toStdString());
  EXPECT_EQ(job->status().toStdString(), dir / "d");
  EXPECT_FALSE(exists(dir / "d.zip"));
  if (at != Interrupt::FirstPass) {
    EXPECT_GE(job->numberOfFiles(), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Cancellation,
                         testing::Values(CancelCase{"FirstPass", Interrupt::FirstPass},
                                         CancelCase{"SecondPass", Interrupt::SecondPass},
                                         CancelCase{"Closing", Interrupt::Close},
                                         CancelCase{"OnePass", Interrupt::OnePass}),
                         [](const auto& info) { return std::string(info.param.title); });

TEST(CVNArchiveOperation, ItemVanishingAfterTheFirstPassFailsTheJob) {
  TempDir dir;
  makeFolder(dir / "d");
  writeFile(dir / "d/a.txt", "a");
  auto job = makeJob({dir / "d"});
  job->beforeSecondPass = [&](HookedArchiveOperation&) { ::unlink((dir / "d/a.txt").c_str()); };
  run(job);
  EXPECT_FALSE(job->succeeded());
  EXPECT_EQ(rowsOf(*job).back(), "Error No such file or directory (errno = 2)");
  EXPECT_FALSE(exists(dir / "d.zip"));
}

// The item is still there when the job reads its status, gone when the writer
// opens it: the writer's "source missing" is no failure and no row.
TEST(CVNArchiveOperation, ItemVanishingBeforeTheWriterIsCountedAndLogsNothing) {
  TempDir dir;
  writeFile(dir / "a.txt", "a");
  writeFile(dir / "b.txt", "b");
  auto job = makeJob({dir / "a.txt", dir / "b.txt"});
  bool vanished = false;
  // The second pass's first question comes between a.txt's status and its writing.
  job->beforeSecondPass = [&](HookedArchiveOperation& j) {
    j.onWorkerQuestion = [&](HookedArchiveOperation&) {
      if (!std::exchange(vanished, true)) ::unlink((dir / "a.txt").c_str());
    };
  };
  run(job);
  ASSERT_TRUE(job->succeeded()) << job->result().toStdString();
  EXPECT_TRUE(vanished);
  EXPECT_EQ(entriesOf(job->outputPath()), std::vector<std::string>{"b.txt"});
  EXPECT_EQ(rowsOf(*job), std::vector<std::string>{"Log:追加した b.txt"});
  EXPECT_EQ(job->warningCount(), 0u);
  EXPECT_EQ(job->numberOfFiles(), 2u);
  EXPECT_EQ(job->result().toStdString(), "1 B (2 files, 0 folders)");
}

TEST(CVNArchiveOperation, ArchiveThatCannotBeMadeFailsBeforeTheStartRow) {
  TempDir dir;
  writeFile(dir / "file", "not a folder");
  auto job = makeJob({dir / "file/x.txt"});
  run(job);
  EXPECT_FALSE(job->succeeded());
  ASSERT_EQ(job->logModel()->count(), 1);
  EXPECT_EQ(job->logModel()->row(0).messageKey, QStringLiteral("Error"));
  EXPECT_EQ(job->result(), QStringLiteral("Not a directory (errno = 20)"));
}

// Root reads every folder, so the walk runs with an unprivileged file-system
// identity on the job's own thread (setfsuid drops the file capabilities too).
TEST(CVNArchiveOperation, UnreadableFolderFailsWithTheSystemsText) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  makeFolder(dir / "d");
  makeFolder(dir / "d/locked");
  writeFile(dir / "d/locked/x", "x");
  ASSERT_EQ(::chmod((dir / "d/locked").c_str(), 0), 0);
  auto job = makeJob({dir / "d"});
  const bool root = ::geteuid() == 0;
  bool dropped = !root;
  // The queue's worker thread ends with the queue, identity and all.
  if (root) {
    job->beforeFirstPass = [&dropped](HookedArchiveOperation&) {
      ::setfsuid(65534);
      dropped = static_cast<int>(::setfsuid(static_cast<uid_t>(-1))) == 65534;
    };
  }
  run(job);
  if (!dropped) GTEST_SKIP() << "cannot take an unprivileged file-system identity here";
  EXPECT_FALSE(job->succeeded());
  EXPECT_EQ(job->result(), QStringLiteral("Permission denied"));
  EXPECT_EQ(rowsOf(*job).back(), "Error Permission denied");
  EXPECT_FALSE(exists(dir / "d.zip"));
}

// --- The log window ---

class LogWindow : public testing::TestWithParam<const char*> {
 protected:
  void TearDown() override { CVNInstallLocalization(QStringLiteral("en")); }
};

// Screenshots in both languages, for a look at the texts in their columns.
TEST_P(LogWindow, ShowsTheRowsAndToggles) {
  const QString language = QString::fromLatin1(GetParam());
  CVNInstallLocalization(language);
  TempDir dir;
  makeFolder(dir / "d");
  writeFile(dir / "d/a:b.txt", "x");
  writeFile(dir / "d/plain.txt", "y");
  auto job = makeJob({dir / "d", dir / "gone"});
  run(job);
  ASSERT_TRUE(job->succeeded());
  QWidget* window = job->logWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(window->isVisible());
  job->showLogWindow();
  EXPECT_TRUE(window->isVisible());
  const QString first = QString::fromStdString(dir / "d");
  const bool ja = language == u"ja";
  EXPECT_EQ(window->windowTitle(),
            first + (ja ? QStringLiteral(" ほか 1 項目") : QStringLiteral(" and 1 more item")));
  EXPECT_EQ(job->result(), ja ? QStringLiteral("2 B（ファイル 2 個、フォルダ 1 個）")
                              : QStringLiteral("2 B (2 files, 1 folder)"));
  window->resize(640, 240);
  const QString shot =
      CVNSaveScreenshot(window, QStringLiteral("CVNArchiveOperation_log_") + language);
  EXPECT_FALSE(QImage(shot).isNull());
  job->showLogWindow();
  EXPECT_FALSE(window->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Languages, LogWindow, testing::Values("en", "ja"));

}  // namespace
