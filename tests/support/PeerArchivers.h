// Runs the peer archivers (Info-ZIP zip and unzip, 7-Zip, bsdtar, Python's
// zipfile) on archives the interop tests make or read, and skips a test when a
// peer is not installed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

// Skips the current test when `program` is not on PATH. Use in the test body
// or in SetUp.
#define CORVANA_SKIP_WITHOUT_PEER(program)                                                       \
  do {                                                                                           \
    if (!::corvana_test::haveProgram(program)) GTEST_SKIP() << (program) << " is not installed"; \
  } while (0)

namespace corvana_test {

// What a peer said: its exit status (0 is success for all of them) and its
// output, stdout and stderr together.
struct PeerRun {
  int status = -1;
  std::string output;
  bool ok() const { return status == 0; }
};

// For gtest messages: "exit N:\n<output>".
std::ostream& operator<<(std::ostream& out, const PeerRun& run);

using OptionalBytes = std::optional<std::vector<uint8_t>>;

// `unzip -tq` (checks every entry's data); the password bytes go to -P as they are.
PeerRun unzipTest(const std::string& archive, const OptionalBytes& password = std::nullopt);
// `7z t`; never waits for input (an encrypted entry without password fails).
// 7-Zip turns a password into bytes itself, so only ASCII passwords reach an
// archive the same way everywhere.
PeerRun sevenZipTest(const std::string& archive, const std::optional<std::string>& password = {});
// `bsdtar -tf`: lists the entries; their count goes to `count` when asked.
PeerRun bsdtarList(const std::string& archive, size_t* count = nullptr);
// `bsdtar -xOf` into nothing: reads (and so checks) every entry's data.
PeerRun bsdtarRead(const std::string& archive, const OptionalBytes& password = std::nullopt);

// Runs `command` through the shell in `folder`; input from /dev/null.
PeerRun runIn(const std::string& folder, const std::string& command);
// Runs a Python 3 program given as text, with arguments.
PeerRun runPython(const std::string& program, const std::vector<std::string>& arguments = {});

// Lower-case hexadecimal digits, two per byte; how bytes that may not be
// UTF-8 travel to the Python helpers.
std::string hexString(const std::vector<uint8_t>& bytes);
std::string hexString(const std::string& bytes);

}  // namespace corvana_test
