// The sequence of password encodings handed out per host.
#include "engine/CVNZipPasswordEncoder.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> drain(CVNZipPasswordEncoder& encoder) {
  std::vector<Bytes> all;
  while (std::optional<Bytes> bytes = encoder.nextEncoding()) all.push_back(*bytes);
  return all;
}

TEST(CVNZipPasswordEncoderTest, ASCIIComesOncePerCandidateThenNeverAgain) {
  CVNZipPasswordEncoder encoder(0x0014, u"abc");
  EXPECT_EQ(drain(encoder), std::vector<Bytes>(6, Bytes{'a', 'b', 'c'}));
  EXPECT_EQ(encoder.index(), 6u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(encoder.nextEncoding(), std::nullopt);
}

TEST(CVNZipPasswordEncoderTest, UnrepresentableCandidatesAreSkipped) {
  CVNZipPasswordEncoder emoji(0x0014, u"\U0001F511");
  EXPECT_EQ(drain(emoji), (std::vector<Bytes>{{0xF0, 0x9F, 0x94, 0x91}}));
  EXPECT_EQ(emoji.nextEncoding(), std::nullopt);

  // "é" is in 936, 1252 and UTF-8 only.
  CVNZipPasswordEncoder accent(0x0B14, u"\u00E9");
  EXPECT_EQ(drain(accent), (std::vector<Bytes>{{0xA8, 0xA6}, {0xE9}, {0xC3, 0xA9}}));

  // "日本" in 932, 949, 936, 950, UTF-8; never 1252.
  CVNZipPasswordEncoder kanji(0x0014, u"\u65E5\u672C");
  EXPECT_EQ(drain(kanji), (std::vector<Bytes>{{0x93, 0xFA, 0x96, 0x7B},
                                              {0xEC, 0xED, 0xDC, 0xE2},
                                              {0xC8, 0xD5, 0xB1, 0xBE},
                                              {0xA4, 0xE9, 0xA5, 0xBB},
                                              {0xE6, 0x97, 0xA5, 0xE6, 0x9C, 0xAC}}));
}

TEST(CVNZipPasswordEncoderTest, FlagIsNotConsultedAndOtherHostsUseUTF8) {
  CVNZipPasswordEncoder unix(0x0314, u"p\u00E4ss");
  EXPECT_EQ(drain(unix), (std::vector<Bytes>{{'p', 0xC3, 0xA4, 's', 's'}}));
  CVNZipPasswordEncoder windows(0x0014, u"x");
  EXPECT_EQ(windows.encodings().front(), CVNStringEncoding::WindowsJapanese);
  EXPECT_EQ(windows.password(), u"x");
}

TEST(CVNZipPasswordEncoderTest, EmptyPassword) {
  CVNZipPasswordEncoder encoder(0x0014, u"");
  EXPECT_EQ(encoder.nextEncoding(), Bytes{});
  EXPECT_EQ(drain(encoder).size(), 5u);
  CVNZipPasswordEncoder unix(0x0314, u"");
  EXPECT_EQ(unix.nextEncoding(), Bytes{});
  EXPECT_EQ(unix.nextEncoding(), std::nullopt);
}

}  // namespace
