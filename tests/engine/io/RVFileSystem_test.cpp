// The never-overwriting file-system helpers: free names, parents, errno mapping.
#include "engine/io/RVFileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "engine/io/RVException.h"
#include "engine/io/RVFileHandle.h"
#include "engine/io/RVUniqueNameMemory.h"
#include "support/TestSupport.h"

namespace {

using corvana_test::bytes;
using corvana_test::raised;
using corvana_test::readFile;
using corvana_test::TempDir;
using corvana_test::writeFile;

std::string errnoIs(int e) { return "RVFileSystemException errno = " + std::to_string(e); }

std::string uniqueFile(const std::string& path) {
  std::string made;
  RVFileHandle h(RVCreateUniqueFile(path, &made), true);
  return made;
}

TEST(RVFileSystemTest, FreeFileNamesNumberTheRequestedName) {
  TempDir dir;
  writeFile(dir / "Archive.zip", ""), writeFile(dir / "Archive 2.zip", "");
  EXPECT_EQ(uniqueFile(dir / "Archive.zip"), dir / "Archive 3.zip");
  writeFile(dir / "a.tar.gz", "");
  EXPECT_EQ(uniqueFile(dir / "a.tar.gz"), dir / "a.tar 2.gz");
  for (std::string name : {"README", ".profile"})  // no extension to keep apart
    EXPECT_EQ((std::vector{uniqueFile(dir / name), uniqueFile(dir / name)}),
              (std::vector{dir / name, dir / name + " 2"}));
  // Nothing existing was touched.
  EXPECT_EQ(corvana_test::listFolder(dir.path()).size(), 9u);
}

TEST(RVFileSystemTest, FreeFolderNames) {
  TempDir dir;
  std::string made;
  EXPECT_EQ((std::pair{RVMakeDirectory(dir / "Photos"), RVMakeDirectory(dir / "Photos")}),
            std::pair(true, false));
  EXPECT_EQ((RVCreateUniqueDirectory(dir / "Photos", &made), made), dir / "Photos 2");
  writeFile(dir / "Notes", "a file");
  EXPECT_EQ((RVCreateUniqueDirectory(dir / "Notes", &made), made), dir / "Notes 2");
  EXPECT_EQ((RVCreateUniqueDirectory(dir / "Photos", &made), made),
            dir / "Photos 3");  // not "Photos 2 2"
}

TEST(RVFileSystemTest, ParentsAreMadeAndAFileInTheWayIsNotADirectory) {
  TempDir dir;
  std::string made;
  RVFileHandle h(RVCreateUniqueFile(dir / "x/y/z.txt", &made), true);
  EXPECT_EQ(made, dir / "x/y/z.txt");
  RVMakeDirectoryPath(dir / "x/y");  // existing levels are fine
  writeFile(dir / "f", "");
  EXPECT_EQ(raised([&] { RVCreateUniqueFile(dir / "f/y/z.txt"); }), errnoIs(ENOTDIR));
}

TEST(RVFileSystemTest, PermissionDeniedMapsToFileSystemException) {
  TempDir dir;
  std::string locked = dir / "locked";
  ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
  if (corvana_test::fileModesApply()) {
    EXPECT_EQ(raised([&] { RVMakeDirectory(locked + "/sub"); }), errnoIs(EACCES));
    return;
  }
  // Root ignores file modes: try it as an unprivileged user in a child process.
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    std::string r = raised([&] { RVMakeDirectory(locked + "/sub"); });
    ::_exit(r == errnoIs(EACCES) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot drop privileges here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(RVFileSystemTest, NothingExistingIsReplaced) {
  TempDir dir;
  RVFileHandle h(RVCreateFileExclusively(dir / "a"), true);
  EXPECT_EQ(RVCreateFileExclusively(dir / "a"), -1);
  EXPECT_EQ(raised([&] { RVOpenNewFile(dir / "a"); }), errnoIs(EEXIST));
  // The new file is locked exclusively.
  EXPECT_NE(raised([&] { RVFileHandle::forReadingAtPath(dir / "a"); }), "");
  // Renaming never replaces either.
  writeFile(dir / "old", "old");
  writeFile(dir / "new", "keep");
  EXPECT_EQ(raised([&] { RVRenameFile(dir / "old", dir / "new"); }), errnoIs(EEXIST));
  EXPECT_EQ(readFile(dir / "new"), bytes("keep"));
  RVRenameFile(dir / "old", dir / "moved");
  EXPECT_EQ(corvana_test::listFolder(dir.path()), (std::vector<std::string>{"a", "moved", "new"}));
  EXPECT_EQ(readFile(dir / "moved"), bytes("old"));
}

TEST(RVFileSystemTest, TemporaryFileHasNoName) {
  TempDir dir;
  const std::string saved = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  setenv("TMPDIR", dir.path().c_str(), 1);
  std::string named;
  RVFileHandle kept(RVCreateTemporaryFile(&named), true);
  RVFileHandle spool(RVCreateTemporaryFile(), true);
  saved.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", saved.c_str(), 1);

  EXPECT_EQ(named.rfind(dir / (std::string(RVApplicationIdentifier) + "."), 0), 0u);
  EXPECT_EQ(named.size(), (dir / std::string(RVApplicationIdentifier)).size() + 9);
  EXPECT_EQ(corvana_test::listFolder(dir.path()),
            std::vector<std::string>{named.substr(dir.path().size() + 1)});
  spool.writeData(bytes("spooled"));
  spool.seekToOffset(0);
  EXPECT_EQ(spool.readDataToEnd(), bytes("spooled"));
}

std::string uniqueName(const std::string& path, bool folder, RVUniqueNameMemory* memory) {
  std::string made;
  if (folder) {
    RVCreateUniqueDirectory(path, &made, memory);
  } else {
    RVFileHandle h(RVCreateUniqueFile(path, &made, memory), true);
  }
  return made;
}

// With a memory the search starts after the number it gave last, yet hands
// out exactly the plain search's names while nothing else changes the folder,
// through requests for names that are themselves numbered ("x 2.txt"),
// folders and files of one name, names there before, and outputs removed at
// once (stepped back). Random sequences, the same in two folders.
TEST(RVFileSystemTest, RememberedNumbersGiveThePlainSearchsNames) {
  const std::vector<std::string> names = {"x.txt", "x 2.txt", "x 3.txt", "x", "x 2", "y.tar.gz"};
  for (uint32_t seed = 1; seed <= 10; ++seed) {
    SCOPED_TRACE(seed);
    TempDir plain, remembered;
    RVUniqueNameMemory memory;
    std::mt19937 random(seed);
    for (const std::string& name : names)
      if (random() % 3 == 0) writeFile(plain / name, ""), writeFile(remembered / name, "");
    for (int step = 0; step < 100; ++step) {
      const std::string& name = names[random() % names.size()];
      const bool folder = random() % 4 == 0;
      const std::string a = uniqueName(plain / name, folder, nullptr);
      const std::string b = uniqueName(remembered / name, folder, &memory);
      ASSERT_EQ(a.substr(plain.path().size()), b.substr(remembered.path().size()));
      if (random() % 3 == 0) {  // the output failed and is removed again
        ::remove(a.c_str()), ::remove(b.c_str());
        memory.stepBack(remembered / name, folder);
      }
    }
    ASSERT_EQ(corvana_test::listFolder(plain.path()), corvana_test::listFolder(remembered.path()));
  }
}

// The memory does not look back: a name freed by someone else stays free.
TEST(RVFileSystemTest, RememberedNumbersContinueFromTheLast) {
  TempDir dir;
  RVUniqueNameMemory memory;
  for (int i = 0; i < 3; ++i) uniqueName(dir / "x.txt", false, &memory);
  ::unlink((dir / "x 2.txt").c_str());
  EXPECT_EQ(uniqueName(dir / "x.txt", false, &memory), dir / "x 4.txt");
  EXPECT_EQ(uniqueName(dir / "x.txt", false, nullptr), dir / "x 2.txt");
}

// A numbered name longer than the file system takes (255 bytes here) has its
// base cut at a UTF-8 character boundary; the extension and number stay.
TEST(RVFileSystemTest, LongNumberedNamesAreCutToFit) {
  TempDir dir;
  ASSERT_EQ(RVMaximumNameLength(dir.path()), 255u);
  std::string j85;
  for (int i = 0; i < 85; ++i) j85 += "\xE6\x97\xA5";
  const std::string a251(251, 'a');
  // clang-format off
  const struct { std::string name; bool folder; std::vector<std::string> made; } cases[] = {
      {a251 + ".zip", false, {a251 + ".zip", std::string(249, 'a') + " 2.zip"}},
      {j85, true, {j85, j85.substr(0, 252) + " 2", j85.substr(0, 252) + " 3"}},
      {j85, false, {j85.substr(0, 252) + " 4", j85.substr(0, 252) + " 5"}},
      {std::string(250, 'b') + "." + std::string(4, 'c'), false,
       {std::string(250, 'b') + ".cccc", std::string(248, 'b') + " 2.cccc"}}};
  // clang-format on
  for (const auto& c : cases) {
    for (const std::string& expected : c.made)
      EXPECT_EQ(uniqueName(dir / c.name, c.folder, nullptr), dir / expected);
  }
  // A name that cannot fit however it is cut still fails.
  const std::string longExtension = "b." + std::string(253, 'c');
  writeFile(dir / longExtension, "");
  EXPECT_EQ(raised([&] { uniqueName(dir / longExtension, false, nullptr); }),
            errnoIs(ENAMETOOLONG));
}

}  // namespace
