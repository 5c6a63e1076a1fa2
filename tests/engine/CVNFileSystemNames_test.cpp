// Mac-only items on disk, Windows-only names, and the path helpers.
#include "engine/CVNFileSystemNames.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/CVNPathComponentEncoder.h"
#include "support/TestSupport.h"

namespace {

using corvana_test::TempDir;

class CVNMacOnlyItemTest : public testing::Test {
 protected:
  std::string file(const std::string& name) {
    corvana_test::writeFile(dir_ / name, std::string("x"));
    return dir_ / name;
  }
  std::string folder(const std::string& name) {
    std::string path = dir_ / ("d-" + name);
    EXPECT_EQ(::mkdir(path.c_str(), 0777), 0);
    std::string inner = path + "/" + name;
    EXPECT_EQ(::mkdir(inner.c_str(), 0777), 0);
    return inner;
  }
  std::string link(const std::string& name, const std::string& target) {
    std::string path = dir_ / ("l-" + name);
    EXPECT_EQ(::mkdir(path.c_str(), 0777), 0);
    std::string inner = path + "/" + name;
    EXPECT_EQ(::symlink(target.c_str(), inner.c_str()), 0);
    return inner;
  }

  TempDir dir_;
};

TEST_F(CVNMacOnlyItemTest, FilesByName) {
  for (const char* name : {".DS_Store", ".VolumeIcon.icns", ".localized", "Icon\r", "._x", "._"})
    EXPECT_TRUE(isMacOSXFileSystemItem(file(name))) << name;
  for (const char* name :
       {".Trashes", ".fseventsd", ".ds_store", "Icon", "Icon\r\r", "x._y", "_.x"})
    EXPECT_FALSE(isMacOSXFileSystemItem(file(name))) << name;
}

TEST_F(CVNMacOnlyItemTest, FoldersByName) {
  for (const char* name : {".fseventsd", ".Spotlight-V100", ".Trashes", ".Trash", ".localized"})
    EXPECT_TRUE(isMacOSXFileSystemItem(folder(name))) << name;
  for (const char* name : {".DS_Store", "._x", ".trashes", "Icon\r"})
    EXPECT_FALSE(isMacOSXFileSystemItem(folder(name))) << name;
}

TEST_F(CVNMacOnlyItemTest, LinksAreFollowedAndMissingItemsAreNeverMacOnly) {
  std::string target = dir_ / "target";
  ASSERT_EQ(::mkdir(target.c_str(), 0777), 0);
  // The name is the link's; the kind is the target's.
  EXPECT_TRUE(isMacOSXFileSystemItem(link(".Trashes", target)));
  EXPECT_FALSE(isMacOSXFileSystemItem(link("._x", target)));
  EXPECT_FALSE(isMacOSXFileSystemItem(link(".DS_Store", dir_ / "nothing")));
  EXPECT_FALSE(isMacOSXFileSystemItem(dir_ / ".DS_Store"));
  EXPECT_TRUE(isMacOSXFileSystemItem(folder(".Trash") + "/"));
}

TEST(CVNWindowsOnlyFileTest, LastComponentWithoutRegardToCase) {
  for (const char16_t* name :
       {u"Thumbs.db", u"THUMBS.DB", u"a/b/desktop.INI", u"x/Thumbs.db/", u"/abs/DESKTOP.ini"})
    EXPECT_TRUE(isWindowsFileSystemFile(name));
  for (const char16_t* name :
       {u"Thumbs.db.txt", u"xThumbs.db", u"Thumbs.db/x", u"", u"/", u"Thumbs", u"desktop.ini\\x"})
    EXPECT_FALSE(isWindowsFileSystemFile(name));
}

TEST(CVNPathUsingEncoderTest, EncodesEveryComponent) {
  CVNPathComponentEncoder encoder;
  encoder.setEncoding(CVNStringEncoding::WindowsLatin1);
  encoder.setCharacterEscapeFormat(std::string("(U+%04X)"));
  struct {
    std::u16string path, expected;
  } cases[] = {
      {u"dir:1/file.", u"dir(U+002F)1/file(.)"}, {u"", u""},        {u"a//CON/b", u"a/(CON)/b"},
      {u"/abs/x?", u"/abs/x(U+003F)"},           {u"a/b/", u"a/b"}, {u"./..", u"(.)/(..)"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(pathUsingPathComponentEncoder(c.path, encoder), c.expected)
        << std::string(c.path.begin(), c.path.end());
}

TEST(CVNZipPathHelpersTest, PathWithZipFileName) {
  EXPECT_EQ(pathWithZipFileName(u"a/b/"), u"a/b/");
  EXPECT_EQ(pathWithZipFileName(u"a//b///c"), u"a/b/c");
  EXPECT_EQ(pathWithZipFileName(u"a\\b/c"), u"a\\b/c");
  EXPECT_EQ(pathWithZipFileName(u"name"), u"name");
  EXPECT_EQ(pathWithZipFileName(u""), u"");
}

TEST(CVNZipPathHelpersTest, StringByDeletingFinalPathSeparator) {
  EXPECT_EQ(stringByDeletingFinalPathSeparator(pathWithZipFileName(u"a/b/")), u"a/b");
  EXPECT_EQ(stringByDeletingFinalPathSeparator(u"a/b"), u"a/b");
  EXPECT_EQ(stringByDeletingFinalPathSeparator(u"a//"), u"a");
  EXPECT_EQ(stringByDeletingFinalPathSeparator(u"/"), u"/");
  EXPECT_EQ(stringByDeletingFinalPathSeparator(u""), u"");
  EXPECT_EQ(stringByDeletingFinalPathSeparator(u"a\\"), u"a\\");
}

}  // namespace
