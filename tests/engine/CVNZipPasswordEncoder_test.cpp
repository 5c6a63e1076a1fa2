// The sequence of password encodings handed out per host.
#include "engine/CVNZipPasswordEncoder.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(CVNZipPasswordEncoderTest, Sequences) {
  const Bytes abc = {'a', 'b', 'c'};
  const struct {
    uint16_t versionMadeBy;
    std::u16string password;
    std::vector<Bytes> expected;
  } cases[] = {
      // ASCII comes once per candidate.
      {0x0014, u"abc", {abc, abc, abc, abc, abc, abc}},
      {0x0014, u"", {{}, {}, {}, {}, {}, {}}},
      {0x0314, u"", {{}}},
      // Candidates that cannot represent the password are skipped: only UTF-8
      // has the emoji, "é" is in 936, 1252 and UTF-8, "日本" in all but 1252.
      {0x0014, u"\U0001F511", {{0xF0, 0x9F, 0x94, 0x91}}},
      {0x0B14, u"\u00E9", {{0xA8, 0xA6}, {0xE9}, {0xC3, 0xA9}}},
      {0x0014,
       u"\u65E5\u672C",
       {{0x93, 0xFA, 0x96, 0x7B},
        {0xEC, 0xED, 0xDC, 0xE2},
        {0xC8, 0xD5, 0xB1, 0xBE},
        {0xA4, 0xE9, 0xA5, 0xBB},
        {0xE6, 0x97, 0xA5, 0xE6, 0x9C, 0xAC}}},
      // Other hosts: UTF-8 alone.
      {0x0314, u"p\u00E4ss", {{'p', 0xC3, 0xA4, 's', 's'}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << &c - cases);
    CVNZipPasswordEncoder encoder(c.versionMadeBy, c.password);
    std::vector<Bytes> all;
    while (std::optional<Bytes> bytes = encoder.nextEncoding()) all.push_back(*bytes);
    EXPECT_EQ(all, c.expected);
    EXPECT_EQ(encoder.index(), encoder.encodings().size());
    // Used up: none on every later call.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(encoder.nextEncoding(), std::nullopt);
  }
}

}  // namespace
