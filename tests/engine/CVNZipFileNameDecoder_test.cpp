// Candidate encodings by host byte and UTF-8 flag, and the trial of candidates.
#include "engine/CVNZipFileNameDecoder.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;
using E = CVNStringEncoding;

TEST(CVNZipFileNameDecoderTest, CandidatesByHostByteAndFlag) {
  const std::vector<E> windows = {
      E::WindowsJapanese,           E::WindowsKorean, E::WindowsSimplifiedChinese,
      E::WindowsTraditionalChinese, E::WindowsLatin1, E::UTF8};
  // With the UTF-8 flag, UTF-8 moves to the front.
  std::vector<E> utf8First = {E::UTF8};
  utf8First.insert(utf8First.end(), windows.begin(), windows.end() - 1);
  const struct {
    uint16_t versionMadeBy, flag;
    std::vector<E> expected;
  } cases[] = {
      {0x0014, 0, windows},        {0x0B14, 0, windows},
      {0x0314, 0, {E::UTF8}},      {0x0A14, 0, {E::UTF8}},
      {0x1314, 0, {E::UTF8}},      {0x0014, 0x0800, utf8First},
      {0x0B3F, 0x0808, utf8First}, {0x0314, 0x0800, {E::UTF8}},
      {0x0014, 0xF7FF, windows},  // every other flag bit is ignored
  };
  for (const auto& c : cases) {
    if (c.flag == 0) {
      EXPECT_EQ(CVNZipEncodingsForVersionMadeBy(c.versionMadeBy), c.expected);
    }
    EXPECT_EQ(CVNZipFileNameDecoder(c.versionMadeBy, c.flag).encodings(), c.expected)
        << std::hex << c.versionMadeBy << " " << c.flag;
  }
}

TEST(CVNZipFileNameDecoderTest, DecodesWithTheFirstCandidateThatFits) {
  // "日本" in UTF-8 is also valid code page 932 text.
  const Bytes nihonUTF8 = {0xE6, 0x97, 0xA5, 0xE6, 0x9C, 0xAC};
  const struct {
    uint16_t versionMadeBy, flag;
    Bytes name;
    std::optional<std::u16string> expected;
  } cases[] = {
      {0x0314, 0, nihonUTF8, u"\u65E5\u672C"},
      {0x0314, 0, {'a', 0xE9}, std::nullopt},
      {0x0314, 0, {0xEF, 0xA3, 0xBF}, u"\uF8FF"},  // private use is fine in UTF-8
      {0x0014, 0, {0x93, 0xFA, 0x96, 0x7B, '.', 't', 'x', 't'}, u"\u65E5\u672C.txt"},
      // "한국어": the final 0xEE cuts a 932 character off.
      {0x0B14, 0, {0xC7, 0xD1, 0xB1, 0xB9, 0xBE, 0xEE}, u"\uD55C\uAD6D\uC5B4"},
      {0x0014, 0, {'c', 'a', 'f', 0xE9}, u"caf\u00E9"},  // 1252 after four failures
      // Without the flag UTF-8 comes last; with it, first, then the code pages.
      {0x0014, 0, nihonUTF8, u"\u8B4C\uFF65\u8B5B\uFF6C"},
      {0x0014, 0x0800, nihonUTF8, u"\u65E5\u672C"},
      {0x0014, 0x0800, {0x93, 0xFA}, u"\u65E5"},
      {0x0B14, 0x0800, {'c', 'a', 'f', 0xC3, 0xA9}, u"caf\u00E9"},
      {0x0B14, 0, {'c', 'a', 'f', 0xC3, 0xA9}, u"caf\uFF83\uFF69"},
      {0x0014, 0, {}, u""},
      {0x0314, 0, {}, u""},
      {0x0014, 0, {0x81, 0xFF}, std::nullopt},
      // 0xF040 is user-defined in 932; as 936 it is an ordinary character.
      {0x0014, 0, {0xF0, 0x40}, u"\u9908"},
      // Korean private use (0xC9A1) must not win over a later candidate.
      {0x0014, 0, {0xC9, 0xA1, 0xFD}, u"\u00C9\u00A1\u00FD"},
      // Private use in 949, 936 and 950, and 1252 fails on 0x81: the first
      // private-use decoding is kept rather than losing the name.
      {0x0014, 0, {0xFE, 0xFE, 0x81, 0x40}, u"\uE4C5\u4E02"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CVNZipFileNameDecoder(c.versionMadeBy, c.flag).decodeFileName(c.name), c.expected)
        << "row " << &c - cases;
  }
}

}  // namespace
