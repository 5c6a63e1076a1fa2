// Candidate encodings by host byte and UTF-8 flag, and the trial of candidates.
#include "engine/CVNZipFileNameDecoder.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;
using E = CVNStringEncoding;

const std::vector<E> kWindowsCandidates = {
    E::WindowsJapanese,           E::WindowsKorean, E::WindowsSimplifiedChinese,
    E::WindowsTraditionalChinese, E::WindowsLatin1, E::UTF8,
};

TEST(CVNZipFileNameDecoderTest, CandidatesByHostByteAndFlag) {
  struct {
    uint16_t versionMadeBy, flag;
    std::vector<E> expected;
  } cases[] = {
      {0x0014, 0, kWindowsCandidates},
      {0x0B14, 0, kWindowsCandidates},
      {0x0314, 0, {E::UTF8}},
      {0x0A14, 0, {E::UTF8}},
      {0x1314, 0, {E::UTF8}},
      {0x0014,
       0x0800,
       {E::UTF8, E::WindowsJapanese, E::WindowsKorean, E::WindowsSimplifiedChinese,
        E::WindowsTraditionalChinese, E::WindowsLatin1}},
      {0x0B3F,
       0x0808,
       {E::UTF8, E::WindowsJapanese, E::WindowsKorean, E::WindowsSimplifiedChinese,
        E::WindowsTraditionalChinese, E::WindowsLatin1}},
      {0x0314, 0x0800, {E::UTF8}},
      {0x0014, 0xF7FF, kWindowsCandidates},  // every other flag bit is ignored
  };
  for (const auto& c : cases) {
    if (c.flag == 0) {
      EXPECT_EQ(CVNZipEncodingsForVersionMadeBy(c.versionMadeBy), c.expected);
    }
    EXPECT_EQ(CVNZipFileNameDecoder(c.versionMadeBy, c.flag).encodings(), c.expected)
        << std::hex << c.versionMadeBy << " " << c.flag;
  }
}

struct Trial {
  const char* label;
  uint16_t versionMadeBy, flag;
  Bytes name;
  std::optional<std::u16string> expected;
};

class CVNZipFileNameTrial : public testing::TestWithParam<Trial> {};

TEST_P(CVNZipFileNameTrial, Decodes) {
  const Trial& t = GetParam();
  EXPECT_EQ(CVNZipFileNameDecoder(t.versionMadeBy, t.flag).decodeFileName(t.name), t.expected);
}

// "日本" in UTF-8 is also valid code page 932 text.
const Bytes kNihonUTF8 = {0xE6, 0x97, 0xA5, 0xE6, 0x9C, 0xAC};
const std::u16string kNihonAs932 = u"\u8B4C\uFF65\u8B5B\uFF6C";

INSTANTIATE_TEST_SUITE_P(
    Names, CVNZipFileNameTrial,
    testing::Values(
        Trial{"Unix", 0x0314, 0, kNihonUTF8, u"\u65E5\u672C"},
        Trial{"UnixInvalidUTF8", 0x0314, 0, {'a', 0xE9}, std::nullopt},
        Trial{"UnixPrivateUseIsFine", 0x0314, 0, {0xEF, 0xA3, 0xBF}, u"\uF8FF"},
        Trial{"Japanese",
              0x0014,
              0,
              {0x93, 0xFA, 0x96, 0x7B, '.', 't', 'x', 't'},
              u"\u65E5\u672C.txt"},
        // "한국어": the final 0xEE cuts a 932 character off.
        Trial{"Korean", 0x0B14, 0, {0xC7, 0xD1, 0xB1, 0xB9, 0xBE, 0xEE}, u"\uD55C\uAD6D\uC5B4"},
        Trial{"Latin1AfterFourFailures", 0x0014, 0, {'c', 'a', 'f', 0xE9}, u"caf\u00E9"},
        Trial{"UTF8ReadAs932WithoutFlag", 0x0014, 0, kNihonUTF8, kNihonAs932},
        Trial{"UTF8WithFlag", 0x0014, 0x0800, kNihonUTF8, u"\u65E5\u672C"},
        Trial{"FlagFallsBackToCodePages", 0x0014, 0x0800, {0x93, 0xFA}, u"\u65E5"},
        Trial{"NTFSWithFlag", 0x0B14, 0x0800, {'c', 'a', 'f', 0xC3, 0xA9}, u"caf\u00E9"},
        Trial{"NTFSWithoutFlag", 0x0B14, 0, {'c', 'a', 'f', 0xC3, 0xA9}, u"caf\uFF83\uFF69"},
        Trial{"Empty", 0x0014, 0, {}, u""}, Trial{"EmptyUnix", 0x0314, 0, {}, u""},
        Trial{"Undecodable", 0x0014, 0, {0x81, 0xFF}, std::nullopt},
        // 0xF040 is user-defined in 932; as 936 it is an ordinary character.
        Trial{"PrivateUseSkipped", 0x0014, 0, {0xF0, 0x40}, u"\u9908"},
        // Private use in 949, 936 and 950, and 1252 fails on 0x81: the first
        // private-use decoding is kept rather than losing the name.
        Trial{"OnlyPrivateUse", 0x0014, 0, {0xFE, 0xFE, 0x81, 0x40}, u"\uE4C5\u4E02"}),
    [](const testing::TestParamInfo<Trial>& info) { return std::string(info.param.label); });

TEST(CVNZipFileNameDecoderTest, PrivateUseDecodingsAreTriedLast) {
  // Korean private use (0xC9A1) must not win over a later candidate.
  const Bytes name = {0xC9, 0xA1, 0xFD};
  ASSERT_TRUE(CVNDecodeString(name, E::WindowsJapanese) == std::nullopt);
  std::optional<std::u16string> korean = CVNDecodeString(Bytes{0xC9, 0xA1}, E::WindowsKorean);
  ASSERT_TRUE(korean && (*korean)[0] >= 0xE000 && (*korean)[0] <= 0xF8FF);
  std::optional<std::u16string> text = CVNZipFileNameDecoder(0x0014).decodeFileName(name);
  ASSERT_TRUE(text);
  for (char16_t unit : *text) EXPECT_FALSE(unit >= 0xE000 && unit <= 0xF8FF) << int(unit);
}

}  // namespace
