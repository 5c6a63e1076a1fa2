// The never-overwriting file-system helpers: free names, parents, errno mapping.
#include "engine/io/RVFileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/io/RVException.h"
#include "engine/io/RVFileHandle.h"
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

}  // namespace
