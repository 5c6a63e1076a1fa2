// Mac-only items on disk, Windows-only names, and the path helpers.
#include "engine/CVNFileSystemNames.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "engine/CVNPathComponentEncoder.h"
#include "support/TestSupport.h"

namespace {

TEST(CVNFileSystemNamesTest, MacOnlyItemsByNameAndKind) {
  enum Kind { File, Folder, LinkToFolder, DanglingLink };
  const struct {
    Kind kind;
    std::vector<const char*> macOnly, notMacOnly;
  } cases[] = {
      {File,
       {".DS_Store", ".VolumeIcon.icns", ".localized", "Icon\r", "._x", "._"},
       {".Trashes", ".fseventsd", ".ds_store", "Icon", "Icon\r\r", "x._y", "_.x"}},
      {Folder,
       {".fseventsd", ".Spotlight-V100", ".Trashes", ".Trash", ".localized"},
       {".DS_Store", "._x", ".trashes", "Icon\r"}},
      // The name is the link's; the kind is the target's.
      {LinkToFolder, {".Trashes"}, {"._x"}},
      {DanglingLink, {}, {".DS_Store"}},
  };
  corvana_test::TempDir dir;
  const std::string target = dir / "target";
  ASSERT_EQ(::mkdir(target.c_str(), 0777), 0);
  int count = 0;
  for (const auto& c : cases) {
    for (bool expected : {true, false}) {
      for (const char* name : expected ? c.macOnly : c.notMacOnly) {
        // Each item alone in a folder of its own.
        const std::string parent = dir / std::to_string(count++), path = parent + "/" + name;
        ASSERT_EQ(::mkdir(parent.c_str(), 0777), 0);
        const std::string to = c.kind == LinkToFolder ? target : dir / "nothing";
        int made = 0;
        if (c.kind == File) corvana_test::writeFile(path, std::string("x"));
        if (c.kind == Folder) made = ::mkdir(path.c_str(), 0777);
        if (c.kind >= LinkToFolder) made = ::symlink(to.c_str(), path.c_str());
        ASSERT_EQ(made, 0);
        EXPECT_EQ(isMacOSXFileSystemItem(path), expected) << c.kind << " " << name;
        if (c.kind == Folder) {
          EXPECT_EQ(isMacOSXFileSystemItem(path + "/"), expected) << name;
        }
      }
    }
  }
  // A missing item is never Mac-only.
  EXPECT_FALSE(isMacOSXFileSystemItem(dir / ".DS_Store"));
}

TEST(CVNFileSystemNamesTest, WindowsOnlyFilesByLastComponentWithoutRegardToCase) {
  for (const char16_t* name :
       {u"Thumbs.db", u"THUMBS.DB", u"a/b/desktop.INI", u"x/Thumbs.db/", u"/abs/DESKTOP.ini"})
    EXPECT_TRUE(isWindowsFileSystemFile(name)) << CVNUTF8FromUTF16(name);
  for (const char16_t* name :
       {u"Thumbs.db.txt", u"xThumbs.db", u"Thumbs.db/x", u"", u"/", u"Thumbs", u"desktop.ini\\x"})
    EXPECT_FALSE(isWindowsFileSystemFile(name)) << CVNUTF8FromUTF16(name);
}

// "\" separates pieces only in names from MS-DOS (host 0) and NTFS (host 11), so
// the Windows-only rule sees "Thumbs.db" in "sub\Thumbs.db" from Windows alone.
TEST(CVNFileSystemNamesTest, BackslashesSeparateInNamesFromWindows) {
  // clang-format off
  const struct { std::u16string name; uint16_t madeBy; std::u16string result; bool windowsOnly; } cases[] = {
      {u"sub\\Thumbs.db", 0x0014, u"sub/Thumbs.db", true},
      {u"sub\\Thumbs.db", 0x0B3F, u"sub/Thumbs.db", true},
      {u"sub\\Thumbs.db", 0x0314, u"sub\\Thumbs.db", false},
      {u"sub\\Thumbs.db", 0x0A14, u"sub\\Thumbs.db", false},
      {u"a\\b\\", 0x0014, u"a/b/", false},
      {u"Desktop.ini\\", 0x0014, u"Desktop.ini/", true},
      {u"\u8868\\x", 0x0014, u"\u8868/x", false}};
  // clang-format on
  for (const auto& c : cases) {
    const std::u16string name = zipFileNameWithSeparators(c.name, c.madeBy);
    EXPECT_EQ(name, c.result) << CVNUTF8FromUTF16(c.name);
    EXPECT_EQ(isWindowsFileSystemFile(name), c.windowsOnly) << CVNUTF8FromUTF16(c.name);
  }
}

TEST(CVNFileSystemNamesTest, PathHelpers) {
  CVNPathComponentEncoder encoder;
  encoder.setEncoding(CVNStringEncoding::WindowsLatin1);
  encoder.setCharacterEscapeFormat(std::string("(U+%04X)"));
  // Each function with inputs, each followed by its result.
  const std::pair<std::function<std::u16string(std::u16string_view)>, std::vector<std::u16string>>
      cases[] = {
          {[&](std::u16string_view path) { return pathUsingPathComponentEncoder(path, encoder); },
           {u"dir:1/file.", u"dir(U+002F)1/file(.)", u"", u"", u"a//CON/b", u"a/(CON)/b",
            u"/abs/x?", u"/abs/x(U+003F)", u"a/b/", u"a/b", u"./..", u"(.)/(..)"}},
          // "\" is no separator: it stays inside one component.
          {pathWithZipFileName,
           {u"a/b/", u"a/b/", u"a//b///c", u"a/b/c", u"a\\b/c", u"a\\b/c", u"name", u"name", u"",
            u""}},
          {stringByDeletingFinalPathSeparator,
           {u"a/b/", u"a/b", u"a/b", u"a/b", u"a//", u"a", u"/", u"/", u"", u"", u"a\\", u"a\\"}},
      };
  for (const auto& [function, texts] : cases) {
    ASSERT_EQ(texts.size() % 2, 0u);
    for (size_t i = 0; i < texts.size(); i += 2)
      EXPECT_EQ(function(texts[i]), texts[i + 1]) << CVNUTF8FromUTF16(texts[i]);
  }
}

}  // namespace
