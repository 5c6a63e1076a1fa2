// corvana-bench job-archive: the real archiving job, headless, made by the
// archive-settings sheet's confirmation.
//
//   corvana-bench job-archive [--level -1|0|1|9] [--codepage -1|1252|932|949|936|950]
//                             [--escaping 1|5|9] [--password TEXT] [--individually]
//                             [--ignore-empty-folders] [--report-all] ITEM...
#include <QString>
#include <QVariantMap>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CVNJobDriver.h"
#include "app/CVNArchiveMenuController.h"
#include "app/CVNOptionTables.h"
#include "engine/CVNStringEncoding.h"
#include "jobs/CVNArchiveOperation.h"

namespace {

const char kUsage[] =
    "usage: corvana-bench job-archive [--level -1|0|1|9] [--codepage -1|1252|932|949|936|950]\n"
    "                                 [--escaping 1|5|9] [--password TEXT] [--individually]\n"
    "                                 [--ignore-empty-folders] [--report-all] ITEM...\n"
    "Defaults: level -1, code page -1 (the user's languages), escaping 9.\n";

// The registered defaults of the preferences.
struct Settings {
  int64_t level = -1;
  int64_t codepage = -1;
  int64_t escaping = 9;
  std::optional<std::string> password;
  bool individually = false;
  bool ignoresEmptyFolders = false;
  bool reportsAll = false;
  std::vector<std::string> items;
};

bool parseNumber(const char* text, std::initializer_list<int64_t> allowed, int64_t* number) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0') return false;
  for (int64_t candidate : allowed) {
    if (candidate == value) {
      *number = value;
      return true;
    }
  }
  return false;
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "corvana-bench: %s\n%s", message.c_str(), kUsage);
  return 2;
}

}  // namespace

int CVNJobArchiveMain(int argc, char** argv) {
  Settings settings;
  int i = 2;
  for (; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--") {
      ++i;
      break;
    }
    if (!option.starts_with("--")) break;
    if (option == "--individually") {
      settings.individually = true;
      continue;
    }
    if (option == "--ignore-empty-folders") {
      settings.ignoresEmptyFolders = true;
      continue;
    }
    if (option == "--report-all") {
      settings.reportsAll = true;
      continue;
    }
    if (i + 1 >= argc) return usageError(option + " needs a value");
    const char* value = argv[++i];
    bool ok = true;
    if (option == "--level") {
      ok = parseNumber(value, {-1, 0, 1, 9}, &settings.level);
    } else if (option == "--codepage") {
      ok = parseNumber(value, {-1, 1252, 932, 949, 936, 950}, &settings.codepage);
    } else if (option == "--escaping") {
      ok = parseNumber(value, {1, 5, 9}, &settings.escaping);
    } else if (option == "--password") {
      settings.password = value;
    } else {
      return usageError("unknown option " + option);
    }
    if (!ok) return usageError("bad value for " + option + ": " + value);
  }
  settings.items.assign(argv + i, argv + argc);
  if (settings.items.empty()) return usageError("job-archive needs at least one ITEM");

  const auto password = CVNUTF16FromUTF8(settings.password.value_or(std::string()));
  if (!password) return usageError("the password is not UTF-8");

  CVNJobDriverRun run;
  // The jobs come from the settings sheet's confirmation, as a confirmed sheet makes them.
  run.makeJobs = [&] {
    CVNArchiveMenuController::Choices choices;
    choices.filenames = settings.items;
    choices.archivesIndividually = settings.individually;
    choices.ignoresEmptyFolder = settings.ignoresEmptyFolders;
    choices.compressionLevel = settings.level;
    choices.codepage = settings.codepage;
    for (const QVariantMap& row : CVNEscapingLevelTable()) {
      if (row.value(QStringLiteral("escapingLevel")).toLongLong() != settings.escaping) continue;
      choices.triesConvertingToFullwidth =
          row.value(QStringLiteral("triesConvertingToFullwidth")).toBool();
      choices.characterEscapeFormat =
          row.value(QStringLiteral("characterEscapeFormat")).toString().toStdString();
    }
    choices.password = QString::fromStdU16String(*password);
    choices.reportsOnlyWarnings = !settings.reportsAll;
    std::vector<std::shared_ptr<CVNOperation>> jobs;
    // The sheet's own password check: it makes no job for a password that the
    // code page cannot hold.
    if (!CVNArchiveMenuController::makeOperations(
            choices,
            [&](std::shared_ptr<CVNArchiveOperation> job) { jobs.push_back(std::move(job)); })) {
      std::fprintf(stderr, "corvana-bench: the password cannot be written in code page %lld\n",
                   static_cast<long long>(settings.codepage));
      return std::optional<std::vector<std::shared_ptr<CVNOperation>>>();
    }
    return std::optional(std::move(jobs));
  };
  run.entriesOf = [](const CVNOperation& job) {
    const auto& archiving = static_cast<const CVNArchiveOperation&>(job);
    return archiving.numberOfDirectories() + archiving.numberOfFiles();
  };
  return CVNRunJobsHeadless(argc, argv, run);
}
