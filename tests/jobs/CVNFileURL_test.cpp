#include "jobs/CVNFileURL.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct RoundTripCase {
  const char* name;
  std::string path;
  const char* encoded;  // null: not checked
};

class FileURLRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(FileURLRoundTrip, ThePathComesBackByteForByte) {
  const RoundTripCase& c = GetParam();
  const QByteArray encoded = CVNFileURLFromPath(c.path).toEncoded();
  if (c.encoded) {
    EXPECT_EQ(encoded, QByteArray(c.encoded));
  }
  // Plain ASCII on the wire, whatever the name's bytes.
  for (const char byte : encoded) EXPECT_LT(static_cast<unsigned char>(byte), 0x80);
  EXPECT_EQ(CVNPathFromFileURL(encoded), c.path);
}

std::string everyByte() {
  std::string path = "/tmp/";
  for (int byte = 1; byte < 256; ++byte) {
    if (byte != '/') path += static_cast<char>(byte);
  }
  return path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileURLRoundTrip,
    ::testing::Values(RoundTripCase{"Latin1", "/tmp/caf\xE9.zip", "file:///tmp/caf%E9.zip"},
                      RoundTripCase{"ReplacementCharacter", "/tmp/caf\xEF\xBF\xBD.zip",
                                    "file:///tmp/caf%EF%BF%BD.zip"},
                      RoundTripCase{"Utf8", "/tmp/\xE6\x97\xA5\xE6\x9C\xAC.zip", nullptr},
                      RoundTripCase{"Delimiters", "/tmp/a b%25?#;[1].zip", nullptr},
                      RoundTripCase{"Folder", "/tmp/dir/", "file:///tmp/dir/"},
                      RoundTripCase{"Root", "/", "file:///"},
                      RoundTripCase{"EveryByte", everyByte(), nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReadCase {
  const char* name;
  const char* uri;
  const char* path;  // null: not a local file
};

class FileURLRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(FileURLRead, OnlyLocalFileURIsGiveAPath) {
  const ReadCase& c = GetParam();
  const std::optional<std::string> path = CVNPathFromFileURL(QByteArray(c.uri));
  if (c.path) {
    EXPECT_EQ(path, std::string(c.path));
  } else {
    EXPECT_EQ(path, std::nullopt);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileURLRead,
    ::testing::Values(ReadCase{"NoHost", "file:///tmp/caf%E9.zip", "/tmp/caf\xE9.zip"},
                      ReadCase{"ShortForm", "file:/tmp/a.zip", "/tmp/a.zip"},
                      ReadCase{"Localhost", "file://localhost/tmp/a.zip", "/tmp/a.zip"},
                      ReadCase{"SchemeInCapitals", "FILE:///tmp/a.zip", "/tmp/a.zip"},
                      ReadCase{"Spaces", "  file:///tmp/a.zip\r", "/tmp/a.zip"},
                      ReadCase{"RawBytesKept", "file:///tmp/caf\xE9.zip", "/tmp/caf\xE9.zip"},
                      ReadCase{"QueryAndFragmentIgnored", "file:///tmp/a.zip?x#y", "/tmp/a.zip"},
                      ReadCase{"OtherHost", "file://example.com/tmp/a.zip", nullptr},
                      ReadCase{"HostWithoutPath", "file://localhost", nullptr},
                      ReadCase{"Remote", "https://example.com/a.zip", nullptr},
                      ReadCase{"Relative", "file:a.zip", nullptr},
                      ReadCase{"NulByte", "file:///tmp/a%00b.zip", nullptr},
                      ReadCase{"EscapedSlash", "file:///tmp/a%2Fb.zip", nullptr},
                      ReadCase{"EscapedSlashLowerCase", "file:///tmp/a%2fb.zip", nullptr},
                      ReadCase{"EscapedLeadingSlash", "file:%2Ftmp%2Fa.zip", nullptr},
                      ReadCase{"BrokenEscape", "file:///tmp/a%zz.zip", nullptr},
                      ReadCase{"HalfEscape", "file:///tmp/a%4", nullptr},
                      ReadCase{"LoneEscapeAtTheEnd", "file:///tmp/a%", nullptr},
                      ReadCase{"EscapeInCapitalsAndLowerCase", "file:///tmp/%c3%A9.zip",
                               "/tmp/\xC3\xA9.zip"},
                      ReadCase{"Empty", "", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
