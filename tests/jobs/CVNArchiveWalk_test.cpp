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

enum class Kind { File, Folder, Fifo, Socket };

struct ItemCase {
  const char* title;
  std::string name;
  Kind kind;  // a folder with a file inside, so that it is never empty
  bool handedOn;
};

void PrintTo(const ItemCase& c, std::ostream* os) { *os << c.title; }

class CVNArchiveWalkItems : public testing::TestWithParam<ItemCase> {};

// The folder d holds "file" and the case's item. Pipes and sockets are left
// out silently, Mac-only names with a row.
TEST_P(CVNArchiveWalkItems, HandsOnFilesAndFoldersOnly) {
  const ItemCase& c = GetParam();
  TempDir dir;
  makeFolder(dir / "d");
  corvana_test::writeFile(dir / "d/file", std::string("data"));
  const std::string item = dir / ("d/" + c.name);
  std::vector<std::string> expected{"d", "d/file"}, rows;
  if (c.handedOn) expected.push_back("d/" + c.name);
  switch (c.kind) {
    case Kind::File:
      corvana_test::writeFile(item, std::string("x"));
      break;
    case Kind::Folder:
      makeFolder(item);
      corvana_test::writeFile(item + "/f", std::string("f"));
      if (c.handedOn) expected.push_back("d/" + c.name + "/f");
      break;
    case Kind::Fifo:
      ASSERT_EQ(::mkfifo(item.c_str(), 0644), 0);
      break;
    case Kind::Socket:
      makeSocket(item);
      break;
  }
  if (!c.handedOn && (c.kind == Kind::File || c.kind == Kind::Folder))
    rows.push_back("Skipped d/" + c.name);
  std::sort(expected.begin(), expected.end());
  const Walked walked = walk(dir / "d");
  EXPECT_EQ(walked.handedOn, expected);
  EXPECT_EQ(walked.count, expected.size());
  EXPECT_EQ(walked.rows, rows);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CVNArchiveWalkItems,
    testing::Values(ItemCase{"RegularFile", "x", Kind::File, true},
                    ItemCase{"Fifo", "x", Kind::Fifo, false},
                    ItemCase{"Socket", "x", Kind::Socket, false},
                    // Mac-only names.
                    ItemCase{"DSStore", ".DS_Store", Kind::File, false},
                    ItemCase{"VolumeIcon", ".VolumeIcon.icns", Kind::File, false},
                    ItemCase{"LocalizedFile", ".localized", Kind::File, false},
                    ItemCase{"IconCR", "Icon\r", Kind::File, false},
                    ItemCase{"AppleDouble", "._x", Kind::File, false},
                    ItemCase{"Fseventsd", ".fseventsd", Kind::Folder, false},
                    ItemCase{"Spotlight", ".Spotlight-V100", Kind::Folder, false},
                    ItemCase{"Trashes", ".Trashes", Kind::Folder, false},
                    ItemCase{"Trash", ".Trash", Kind::Folder, false},
                    ItemCase{"LocalizedFolder", ".localized", Kind::Folder, false},
                    // Near misses: the wrong kind, case or ending.
                    ItemCase{"IconWithoutCR", "Icon", Kind::File, true},
                    ItemCase{"IconCRFolder", "Icon\r", Kind::Folder, true},
                    ItemCase{"TrashesFile", ".Trashes", Kind::File, true},
                    ItemCase{"DSStoreFolder", ".DS_Store", Kind::Folder, true},
                    ItemCase{"LowerCase", ".ds_store", Kind::File, true},
                    ItemCase{"OtherDotName", ".hidden", Kind::File, true}),
    [](const auto& info) { return std::string(info.param.title); });

}  // namespace
