// corvana-bench job-extract: the real extraction job, made as the application
// makes it from the preferences, run headless. Password sheets are answered
// from the command line through the sheet's own buttons.
#include <QLineEdit>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CVNJobDriver.h"
#include "app/CVNAppController.h"
#include "jobs/CVNUnarchiveOperation.h"

namespace {

constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: corvana-bench job-extract [--password TEXT]... [--windows-only 0|1] [--continue 0|1]\n"
    "                                 [--report-all] ARCHIVE\n";

struct Options {
  std::vector<std::string> passwords;
  // Stand-ins for the preferences, registered as 1; like them, only 1 is on.
  long windowsOnly = 1;
  long continues = 1;
  bool reportAll = false;
  std::string archive;
};

CVNAppController::ExtractionPreferences preferencesOf(const Options& options) {
  CVNAppController::ExtractionPreferences preferences;
  preferences.reportsOnlyWarningsForExtraction = options.reportAll ? 0 : 1;
  preferences.extractsEntriesSpecificToWindows = options.windowsOnly;
  preferences.continuesExtraction = options.continues;
  return preferences;
}

bool parseFlag(const char* text, long* value) {
  char* end = nullptr;
  *value = std::strtol(text, &end, 10);
  return *text != '\0' && *end == '\0';
}

int usage(const char* message) {
  std::fprintf(stderr, "corvana-bench: %s\n%s", message, kUsage);
  return kExitUsage;
}

}  // namespace

int CVNJobExtractMain(int argc, char** argv) {
  Options options;
  bool haveArchive = false;
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--password" && hasValue) {
      options.passwords.emplace_back(argv[++i]);
    } else if (argument == "--windows-only" && hasValue) {
      if (!parseFlag(argv[++i], &options.windowsOnly)) return usage("--windows-only takes 0 or 1");
    } else if (argument == "--continue" && hasValue) {
      if (!parseFlag(argv[++i], &options.continues)) return usage("--continue takes 0 or 1");
    } else if (argument == "--report-all") {
      options.reportAll = true;
    } else if (argument.starts_with("--")) {
      return usage(("unknown or incomplete option " + argument).c_str());
    } else if (!haveArchive) {
      options.archive = argument;
      haveArchive = true;
    } else {
      return usage("one archive only");
    }
  }
  if (!haveArchive) return usage("no archive");

  // The next password to answer a sheet with, shared by every sheet the job shows.
  auto nextPassword = std::make_shared<size_t>(0);

  CVNJobDriverRun run;
  run.makeJobs = [&options] {
    std::shared_ptr<CVNOperation> job =
        CVNAppController::makeUnarchiveOperation(options.archive, preferencesOf(options));
    return std::vector<std::shared_ptr<CVNOperation>>{job};
  };
  run.prepare = [&options, nextPassword](CVNOperation& operation) {
    auto& job = static_cast<CVNUnarchiveOperation&>(operation);
    // Queued: the answer comes once the sheet is fully up, as a user's would.
    QObject::connect(
        &job, &CVNUnarchiveOperation::passwordSheetShown, &job,
        [&options, nextPassword, &job] {
          if (*nextPassword < options.passwords.size()) {
            job.passwordTextField()->setText(
                QString::fromUtf8(options.passwords[(*nextPassword)++]));
            job.submitPassword();
          } else {
            job.cancelPassword();
          }
        },
        Qt::QueuedConnection);
  };
  run.entriesOf = [](const CVNOperation& operation) {
    return static_cast<const CVNUnarchiveOperation&>(operation).entriesHandedOn();
  };
  return CVNRunJobsHeadless(argc, argv, run);
}
