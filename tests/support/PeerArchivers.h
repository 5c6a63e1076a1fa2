// Runs the peer archivers (Info-ZIP zip and unzip, 7-Zip, bsdtar, Python's
// zipfile) on archives the interop tests make or read, and skips a test when a
// peer is not installed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

// Skips the current test when `program` is not on PATH (in the body or SetUp).
#define CORVANA_SKIP_WITHOUT_PEER(program)                                                       \
  do {                                                                                           \
    if (!::corvana_test::haveProgram(program)) GTEST_SKIP() << (program) << " is not installed"; \
  } while (0)

// Ends a test that ran only the peers `peers.have` found: skipped when any was missing.
#define CORVANA_SKIP_IF_PEERS_MISSING(peers)                                      \
  do {                                                                            \
    if (!(peers).missing.empty())                                                 \
      GTEST_SKIP() << "not installed:" << (peers).missing << "; the rest passed"; \
  } while (0)

namespace corvana_test {

// Whether each peer asked about is installed; names those that are not.
struct PeerSet {
  bool have(const std::string& program) {
    if (haveProgram(program)) return true;
    if (missing.find(" " + program) == std::string::npos) missing += " " + program;
    return false;
  }
  std::string missing;
};

// What a peer said: its exit status (0 is success for all of them) and its
// output, stdout and stderr together.
struct PeerRun {
  int status = -1;
  std::string output;
  bool ok() const { return status == 0; }
};

inline std::ostream& operator<<(std::ostream& out, const PeerRun& run) {
  return out << "exit " << run.status << ":\n" << run.output;
}

// Expects `run` to have succeeded; shows `what` ran and what it said otherwise.
inline void expectSucceeded(const PeerRun& run, const std::string& what) {
  EXPECT_TRUE(run.ok()) << what << " " << run;
}

using OptionalBytes = std::optional<std::vector<uint8_t>>;

// Runs `command` through the shell in `folder` (the current one when empty),
// input from /dev/null.
inline PeerRun runIn(const std::string& folder, const std::string& command) {
  PeerRun result;
  // Grouped, so that the redirection feeds the whole pipeline, not its last stage.
  const std::string cd = folder.empty() ? "" : "cd " + shellQuote(folder) + " && ";
  result.status = runCommand("{ " + cd + command + "\n} </dev/null", &result.output);
  return result;
}

// `unzip -tq` (checks every entry's data); the password bytes go to -P as they are.
inline PeerRun unzipTest(const std::string& archive, const OptionalBytes& password = {}) {
  const std::string p = password ? " -P " + shellQuote({password->begin(), password->end()}) : "";
  return runIn("", "unzip -tq" + p + " " + shellQuote(archive));
}

// `7z t`, never waiting for input (an empty -p answers for the terminal). 7-Zip
// turns a password into bytes itself, so only ASCII passwords reach an archive
// the same way everywhere.
inline PeerRun sevenZipTest(const std::string& archive,
                            const std::optional<std::string>& password = {}) {
  return runIn("", "7z t -y -p" + shellQuote(password.value_or("")) + " " + shellQuote(archive));
}

// `bsdtar -tf`: lists the entries; their count goes to `count` when asked.
inline PeerRun bsdtarList(const std::string& archive, size_t* count = nullptr) {
  PeerRun result = runIn("", "bsdtar -tf " + shellQuote(archive));
  if (count) *count = std::count(result.output.begin(), result.output.end(), '\n');
  return result;
}

// `bsdtar -xOf` into nothing: reads (and so checks) every entry's data.
inline PeerRun bsdtarRead(const std::string& archive, const OptionalBytes& password = {}) {
  const std::string p =
      password ? " --passphrase " + shellQuote({password->begin(), password->end()}) : "";
  return runIn("", "bsdtar -xOf " + shellQuote(archive) + p + " >/dev/null");
}

// Runs a Python 3 program given as text, with arguments.
inline PeerRun runPython(const std::string& program,
                         const std::vector<std::string>& arguments = {}) {
  std::string command = "python3 -X utf8 -c " + shellQuote(program);
  for (const std::string& argument : arguments) command += " " + shellQuote(argument);
  return runIn("", command);
}

// Two lower-case hexadecimal digits per byte: how bytes that may not be UTF-8
// travel to the Python helpers.
inline std::string hexString(const auto& bytes) {
  std::string hex;
  for (uint8_t b : bytes) hex += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
  return hex;
}

}  // namespace corvana_test
