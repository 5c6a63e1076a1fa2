// The archiving walk on its own: which items it hands on and which it leaves
// out, with the rows it asks for.
#include "jobs/CVNArchiveWalk.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

using corvana_test::TempDir;

struct Walked {
  std::vector<std::string> handedOn;  // relative paths, sorted
  std::vector<std::string> rows;      // "<key> <relative path>", in order
  uint64_t count;
};

// Walks the folder `root` under the relative path "d" with every Mac-only item
// and every empty folder reported rather than left out silently.
Walked walk(const std::string& root) {
  Walked walked;
  CVNArchiveWalkRules rules{CVNEntrySpecificToMacBehaviorExcludesWithWarning,
                            CVNEmptyFolderBehaviorIncludesInArchive,
                            CVNSymbolicLinkBehaviorExcludes,
                            nullptr,
                            [&](const char* key, const std::string& pathname) {
                              walked.rows.push_back(std::string(key) + " " + pathname);
                            },
                            {}};
  walked.count = CVNArchiveEnumerateWithPath(
      root, "d", rules, [&](const std::string& pathname, const struct stat&, const std::string&) {
        walked.handedOn.push_back(pathname);
      });
  std::sort(walked.handedOn.begin(), walked.handedOn.end());
  return walked;
}

void makeFolder(const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0) << path; }

// A socket's file stays when the socket is closed.
void makeSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path) << path;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(socket, 0);
  EXPECT_EQ(::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(socket);
}

// --- Kinds of item ---

enum class Kind { File, Fifo, Socket };

struct KindCase {
  const char* title;
  Kind kind;
  bool handedOn;
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.title; }

class CVNArchiveWalkKinds : public testing::TestWithParam<KindCase> {};

// The folder d holds "file" and "x" of the case's kind.
TEST_P(CVNArchiveWalkKinds, HandsOnFilesAndLeavesOutPipesAndSockets) {
  const KindCase& c = GetParam();
  TempDir dir;
  makeFolder(dir / "d");
  corvana_test::writeFile(dir / "d/file", std::string("data"));
  switch (c.kind) {
    case Kind::File:
      corvana_test::writeFile(dir / "d/x", std::string("x"));
      break;
    case Kind::Fifo:
      ASSERT_EQ(::mkfifo((dir / "d/x").c_str(), 0644), 0);
      break;
    case Kind::Socket:
      makeSocket(dir / "d/x");
      break;
  }
  const Walked walked = walk(dir / "d");
  std::vector<std::string> expected{"d", "d/file"};
  if (c.handedOn) expected.push_back("d/x");
  EXPECT_EQ(walked.handedOn, expected);
  EXPECT_EQ(walked.count, expected.size());
  EXPECT_EQ(walked.rows, std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Cases, CVNArchiveWalkKinds,
                         testing::Values(KindCase{"RegularFile", Kind::File, true},
                                         KindCase{"Fifo", Kind::Fifo, false},
                                         KindCase{"Socket", Kind::Socket, false}),
                         [](const auto& info) { return std::string(info.param.title); });

// --- Mac-only names ---

struct NameCase {
  const char* title;
  std::string name;
  bool folder;  // with a file inside, so that it is never empty
  bool macOnly;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.title; }

class CVNArchiveWalkMacOnly : public testing::TestWithParam<NameCase> {};

TEST_P(CVNArchiveWalkMacOnly, LeavesOutEveryNameTheRulesKnow) {
  const NameCase& c = GetParam();
  TempDir dir;
  makeFolder(dir / "d");
  const std::string item = dir / ("d/" + c.name);
  std::vector<std::string> inside{"d/" + c.name};
  if (c.folder) {
    makeFolder(item);
    corvana_test::writeFile(item + "/f", std::string("f"));
    inside.push_back("d/" + c.name + "/f");
  } else {
    corvana_test::writeFile(item, std::string("x"));
  }
  const Walked walked = walk(dir / "d");
  if (c.macOnly) {
    EXPECT_EQ(walked.handedOn, std::vector<std::string>{"d"});
    EXPECT_EQ(walked.rows, std::vector<std::string>{"Skipped d/" + c.name});
  } else {
    std::vector<std::string> expected{"d"};
    expected.insert(expected.end(), inside.begin(), inside.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(walked.handedOn, expected);
    EXPECT_EQ(walked.rows, std::vector<std::string>{});
  }
}

INSTANTIATE_TEST_SUITE_P(Names, CVNArchiveWalkMacOnly,
                         testing::Values(NameCase{"DSStore", ".DS_Store", false, true},
                                         NameCase{"VolumeIcon", ".VolumeIcon.icns", false, true},
                                         NameCase{"LocalizedFile", ".localized", false, true},
                                         NameCase{"IconCR", "Icon\r", false, true},
                                         NameCase{"AppleDouble", "._x", false, true},
                                         NameCase{"Fseventsd", ".fseventsd", true, true},
                                         NameCase{"Spotlight", ".Spotlight-V100", true, true},
                                         NameCase{"Trashes", ".Trashes", true, true},
                                         NameCase{"Trash", ".Trash", true, true},
                                         NameCase{"LocalizedFolder", ".localized", true, true},
                                         // Near misses: the wrong kind, case or ending.
                                         NameCase{"IconWithoutCR", "Icon", false, false},
                                         NameCase{"IconCRFolder", "Icon\r", true, false},
                                         NameCase{"TrashesFile", ".Trashes", false, false},
                                         NameCase{"DSStoreFolder", ".DS_Store", true, false},
                                         NameCase{"LowerCase", ".ds_store", false, false},
                                         NameCase{"OtherDotName", ".hidden", false, false}),
                         [](const auto& info) { return std::string(info.param.title); });

}  // namespace
