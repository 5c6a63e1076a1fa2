// The headless side of corvana-bench: runs real jobs on the job queue under the
// offscreen platform and prints each job's log when it finishes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CVNOperation;

struct CVNJobDriverRun {
  // Makes the jobs once the application exists (on the main thread); none when
  // they cannot be made, after saying why on stderr.
  std::function<std::optional<std::vector<std::shared_ptr<CVNOperation>>>()> makeJobs;
  // Called for each job before it is queued (to answer its sheets, say).
  std::function<void(CVNOperation&)> prepare;
  // The items a finished job handed on for processing, for the figures line.
  std::function<uint64_t(const CVNOperation&)> entriesOf;
};

// Runs the jobs, at most two at once, and prints for each, as it finishes, one
// line per log row ("<icon>\t<message key>\t<argument>") and then its "job" line;
// last the figures line. Texts come from the English table and the C library's
// English, numbers in the C locale. Returns 0 when every job succeeded, 2 when
// the jobs could not be made, else 1. Raises nothing.
int CVNRunJobsHeadless(int argc, char** argv, const CVNJobDriverRun& run);

// A field of an output line: backslash, tab and newline escaped as \\, \t, \n.
std::string CVNEscapeField(const std::string& text);

// The two job commands; each parses its own options (usage errors exit 2).
int CVNJobArchiveMain(int argc, char** argv);
int CVNJobExtractMain(int argc, char** argv);
