#include "jobs/CVNFileURL.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct FileURLCase {
  const char* name;
  const char* uri;                  // as read; as written when `written` (null: not checked)
  std::optional<std::string> path;  // null: not a local file
  bool written = false;             // the path is written as a URI, then read back
};

class FileURL : public ::testing::TestWithParam<FileURLCase> {};

TEST_P(FileURL, OnlyLocalFileURIsGiveAPathAndPathsComeBackByteForByte) {
  const FileURLCase& c = GetParam();
  QByteArray uri(c.uri);
  if (c.written) {
    uri = CVNFileURLFromPath(*c.path).toEncoded();
    if (c.uri) {
      EXPECT_EQ(uri, QByteArray(c.uri));
    }
    // Plain ASCII on the wire, whatever the name's bytes.
    for (const char byte : uri) EXPECT_LT(static_cast<unsigned char>(byte), 0x80);
  }
  EXPECT_EQ(CVNPathFromFileURL(uri), c.path);
}

std::string everyByte() {
  std::string path = "/tmp/";
  for (int byte = 1; byte < 256; ++byte) {
    if (byte != '/') path += static_cast<char>(byte);
  }
  return path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileURL,
    ::testing::Values(FileURLCase{"Latin1", "file:///tmp/caf%E9.zip", "/tmp/caf\xE9.zip", true},
                      FileURLCase{"ReplacementCharacter", "file:///tmp/caf%EF%BF%BD.zip",
                                  "/tmp/caf\xEF\xBF\xBD.zip", true},
                      FileURLCase{"Utf8", nullptr, "/tmp/\xE6\x97\xA5\xE6\x9C\xAC.zip", true},
                      FileURLCase{"Delimiters", nullptr, "/tmp/a b%25?#;[1].zip", true},
                      FileURLCase{"Folder", "file:///tmp/dir/", "/tmp/dir/", true},
                      FileURLCase{"Root", "file:///", "/", true},
                      FileURLCase{"EveryByte", nullptr, everyByte(), true},
                      FileURLCase{"ShortForm", "file:/tmp/a.zip", "/tmp/a.zip"},
                      FileURLCase{"Localhost", "file://localhost/tmp/a.zip", "/tmp/a.zip"},
                      FileURLCase{"SchemeInCapitals", "FILE:///tmp/a.zip", "/tmp/a.zip"},
                      FileURLCase{"Spaces", "  file:///tmp/a.zip\r", "/tmp/a.zip"},
                      FileURLCase{"RawBytesKept", "file:///tmp/caf\xE9.zip", "/tmp/caf\xE9.zip"},
                      FileURLCase{"QueryAndFragmentIgnored", "file:///tmp/a.zip?x#y", "/tmp/a.zip"},
                      FileURLCase{"OtherHost", "file://example.com/tmp/a.zip", {}},
                      FileURLCase{"HostWithoutPath", "file://localhost", {}},
                      FileURLCase{"Remote", "https://example.com/a.zip", {}},
                      FileURLCase{"Relative", "file:a.zip", {}},
                      FileURLCase{"NulByte", "file:///tmp/a%00b.zip", {}},
                      FileURLCase{"EscapedSlash", "file:///tmp/a%2Fb.zip", {}},
                      FileURLCase{"EscapedSlashLowerCase", "file:///tmp/a%2fb.zip", {}},
                      FileURLCase{"EscapedLeadingSlash", "file:%2Ftmp%2Fa.zip", {}},
                      FileURLCase{"BrokenEscape", "file:///tmp/a%zz.zip", {}},
                      FileURLCase{"HalfEscape", "file:///tmp/a%4", {}},
                      FileURLCase{"LoneEscapeAtTheEnd", "file:///tmp/a%", {}},
                      FileURLCase{"EscapeInCapitalsAndLowerCase", "file:///tmp/%c3%A9.zip",
                                  "/tmp/\xC3\xA9.zip"},
                      FileURLCase{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
