// The never-overwriting file-system helpers: free names, parents, errno mapping.
#include "engine/io/RVFileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "engine/io/RVException.h"
#include "engine/io/RVFileHandle.h"
#include "support/TestSupport.h"

namespace {

using corvana_test::raised;

using corvana_test::exists;
using corvana_test::TempDir;


std::string uniqueFile(const std::string& path) {
  std::string made;
  RVFileHandle h(RVCreateUniqueFile(path, &made), true);
  return made;
}

TEST(RVFileSystemTest, FreeFileNamesNumberTheRequestedName) {
  TempDir dir;
  corvana_test::writeFile(dir / "Archive.zip", "");
  corvana_test::writeFile(dir / "Archive 2.zip", "");
  EXPECT_EQ(uniqueFile(dir / "Archive.zip"), dir / "Archive 3.zip");
  corvana_test::writeFile(dir / "a.tar.gz", "");
  EXPECT_EQ(uniqueFile(dir / "a.tar.gz"), dir / "a.tar 2.gz");
  EXPECT_EQ(uniqueFile(dir / "README"), dir / "README");
  EXPECT_EQ(uniqueFile(dir / "README"), dir / "README 2");
  EXPECT_EQ(uniqueFile(dir / ".profile"), dir / ".profile");
  EXPECT_EQ(uniqueFile(dir / ".profile"), dir / ".profile 2");
  // Nothing existing was touched.
  EXPECT_EQ(corvana_test::listFolder(dir.path()).size(), 9u);
}

TEST(RVFileSystemTest, FreeFolderNames) {
  TempDir dir;
  std::string made;
  ASSERT_TRUE(RVMakeDirectory(dir / "Photos"));
  EXPECT_FALSE(RVMakeDirectory(dir / "Photos"));
  RVCreateUniqueDirectory(dir / "Photos", &made);
  EXPECT_EQ(made, dir / "Photos 2");
  corvana_test::writeFile(dir / "Notes", "a file");
  RVCreateUniqueDirectory(dir / "Notes", &made);
  EXPECT_EQ(made, dir / "Notes 2");
  RVCreateUniqueDirectory(dir / "Photos", &made);
  EXPECT_EQ(made, dir / "Photos 3");  // never "Photos 2 2"
}

TEST(RVFileSystemTest, ParentsAreMadeAndAFileInTheWayIsNotADirectory) {
  TempDir dir;
  std::string made;
  RVFileHandle h(RVCreateUniqueFile(dir / "x/y/z.txt", &made), true);
  EXPECT_EQ(made, dir / "x/y/z.txt");
  RVMakeDirectoryPath(dir / "x/y");  // existing levels are fine
  corvana_test::writeFile(dir / "f", "");
  EXPECT_EQ(raised([&] { RVCreateUniqueFile(dir / "f/y/z.txt"); }),
            "RVFileSystemException errno = " + std::to_string(ENOTDIR));
}

TEST(RVFileSystemTest, PermissionDeniedMapsToFileSystemException) {
  TempDir dir;
  std::string locked = dir / "locked";
  ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
  if (corvana_test::fileModesApply()) {
    EXPECT_EQ(raised([&] { RVMakeDirectory(locked + "/sub"); }),
              "RVFileSystemException errno = " + std::to_string(EACCES));
    return;
  }
  // Root ignores file modes: try it as an unprivileged user in a child process.
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    std::string r = raised([&] { RVMakeDirectory(locked + "/sub"); });
    ::_exit(r == "RVFileSystemException errno = " + std::to_string(EACCES) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot drop privileges here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(RVFileSystemTest, ExclusiveCreationAndNewFiles) {
  TempDir dir;
  int fd = RVCreateFileExclusively(dir / "a");
  ASSERT_GE(fd, 0);
  RVFileHandle h(fd, true);
  EXPECT_EQ(RVCreateFileExclusively(dir / "a"), -1);
  EXPECT_EQ(raised([&] { RVOpenNewFile(dir / "a"); }),
            "RVFileSystemException errno = " + std::to_string(EEXIST));
  // The new file is locked exclusively.
  EXPECT_NE(raised([&] { RVFileHandle::forReadingAtPath(dir / "a"); }), "");
}

TEST(RVFileSystemTest, RenameNeverReplaces) {
  TempDir dir;
  corvana_test::writeFile(dir / "old", "old");
  corvana_test::writeFile(dir / "new", "keep");
  EXPECT_EQ(raised([&] { RVRenameFile(dir / "old", dir / "new"); }),
            "RVFileSystemException errno = " + std::to_string(EEXIST));
  EXPECT_EQ(corvana_test::readFile(dir / "new"), corvana_test::bytes("keep"));
  RVRenameFile(dir / "old", dir / "moved");
  EXPECT_FALSE(exists(dir / "old"));
  EXPECT_EQ(corvana_test::readFile(dir / "moved"), corvana_test::bytes("old"));
}

TEST(RVFileSystemTest, TemporaryFileHasNoName) {
  TempDir dir;
  const char* old = std::getenv("TMPDIR");
  std::string saved = old ? old : "";
  setenv("TMPDIR", dir.path().c_str(), 1);
  std::string named;
  RVFileHandle kept(RVCreateTemporaryFile(&named), true);
  RVFileHandle spool(RVCreateTemporaryFile(), true);
  if (old)
    setenv("TMPDIR", saved.c_str(), 1);
  else
    unsetenv("TMPDIR");

  EXPECT_EQ(named.rfind(dir / (std::string(RVApplicationIdentifier) + "."), 0), 0u);
  EXPECT_EQ(named.size(), (dir / std::string(RVApplicationIdentifier)).size() + 9);
  EXPECT_EQ(corvana_test::listFolder(dir.path()),
            std::vector<std::string>{named.substr(dir.path().size() + 1)});
  spool.writeData(corvana_test::bytes("spooled"));
  spool.seekToOffset(0);
  EXPECT_EQ(spool.readDataToEnd(), corvana_test::bytes("spooled"));
}

}  // namespace
