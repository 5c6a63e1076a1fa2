#include "jobs/CVNUnarchiveOperation.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "JobsTestSupport.h"
#include "engine/CVNZipDecryptor.h"
#include "engine/CVNZipEncryptionKeys.h"
#include "engine/CVNZipFileWriter.h"
#include "jobs/CVNLocalization.h"
#include "jobs/CVNLogModel.h"
#include "jobs/CVNOperationQueue.h"
#include "jobs/CVNStringFromByteCount.h"
#include "support/TestSupport.h"
#include "support/TestZipArchive.h"

namespace {

using corvana_test::Bytes;
using corvana_test::TempDir;
using corvana_test::TestZipBuilder;

// A row as "<icon letter> <message key>[ <argument>]"; the archive's path reads "$A".
std::string rowText(const CVNLogRow& row, const std::string& archive) {
  static const std::map<QString, std::string> letters = {
      {QStringLiteral("box.png"), "S"},         {QStringLiteral("box_okay.png"), "F"},
      {QStringLiteral("gem_okay.png"), "G"},    {QStringLiteral("warning_triangle.png"), "W"},
      {QStringLiteral("error_small.png"), "E"},
  };
  auto letter = letters.find(row.iconName);
  std::string text =
      (letter == letters.end() ? "?" : letter->second) + " " + row.messageKey.toStdString();
  if (row.argument) {
    std::string argument = row.argument->toStdString();
    text += " " + (argument == archive ? "$A" : argument);
  }
  return text;
}

std::vector<std::string> rowsOf(const CVNUnarchiveOperation& job) {
  std::vector<std::string> rows;
  for (int i = 0; i < job.logModel()->count(); ++i)
    rows.push_back(rowText(job.logModel()->row(i), job.path()));
  return rows;
}

// Everything below `folder`, relative, folders with a trailing "/", sorted;
// none when the folder does not exist.
std::optional<std::vector<std::string>> treeOf(const std::string& folder) {
  namespace fs = std::filesystem;
  if (!fs::is_directory(folder)) return std::nullopt;
  std::vector<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    std::string name = fs::relative(item.path(), folder).string();
    names.push_back(item.is_directory() ? name + "/" : name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string defaultFileName() { return CVNLocalizedString("名称不明ファイル").toStdString(); }

// A job in two passes.
std::shared_ptr<CVNUnarchiveOperation> twoPassJob(const std::string& archive) {
  auto job = std::make_shared<CVNUnarchiveOperation>(archive);
  job->setIndeterminately(false);
  return job;
}

// Queues the job and runs the event loop until it has left the queue.
void runJob(const std::shared_ptr<CVNUnarchiveOperation>& job, int timeoutMs = 20000) {
  CVNOperationQueue queue(2);
  queue.addOperation(job);
  ASSERT_TRUE(CVNSpinUntil([&] { return queue.operations().empty(); }, timeoutMs));
}

struct Entry {
  std::string name;  // bytes as stored
  std::string data;
};

std::string writeStoredArchive(const std::string& path, const std::vector<Entry>& entries) {
  TestZipBuilder builder;
  for (const Entry& e : entries) builder.add(e.name, e.data);
  corvana_test::writeFile(path, builder.archive());
  return path;
}

// Entries from the engine's writer (deflated unless `level` is 0), encrypted
// when a password (bytes) is given.
std::string writeEngineArchive(const TempDir& scratch, const std::string& path,
                               const std::vector<Entry>& entries,
                               const std::optional<std::string>& password, int level = -1) {
  std::filesystem::create_directories(scratch / "sources");
  CVNZipFileWriter writer(path);
  if (password) writer.setPassword(Bytes(password->begin(), password->end()));
  int i = 0;
  for (const Entry& e : entries) {
    const std::string source = scratch / ("sources/" + std::to_string(i++));
    corvana_test::writeFile(source, e.data);
    writer.writeFileName(std::u16string(e.name.begin(), e.name.end()), source, level);
  }
  writer.closeFile();
  return writer.path();
}

// --- The walk's rules and the behaviours that let the job go on ---

struct WalkCase {
  const char* title;
  std::vector<Entry> entries;
  std::vector<std::string> rows;  // each warning row counts once
  std::vector<std::string> tree;  // "{default}" is the default file name
  uint64_t windowsOnly = CVNEntrySpecificToWindowsBehaviorExcludesWithWarning;
  uint64_t unrecognizable = CVNUnrecognizableFileNameBehaviorContinuousWarning;
  bool reportsOnlyWarnings = false;
};

class CVNUnarchiveOperationWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(CVNUnarchiveOperationWalk, RowsAndOutput) {
  const WalkCase& c = GetParam();
  TempDir dir;
  auto job = twoPassJob(writeStoredArchive(dir / "a.zip", c.entries));
  job->setEntrySpecificToWindowsBehavior(c.windowsOnly);
  job->setUnrecognizableFileNameBehavior(c.unrecognizable);
  job->setReportsOnlyWarnings(c.reportsOnlyWarnings);
  runJob(job);

  EXPECT_TRUE(job->succeeded());
  EXPECT_EQ(rowsOf(*job), c.rows);
  EXPECT_EQ(job->warningCount(),
            uint64_t(std::count_if(c.rows.begin(), c.rows.end(),
                                   [](const std::string& row) { return row.starts_with("W "); })));
  std::vector<std::string> tree = c.tree;
  for (std::string& name : tree)
    if (name.starts_with("{default}")) name.replace(0, 9, defaultFileName());
  EXPECT_EQ(treeOf(dir / "a"), tree);
  EXPECT_EQ(job->outputPath(), dir / "a");
  EXPECT_EQ(job->status().toStdString(), dir / "a");
  uint64_t bytes = 0;
  for (const auto& name : tree)
    if (name.back() != '/') bytes += std::filesystem::file_size(dir / ("a/" + name));
  EXPECT_EQ(job->currentValue(), bytes);
  EXPECT_EQ(job->maxValue(), bytes);
  EXPECT_EQ(job->result(), CVNStringFromByteCount(bytes));
}

const std::string kUnreadable = "\x81\xFF";  // no candidate encoding takes it
const std::string kStart = "S Log:展開開始 $A", kFinish = "F Finished $A";
const std::string kCancelled = "E Failed " + CVNLocalizedString("Cancelled").toStdString();

INSTANTIATE_TEST_SUITE_P(
    Rules, CVNUnarchiveOperationWalk,
    ::testing::ValuesIn(std::vector<WalkCase>{
        // The first pass applies the rules too, so each warning comes twice.
        {"WarningsOfBothPasses",
         {{kUnreadable, "abc"}, {"Thumbs.db", "t"}, {"x.txt", "x"}},
         {kStart, "W Log:認識できないパス 3 bytes", "W Skipped", "W Skipped Thumbs.db",
          "W Log:認識できないパス 3 bytes", "W Skipped", "W Skipped Thumbs.db",
          "G Log:展開した x.txt", kFinish},
         {"x.txt"}},
        {"OnlyWindowsEntriesExcluded",
         {{"Thumbs.db", "t"}, {"sub\\Desktop.ini", "d"}, {"DESKTOP.INI", "d"}},
         {kStart, kFinish},
         {},
         CVNEntrySpecificToWindowsBehaviorExcludes},
        {"WindowsEntriesExtracted",
         {{"Thumbs.db", "t"}},
         {kStart, "G Log:展開した Thumbs.db", kFinish},
         {"Thumbs.db"},
         CVNEntrySpecificToWindowsBehaviorExtracts},
        {"UnknownWindowsBehaviourExcludes",
         {{"Thumbs.db", "t"}, {"x.txt", "x"}},
         {kStart, "G Log:展開した x.txt", kFinish},
         {"x.txt"},
         7},
        // Windows separates folders with "\": the last piece is what counts.
        {"WindowsEntryInFolderFromWindows",
         {{"sub\\Thumbs.db", "t"}},
         {kStart, "W Skipped sub\\Thumbs.db", "W Skipped sub\\Thumbs.db", kFinish},
         {}},
        {"UnreadableNameExtractedUnderDefaultName",
         {{kUnreadable, "abc"}},
         {kStart, "W Log:認識できないパス 3 bytes", "W Log:認識できないパス 3 bytes",
          "G Log:展開した", kFinish},
         {"{default}"},
         CVNEntrySpecificToWindowsBehaviorExcludesWithWarning,
         CVNUnrecognizableFileNameBehaviorContinuousWarningAndExtracts},
        {"UnknownUnreadableBehaviourExtracts",
         {{kUnreadable, "abc"}, {kUnreadable, "de"}},
         {kStart, "W Log:認識できないパス 3 bytes", "W Log:認識できないパス 2 bytes",
          "W Log:認識できないパス 3 bytes", "W Log:認識できないパス 2 bytes", kFinish},
         {"{default}", "{default} 2"},
         CVNEntrySpecificToWindowsBehaviorExcludesWithWarning,
         7,
         true},
        {"OnlyWarningsReported",
         {{"x.txt", "x"}, {"sub/", ""}, {"sub/y.txt", "yy"}, {"Thumbs.db", "t"}},
         {kStart, "W Skipped Thumbs.db", "W Skipped Thumbs.db", kFinish},
         {"sub/", "sub/y.txt", "x.txt"},
         CVNEntrySpecificToWindowsBehaviorExcludesWithWarning,
         CVNUnrecognizableFileNameBehaviorContinuousWarning,
         true}}),
    [](const auto& info) { return std::string(info.param.title); });

// --- Behaviours that stop the job, and their going-on counterparts ---

enum class Fault { DamagedData, FailedCheck, UnreadableName };

struct StopCase {
  const char* title;
  Fault fault;
  uint64_t behaviour;                  // of the fault's kind
  std::vector<std::string> rows;       // a stop's end with "E Failed "
  const char* result;                  // when it stops: the last warning's words
  std::vector<std::string> tree = {};  // when it goes on
};

class CVNUnarchiveOperationStop : public ::testing::TestWithParam<StopCase> {};

TEST_P(CVNUnarchiveOperationStop, StopsAndRemovesFolderOrGoesOn) {
  const StopCase& c = GetParam();
  TempDir dir;
  const std::string badName = c.fault == Fault::DamagedData      ? "../evil.txt"
                              : c.fault == Fault::UnreadableName ? kUnreadable
                                                                 : "bad.txt";
  writeStoredArchive(dir / "a.zip", {{"x.txt", "x"}, {badName, "bad"}, {"y.txt", "y"}});
  if (c.fault == Fault::FailedCheck) {
    // One byte of the second entry's stored data changed: the CRC check fails.
    // Local headers are 30 bytes and the name; "x.txt" holds one byte.
    Bytes bytes = corvana_test::readFile(dir / "a.zip");
    bytes[30 + 5 + 1 + 30 + badName.size()] ^= 0x20;
    corvana_test::writeFile(dir / "a.zip", bytes);
  }
  auto job = twoPassJob(dir / "a.zip");
  switch (c.fault) {
    case Fault::DamagedData:
      job->setIncorrectFileDataBehavior(c.behaviour);
      break;
    case Fault::FailedCheck:
      job->setVerificationErrorBehavior(c.behaviour);
      break;
    case Fault::UnreadableName:
      job->setUnrecognizableFileNameBehavior(c.behaviour);
      break;
  }
  runJob(job);

  const bool stops = c.rows.back() == "E Failed ";
  EXPECT_EQ(rowsOf(*job), c.rows);
  EXPECT_EQ(job->succeeded(), !stops);
  if (stops) {
    EXPECT_EQ(treeOf(dir / "a"), std::nullopt) << "the folder stays after the stop";
    EXPECT_EQ(job->result(), QString::fromUtf8(c.result));
    EXPECT_EQ(job->status().toStdString(), dir / "a.zip");
  } else {
    EXPECT_EQ(treeOf(dir / "a"), c.tree);
  }
}

const std::vector<std::string> kXY = {"x.txt", "y.txt"};
const std::vector<std::string> kDamagedGoesOn = {kStart, "G Log:展開した x.txt",
                                                 "W Log:データが壊れている ../evil.txt",
                                                 "G Log:展開した y.txt", kFinish};

INSTANTIATE_TEST_SUITE_P(
    Behaviours, CVNUnarchiveOperationStop,
    ::testing::ValuesIn(std::vector<StopCase>{
        {"DamagedDataStops",
         Fault::DamagedData,
         CVNIncorrectFileDataBehaviorError,
         {kStart, "G Log:展開した x.txt", "W Log:データが壊れている ../evil.txt", "E Failed "},
         "Damaged data: ../evil.txt"},
        {"DamagedDataGoesOn", Fault::DamagedData, 0, kDamagedGoesOn, "", kXY},
        {"DamagedDataUnknownValueGoesOn", Fault::DamagedData, 9, kDamagedGoesOn, "", kXY},
        {"FailedCheckStops",
         Fault::FailedCheck,
         CVNVerificationErrorBehaviorError,
         {kStart, "G Log:展開した x.txt", "G Log:展開した bad.txt",
          "W Log:データの検証に失敗 bad.txt", "E Failed "},
         "Data check failed: bad.txt"},
        // The file that failed its check stays.
        {"FailedCheckGoesOn",
         Fault::FailedCheck,
         3,
         {kStart, "G Log:展開した x.txt", "G Log:展開した bad.txt",
          "W Log:データの検証に失敗 bad.txt", "G Log:展開した y.txt", kFinish},
         "",
         {"bad.txt", "x.txt", "y.txt"}},
        // Stops in the first pass, before anything is extracted.
        {"UnreadableNameStops",
         Fault::UnreadableName,
         CVNUnrecognizableFileNameBehaviorError,
         {kStart, "W Log:認識できないパス 3 bytes", "E Failed "},
         "File name not readable: 3 bytes"}}),
    [](const auto& info) { return std::string(info.param.title); });

// --- Files the reader does not take, and the free folder name ---

struct NotArchiveCase {
  const char* title;
  Bytes content;
};

class CVNUnarchiveOperationNotArchive : public ::testing::TestWithParam<NotArchiveCase> {};

TEST_P(CVNUnarchiveOperationNotArchive, FailsWithoutFolder) {
  TempDir dir;
  corvana_test::writeFile(dir / "a.zip", GetParam().content);
  auto job = twoPassJob(dir / "a.zip");
  runJob(job);
  EXPECT_FALSE(job->succeeded());
  EXPECT_EQ(rowsOf(*job), (std::vector<std::string>{"W Log:Zipファイルではない $A", "E Failed "}));
  EXPECT_EQ(job->result().toStdString(), "Not a Zip archive: " + dir / "a.zip");
  EXPECT_EQ(job->warningCount(), 2u);
  EXPECT_EQ(corvana_test::listFolder(dir.path()), std::vector<std::string>{"a.zip"});
  EXPECT_EQ(job->outputPath(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, CVNUnarchiveOperationNotArchive,
    ::testing::Values(NotArchiveCase{"Text", corvana_test::bytes(std::string(100, 'x'))},
                      NotArchiveCase{"NoEntries", TestZipBuilder().archive()},
                      NotArchiveCase{"Empty", {}}),
    [](const auto& info) { return std::string(info.param.title); });

TEST(CVNUnarchiveOperation, MissingArchiveIsAnError) {
  TempDir dir;
  auto job = twoPassJob(dir / "gone.zip");
  runJob(job);
  EXPECT_FALSE(job->succeeded());
  ASSERT_EQ(rowsOf(*job).size(), 1u);
  EXPECT_EQ(rowsOf(*job)[0].substr(0, 8), "E Error ");
  EXPECT_EQ(corvana_test::listFolder(dir.path()), std::vector<std::string>{});
}

TEST(CVNUnarchiveOperation, TakenFolderNameGetsNumber) {
  TempDir dir;
  std::filesystem::create_directory(dir / "a");
  writeStoredArchive(dir / "a.zip", {{"x.txt", "x"}});
  auto job = twoPassJob(dir / "a.zip");
  runJob(job);
  EXPECT_TRUE(job->succeeded());
  EXPECT_EQ(job->outputPath(), dir / "a 2");
  EXPECT_EQ(treeOf(dir / "a"), std::vector<std::string>{});
  EXPECT_EQ(treeOf(dir / "a 2"), std::vector<std::string>{"x.txt"});
}

TEST(CVNUnarchiveOperation, OnePassShowsRunningSummary) {
  TempDir dir;
  writeStoredArchive(dir / "a.zip", {{"x.txt", "xyz"}, {"Thumbs.db", "t"}});
  auto job = std::make_shared<CVNUnarchiveOperation>(dir / "a.zip");
  runJob(job);
  EXPECT_TRUE(job->succeeded());
  // One pass: each warning once.
  EXPECT_EQ(rowsOf(*job), (std::vector<std::string>{kStart, "G Log:展開した x.txt",
                                                    "W Skipped Thumbs.db", kFinish}));
  EXPECT_EQ(job->result(), CVNStringFromByteCount(3));
}

// --- The password loop and its sheet ---

using Answers = std::vector<std::optional<std::string>>;  // none: cancel

// Answers each sheet the job shows from a script, through the sheet's buttons,
// and notes the field's text as the sheet came up, and the sheet's lines: the
// archive's, the entry's, and " again" when it says that the text before was
// not accepted.
struct SheetAnswers {
  Answers answers;
  std::vector<std::string> fieldTexts;
  std::vector<std::string> sheets;
  std::vector<std::string> statuses;  // the job's, as each sheet came up
  size_t next = 0;

  SheetAnswers(CVNUnarchiveOperation& job, Answers script) : answers(std::move(script)) {
    QObject::connect(
        &job, &CVNUnarchiveOperation::passwordSheetShown, &job,
        [this, &job] {
          fieldTexts.push_back(job.passwordTextField()->text().toStdString());
          statuses.push_back(job.status().toStdString());
          QDialog* dialog = job.passwordSheet();
          const auto* askingAgain = dialog->findChild<QLabel*>("askingAgainLabel");
          sheets.push_back(dialog->findChild<QLabel*>("archiveLabel")->text().toStdString() +
                           " / " + dialog->findChild<QLabel*>("entryLabel")->text().toStdString() +
                           (askingAgain->isVisibleTo(dialog) ? " again" : ""));
          EXPECT_TRUE(job.passwordSheet()->isVisible());
          EXPECT_EQ(job.passwordSheet()->focusWidget(), job.passwordTextField());
          const std::optional<std::string> answer =
              next < answers.size() ? answers[next] : std::nullopt;
          ++next;
          if (answer) {
            job.passwordTextField()->setText(QString::fromStdString(*answer));
            job.passwordSheet()->findChild<QPushButton*>("submitPasswordButton")->click();
          } else {
            job.passwordSheet()->findChild<QPushButton*>("cancelPasswordButton")->click();
          }
        },
        Qt::QueuedConnection);
  }
};

struct PasswordCase {
  const char* title;
  std::string password;  // of every entry
  int entries;
  Answers answers;
  std::vector<std::string> fieldTexts;  // as each sheet came up
  bool succeeds;
};

class CVNUnarchiveOperationPassword : public ::testing::TestWithParam<PasswordCase> {};

TEST_P(CVNUnarchiveOperationPassword, AsksUntilRightOrCancelled) {
  const PasswordCase& c = GetParam();
  TempDir dir;
  std::vector<Entry> entries;
  std::vector<std::string> tree;
  std::vector<std::string> rows = {kStart};
  uint64_t bytes = 0;
  for (int i = 0; i < c.entries; ++i) {
    const std::string name = "f" + std::to_string(i) + ".txt";
    entries.push_back({name, "secret data " + std::to_string(i)});
    bytes += entries.back().data.size();
    tree.push_back(name);
    rows.push_back("G Log:展開した " + name);
  }
  rows.push_back(kFinish);
  auto job = twoPassJob(writeEngineArchive(dir, dir / "a.zip", entries, c.password));
  SheetAnswers sheet(*job, c.answers);
  runJob(job);

  EXPECT_EQ(sheet.fieldTexts, c.fieldTexts);
  EXPECT_FALSE(job->passwordSheet()->isVisible());
  EXPECT_EQ(job->succeeded(), c.succeeds);
  if (c.succeeds) {
    EXPECT_EQ(rowsOf(*job), rows);
    EXPECT_EQ(job->currentValue(), bytes);
    EXPECT_EQ(job->result(), CVNStringFromByteCount(bytes));
    EXPECT_EQ(treeOf(dir / "a"), tree);
    for (int i = 0; i < c.entries; ++i)
      EXPECT_EQ(corvana_test::readFile(dir / ("a/" + tree[i])),
                corvana_test::bytes(entries[i].data));
  } else {
    EXPECT_EQ(rowsOf(*job), (std::vector<std::string>{kStart, kCancelled}));
    EXPECT_EQ(job->result(), CVNLocalizedString("Cancelled"));
    EXPECT_EQ(treeOf(dir / "a"), std::nullopt);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, CVNUnarchiveOperationPassword,
    ::testing::Values(
        PasswordCase{"RightAtOnce", "secret", 1, {"secret"}, {""}, true},
        // The field keeps the text typed last.
        PasswordCase{"WrongThenRight", "secret", 1, {"wrong", "secret"}, {"", "wrong"}, true},
        PasswordCase{"TwoEntriesAskOnce", "secret", 2, {"secret"}, {""}, true},
        PasswordCase{"NoLimitOnAttempts",
                     "secret",
                     1,
                     {"w1", "w2", "w3", "w4", "w5", "w6", "w7", "secret"},
                     {"", "w1", "w2", "w3", "w4", "w5", "w6", "w7"},
                     true},
        PasswordCase{"NonAsciiPassword", "パスワード", 2, {"パスワード"}, {""}, true},
        PasswordCase{"EmptyPasswordCounts", "", 1, {""}, {""}, true},
        PasswordCase{"Cancelled", "secret", 2, {std::nullopt}, {""}, false},
        PasswordCase{
            "WrongThenCancelled", "secret", 1, {"wrong", std::nullopt}, {"", "wrong"}, false}),
    [](const auto& info) { return std::string(info.param.title); });

// --- A damaged encrypted entry, and a text typed again for it ---

// Where the bytes of `name` follow a local header (`local`) or a central record.
std::vector<std::pair<size_t, bool>> recordsNamed(const Bytes& archive, const std::string& name) {
  std::vector<std::pair<size_t, bool>> records;
  const Bytes local = {'P', 'K', 3, 4}, central = {'P', 'K', 1, 2};
  for (auto at = std::search(archive.begin(), archive.end(), name.begin(), name.end());
       at != archive.end(); at = std::search(at + 1, archive.end(), name.begin(), name.end())) {
    const size_t i = size_t(at - archive.begin());
    if (i >= 30 && std::equal(local.begin(), local.end(), archive.begin() + i - 30))
      records.push_back({i - 30, true});
    if (i >= 46 && std::equal(central.begin(), central.end(), archive.begin() + i - 46))
      records.push_back({i - 46, false});
  }
  return records;
}

// "ok.txt", "bad.bin" and "after.txt" under "secret", stored or deflated.
// bad.bin's CRC-32 is off by one bit in both headers. Each entry is encrypted
// again under a fixed encryption header: what a wrong password makes of it is
// then the same on every run.
const std::string kBadData(5000, 'b');

std::string writeDamagedEncryptedArchive(const TempDir& dir, int level) {
  const std::string path = writeEngineArchive(
      dir, dir / "a.zip", {{"ok.txt", "ok"}, {"bad.bin", kBadData}, {"after.txt", "after"}},
      "secret", level);
  Bytes archive = corvana_test::readFile(path);
  const Bytes pw = corvana_test::bytes("secret");
  for (const auto& entry : corvana_test::parseZipArchive(path, false).entries) {
    uint8_t* bytes = archive.data() + entry.dataOffset;
    const size_t length = entry.compressedSize;
    CVNZipDecryptor decryptor(pw, std::span<const uint8_t, 12>(bytes, 12));
    Bytes plain = decryptor.decryptedEncryptionHeader();
    for (size_t i = 0; i < 11; ++i) plain[i] = uint8_t(i * 37 + 1);
    plain.insert(plain.end(), bytes + 12, bytes + length);
    decryptor.decryptBytes(plain.data() + 12, int64_t(length - 12));
    CVNZipEncryptionKeys keys = CVNZipEncryptionKeys::withPassword(pw);
    for (size_t i = 0; i < length; ++i) {
      bytes[i] = plain[i] ^ keys.keystreamByte();
      keys.update(plain[i]);
    }
  }
  for (auto [at, local] : recordsNamed(archive, "bad.bin")) archive.at(at + (local ? 14 : 16)) ^= 1;
  corvana_test::writeFile(path, archive);
  return path;
}

struct InsistCase {
  const char* title;
  int level;  // 0 stored, -1 deflated
  Answers answers;
  std::vector<std::string> sheets;  // entry names; "again" when it says so
  std::vector<std::string> rows;
  std::optional<std::string> badBin = {};  // what bad.bin holds: "data", "other" or none
  // The behaviour for this result stops the job.
  CVNZipResult stopsOn = CVNZipResultSucceeded;
};

class CVNUnarchiveOperationInsist : public ::testing::TestWithParam<InsistCase> {};

TEST_P(CVNUnarchiveOperationInsist, TextTypedAgainTakesTheEntryAsItIs) {
  const InsistCase& c = GetParam();
  TempDir dir;
  auto job = twoPassJob(writeDamagedEncryptedArchive(dir, c.level));
  if (c.stopsOn == CVNZipResultDataError)
    job->setIncorrectFileDataBehavior(CVNIncorrectFileDataBehaviorError);
  if (c.stopsOn == CVNZipResultVerificationFailed)
    job->setVerificationErrorBehavior(CVNVerificationErrorBehaviorError);
  SheetAnswers sheet(*job, c.answers);
  runJob(job);

  std::vector<std::string> sheets;
  for (const std::string& s : c.sheets) sheets.push_back("Archive: a.zip / Item: " + s);
  EXPECT_EQ(sheet.sheets, sheets);
  EXPECT_EQ(rowsOf(*job), c.rows);
  const bool succeeds = c.rows.back() == kFinish;
  EXPECT_EQ(job->succeeded(), succeeds);
  std::vector<std::string> tree = {"after.txt", "ok.txt"};
  if (c.badBin) tree.insert(tree.begin() + 1, "bad.bin");
  EXPECT_EQ(treeOf(dir / "a"), succeeds ? std::optional(tree) : std::nullopt);
  if (!succeeds) return;
  EXPECT_EQ(corvana_test::readFile(dir / "a/ok.txt"), corvana_test::bytes("ok"));
  EXPECT_EQ(corvana_test::readFile(dir / "a/after.txt"), corvana_test::bytes("after"));
  if (c.badBin) {
    const Bytes bad = corvana_test::readFile(dir / "a/bad.bin");
    EXPECT_EQ(bad.size(), kBadData.size());
    EXPECT_EQ(bad == corvana_test::bytes(kBadData), *c.badBin == "data");
  }
}

const std::vector<std::string> kKeptWithWarning = {kStart,
                                                   "G Log:展開した ok.txt",
                                                   "G Log:展開した bad.bin",
                                                   "W Log:データの検証に失敗 bad.bin",
                                                   "G Log:展開した after.txt",
                                                   kFinish};
const std::vector<std::string> kStoppedAtCheck = {kStart, "G Log:展開した ok.txt",
                                                  "G Log:展開した bad.bin",
                                                  "W Log:データの検証に失敗 bad.bin", "E Failed "};
const std::vector<std::string> kCancelledAtBad = {kStart, "G Log:展開した ok.txt", kCancelled};

// The text carried over from ok.txt fails; typed once it fails again (not
// tried again: the same bytes); typed twice it is taken.
const Answers kRightTwice = {"secret", "secret", "secret"};
const std::vector<std::string> kAskedAgain = {"ok.txt", "bad.bin", "bad.bin again"};
// After a wrong text typed twice, after.txt asks again: the text is carried over.
const Answers kWrongTwice = {"secret", "wrong", "wrong", "secret"};
const std::vector<std::string> kAskedAgainAndAfter = {"ok.txt", "bad.bin", "bad.bin again",
                                                      "after.txt"};

INSTANTIATE_TEST_SUITE_P(
    DamagedEntry, CVNUnarchiveOperationInsist,
    ::testing::ValuesIn(std::vector<InsistCase>{
        {"StoredRightTextTwice", 0, kRightTwice, kAskedAgain, kKeptWithWarning, "data"},
        {"DeflatedRightTextTwice", -1, kRightTwice, kAskedAgain, kKeptWithWarning, "data"},
        {"StoredStopsAtTheFailedCheck", 0, kRightTwice, kAskedAgain, kStoppedAtCheck, std::nullopt,
         CVNZipResultVerificationFailed},
        {"DeflatedStopsAtTheFailedCheck", -1, kRightTwice, kAskedAgain, kStoppedAtCheck,
         std::nullopt, CVNZipResultVerificationFailed},
        // The trade-off: garbage that fails its check is kept, with the warning.
        {"StoredWrongTextTwice", 0, kWrongTwice, kAskedAgainAndAfter, kKeptWithWarning, "other"},
        {"DeflatedWrongTextTwice",
         -1,
         kWrongTwice,
         kAskedAgainAndAfter,
         {kStart, "G Log:展開した ok.txt", "W Log:データが壊れている bad.bin",
          "G Log:展開した after.txt", kFinish}},
        {"DeflatedWrongTextTwiceStopsAsDamaged",
         -1,
         {"secret", "wrong", "wrong"},
         kAskedAgain,
         {kStart, "G Log:展開した ok.txt", "W Log:データが壊れている bad.bin", "E Failed "},
         {},
         CVNZipResultDataError},
        // The first sheet for an entry never insists, even on the text carried over.
        {"CarriedOverTextTypedOnceStillAsks",
         0,
         {"secret", "secret", std::nullopt},
         kAskedAgain,
         kCancelledAtBad},
        // Only the text of the sheet just before counts.
        {"AnotherTextInBetweenKeepsAsking",
         -1,
         {"secret", "secret", "wrong", "secret", std::nullopt},
         {"ok.txt", "bad.bin", "bad.bin again", "bad.bin again", "bad.bin again"},
         kCancelledAtBad}}),
    [](const auto& info) { return std::string(info.param.title); });

// The sheet names an entry whose name no encoding reads by the default file
// name, and while the worker waits the status names nothing rather than the
// archive or an entry before.
TEST(CVNUnarchiveOperationSheet, UnreadableNameShowsAsTheDefaultFileName) {
  TempDir dir;
  Bytes archive =
      corvana_test::readFile(writeEngineArchive(dir, dir / "a.zip", {{"xy", "data"}}, "secret"));
  for (auto [at, local] : recordsNamed(archive, "xy"))
    std::copy(kUnreadable.begin(), kUnreadable.end(),
              archive.begin() + long(at + (local ? 30 : 46)));
  corvana_test::writeFile(dir / "a.zip", archive);
  auto job = twoPassJob(dir / "a.zip");
  job->setUnrecognizableFileNameBehavior(
      CVNUnrecognizableFileNameBehaviorContinuousWarningAndExtracts);
  SheetAnswers sheet(*job, Answers{"wrong", "secret"});
  runJob(job);
  EXPECT_TRUE(job->succeeded());
  const std::string entry = "Archive: a.zip / Item: " + defaultFileName();
  EXPECT_EQ(sheet.sheets, (std::vector<std::string>{entry, entry + " again"}));
  EXPECT_EQ(sheet.statuses, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(rowsOf(*job), (std::vector<std::string>{kStart, "W Log:認識できないパス 4 bytes",
                                                    "W Log:認識できないパス 4 bytes",
                                                    "G Log:展開した", kFinish}));
  EXPECT_EQ(treeOf(dir / "a"), std::vector<std::string>{defaultFileName()});
}

// --- Progress across password tries, and one try per byte string ---

// Counts every byte the codec credits, taken back or not.
struct CreditCountingOperation : CVNUnarchiveOperation {
  using CVNUnarchiveOperation::CVNUnarchiveOperation;
  void increaseCurrentValue(uint64_t n) override {
    CVNUnarchiveOperation::increaseCurrentValue(n);
    credited += n;
  }
  std::atomic<uint64_t> credited{0};
};

struct TriesCase {
  const char* title;
  int level;
  size_t size;           // of each of the two entries
  std::string password;  // bytes, as written
  Answers answers;
  uint64_t passes;  // over each entry's data, from the first sheet on
};

class CVNUnarchiveOperationTries : public ::testing::TestWithParam<std::tuple<TriesCase, bool>> {};

TEST_P(CVNUnarchiveOperationTries, FailedTriesTakeTheirProgressBack) {
  const auto& [c, onePass] = GetParam();
  TempDir dir;
  const Bytes random = corvana_test::randomBytes(c.size, 7);
  const std::string data(random.begin(), random.end());
  auto job = std::make_shared<CreditCountingOperation>(writeEngineArchive(
      dir, dir / "a.zip", {{"f.bin", data}, {"g.bin", data}}, c.password, c.level));
  job->setIndeterminately(onePass);
  uint64_t told = 0;  // the last value observers were told of
  QObject::connect(job.get(), &CVNOperation::currentValueChanged, job.get(),
                   [&told, &job] { told = job->currentValue(); });
  SheetAnswers sheet(*job, c.answers);
  runJob(job);
  EXPECT_TRUE(job->succeeded());
  EXPECT_EQ(treeOf(dir / "a"), (std::vector<std::string>{"f.bin", "g.bin"}));
  EXPECT_EQ(job->currentValue(), 2 * c.size);
  EXPECT_EQ(told, 2 * c.size);
  EXPECT_EQ(job->result(), CVNStringFromByteCount(2 * c.size));
  if (c.level == 0) {
    EXPECT_EQ(job->credited.load(), c.passes * c.size);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, CVNUnarchiveOperationTries,
    ::testing::Combine(
        ::testing::Values(
            // An ASCII text is one byte string in all six candidate encodings:
            // one pass for "wrong", one for "secret" (the second entry takes it
            // at once).
            TriesCase{"StoredMiBWrongThenRight", 0, 1 << 20, "secret", {"wrong", "secret"}, 3},
            TriesCase{"DeflatedWrongThenRight", -1, 100000, "secret", {"wrong", "secret"}, 0},
            // "café" in code page 1252 comes after code page 936's bytes for it:
            // the text typed once gives a failed pass too, for each entry.
            TriesCase{"Codepage1252Password", 0, 350, "caf\xE9", {"café"}, 4},
            // Three byte strings for "wrongé" (936, 1252, UTF-8), one for the
            // ASCII "other" and "secret".
            TriesCase{
                "DistinctByteStringsOnly", 0, 1000, "secret", {"wrongé", "other", "secret"}, 6}),
        ::testing::Bool()),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).title) +
             (std::get<1>(info.param) ? "_OnePass" : "_TwoPasses");
    });

TEST(CVNUnarchiveOperationSheet, CancelFromOutsideWakesWaitingWorker) {
  TempDir dir;
  auto job = twoPassJob(writeEngineArchive(dir, dir / "a.zip", {{"f.txt", "data"}}, "secret"));
  bool shown = false;
  QObject::connect(job.get(), &CVNUnarchiveOperation::passwordSheetShown, job.get(),
                   [&shown] { shown = true; });
  CVNOperationQueue queue(2);
  queue.addOperation(job);
  ASSERT_TRUE(CVNSpinUntil([&] { return shown; }));
  // As the job tile's cancel does, on the main thread.
  job->cancel();
  ASSERT_TRUE(CVNSpinUntil([&] { return queue.operations().empty(); }, 2000))
      << "the waiting worker did not wake";
  EXPECT_FALSE(job->passwordSheet()->isVisible());
  EXPECT_FALSE(job->succeeded());
  EXPECT_EQ(rowsOf(*job).back(), kCancelled);
  EXPECT_EQ(treeOf(dir / "a"), std::nullopt);
}

TEST(CVNUnarchiveOperationSheet, TwoJobsShowTheirSheetsOneAfterTheOther) {
  TempDir dir;
  QWidget mainWindow;
  mainWindow.resize(480, 300);
  mainWindow.show();
  std::vector<std::shared_ptr<CVNUnarchiveOperation>> jobs;
  for (const char* name : {"a", "b"}) {
    std::filesystem::create_directory(dir / name);
    jobs.push_back(twoPassJob(writeEngineArchive(dir, dir / (std::string(name) + ".zip"),
                                                 {{"f.txt", name}}, std::string(name) + "pw")));
    jobs.back()->setMainWindow(&mainWindow);
  }
  std::vector<int> order;
  int mostVisible = 0;
  auto visibleSheets = [&] {
    int n = 0;
    for (const auto& job : jobs) n += job->passwordSheet()->isVisible() ? 1 : 0;
    return n;
  };
  for (int i = 0; i < 2; ++i) {
    CVNUnarchiveOperation* job = jobs[i].get();
    QObject::connect(job, &CVNUnarchiveOperation::passwordSheetShown, job, [&, i, job] {
      order.push_back(i);
      mostVisible = std::max(mostVisible, visibleSheets());
      EXPECT_EQ(job->passwordSheet()->parentWidget(), &mainWindow);
      EXPECT_EQ(job->passwordSheet()->windowModality(), Qt::WindowModal);
      // Answered late, so that the other job asks meanwhile.
      QTimer::singleShot(300, job, [job, i] {
        job->passwordTextField()->setText(i == 0 ? "apw" : "bpw");
        job->submitPassword();
      });
    });
  }
  CVNOperationQueue queue(2);
  for (const auto& job : jobs) queue.addOperation(job);
  ASSERT_TRUE(CVNSpinUntil([&] { return queue.operations().empty(); }));
  EXPECT_EQ(order.size(), 2u);
  EXPECT_EQ(mostVisible, 1);
  for (const auto& job : jobs) {
    EXPECT_TRUE(job->succeeded());
    // Off the main window once ended: closing the window never takes it.
    EXPECT_EQ(job->passwordSheet()->parentWidget(), nullptr);
  }
  EXPECT_EQ(treeOf(dir / "a 2"), std::vector<std::string>{"f.txt"});
  EXPECT_EQ(treeOf(dir / "b 2"), std::vector<std::string>{"f.txt"});
}

TEST(CVNUnarchiveOperationSheet, JobCancelledWhileItsSheetWaitsNeverShowsIt) {
  TempDir dir;
  QWidget mainWindow;
  mainWindow.show();
  std::vector<std::shared_ptr<CVNUnarchiveOperation>> jobs;
  std::vector<int> shown(2, 0);
  for (int i = 0; i < 2; ++i) {
    const std::string name = i == 0 ? "a" : "b";
    jobs.push_back(
        twoPassJob(writeEngineArchive(dir, dir / (name + ".zip"), {{"f.txt", name}}, "pw")));
    jobs.back()->setMainWindow(&mainWindow);
    QObject::connect(jobs.back().get(), &CVNUnarchiveOperation::passwordSheetShown,
                     jobs.back().get(), [&shown, i] { ++shown[i]; });
  }
  CVNOperationQueue queue(2);
  queue.addOperation(jobs[0]);
  ASSERT_TRUE(CVNSpinUntil([&] { return shown[0] == 1; }));
  queue.addOperation(jobs[1]);
  // The second job asks while the first sheet is up, then is cancelled (its tile).
  ASSERT_TRUE(CVNSpinUntil([&] { return jobs[1]->status() == QStringLiteral("f.txt"); }));
  CVNSpinUntil([] { return false; }, 200);
  jobs[1]->cancel();
  ASSERT_TRUE(CVNSpinUntil([&] { return jobs[1]->isFinished(); }, 2000));
  EXPECT_FALSE(jobs[1]->succeeded());
  jobs[0]->passwordTextField()->setText(QStringLiteral("pw"));
  jobs[0]->submitPassword();
  ASSERT_TRUE(CVNSpinUntil([&] { return queue.operations().empty(); }));
  CVNSpinUntil([] { return false; }, 100);
  EXPECT_TRUE(jobs[0]->succeeded());
  EXPECT_EQ(shown, (std::vector<int>{1, 0}));
  EXPECT_FALSE(jobs[1]->passwordSheet()->isVisible());
}

// --- Screenshots ---

// Runs a job on `archive` whose first sheet gets a wrong text and the second the
// right one, saving each sheet as "<name>" and "<name>_again".
void screenshotPasswordSheets(const std::string& archive, const QString& name) {
  QWidget mainWindow;
  mainWindow.setWindowTitle(QStringLiteral("Corvana"));
  mainWindow.resize(480, 300);
  mainWindow.show();
  auto job = twoPassJob(archive);
  job->setMainWindow(&mainWindow);
  int sheets = 0;
  QObject::connect(
      job.get(), &CVNUnarchiveOperation::passwordSheetShown, job.get(),
      [&job, &sheets, name] {
        const bool again = ++sheets > 1;
        job->passwordTextField()->setText(again ? QStringLiteral("secret")
                                                : QStringLiteral("wrong"));
        CVNSaveScreenshot(job->passwordSheet(), again ? name + QStringLiteral("_again") : name);
        job->submitPassword();
      },
      Qt::QueuedConnection);
  runJob(job);
  EXPECT_TRUE(job->succeeded());
  EXPECT_EQ(sheets, 2);
}

TEST(CVNUnarchiveOperationScreenshots, PasswordSheetAndLogWindow) {
  TempDir dir;
  const std::string report = writeEngineArchive(
      dir, dir / "report.zip", {{"Quarterly figures/summary.txt", "data"}}, "secret");
  screenshotPasswordSheets(report, QStringLiteral("CVNUnarchiveOperation_passwordSheet"));

  writeStoredArchive(dir / "warnings.zip", {{kUnreadable, "abc"},
                                            {"Thumbs.db", "t"},
                                            {"docs/readme.txt", "r"},
                                            {"../outside.txt", "o"},
                                            {"photo.jpg", "p"}});
  auto warned = twoPassJob(dir / "warnings.zip");
  runJob(warned);
  EXPECT_TRUE(warned->succeeded());
  EXPECT_GT(warned->warningCount(), 0u);
  ASSERT_NE(warned->logWindow(), nullptr);
  warned->showLogWindow();
  EXPECT_TRUE(warned->logWindow()->isVisible());
  EXPECT_EQ(warned->logWindow()->windowTitle().toStdString(), dir / "warnings.zip");
  CVNSaveScreenshot(warned->logWindow(), QStringLiteral("CVNUnarchiveOperation_logWindow"));
  warned->showLogWindow();
  EXPECT_FALSE(warned->logWindow()->isVisible());

  // The sheet in Japanese, as a job made and run under that table shows it.
  CVNInstallLocalization(QStringLiteral("ja"));
  auto japanese = std::make_shared<CVNUnarchiveOperation>(report);
  EXPECT_EQ(japanese->passwordSheet()->windowTitle(), QStringLiteral("パスワード"));
  std::filesystem::remove_all(dir / "report");
  screenshotPasswordSheets(report, QStringLiteral("CVNUnarchiveOperation_passwordSheet_ja"));
  CVNInstallLocalization(QStringLiteral("en"));
}

}  // namespace
