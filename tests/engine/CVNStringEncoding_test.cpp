// Strict conversions in each code page, the 1252 holes, the 932 control-byte
// corrections, the UTF-8 helpers and per-thread converters.
#include "engine/CVNStringEncoding.h"

#include <gtest/gtest.h>

#include <thread>

#include "engine/io/RVException.h"

namespace {

using Bytes = std::vector<uint8_t>;
using E = CVNStringEncoding;

struct RoundTrip {
  const char* label;
  E encoding;
  std::u16string text;
  Bytes bytes;
};

class CVNStringEncodingRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(CVNStringEncodingRoundTrip, EncodesAndDecodesAlike) {
  const RoundTrip& c = GetParam();
  EXPECT_EQ(CVNEncodeString(c.text, c.encoding), c.bytes);
  EXPECT_EQ(CVNDecodeString(c.bytes, c.encoding), c.text);
  EXPECT_TRUE(CVNCanEncodeString(c.text, c.encoding));
}

INSTANTIATE_TEST_SUITE_P(
    Samples, CVNStringEncodingRoundTrip,
    testing::Values(
        RoundTrip{"Latin1",
                  E::WindowsLatin1,
                  u"caf\u00E9 \u20AC\u017D",
                  {'c', 'a', 'f', 0xE9, ' ', 0x80, 0x8E}},
        RoundTrip{"Japanese",
                  E::WindowsJapanese,
                  u"\u65E5\u672C\u8A9E\uFF76",
                  {0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA, 0xB6}},
        RoundTrip{"Korean", E::WindowsKorean, u"\uD55C\uAD6D", {0xC7, 0xD1, 0xB1, 0xB9}},
        RoundTrip{"SimplifiedChinese",
                  E::WindowsSimplifiedChinese,
                  u"\u4E2D\u6587",
                  {0xD6, 0xD0, 0xCE, 0xC4}},
        RoundTrip{"TraditionalChinese",
                  E::WindowsTraditionalChinese,
                  u"\u4E2D\u6587",
                  {0xA4, 0xA4, 0xA4, 0xE5}},
        RoundTrip{"UTF8", E::UTF8, u"a\u00E9\U0001F600", {'a', 0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80}},
        RoundTrip{"Empty932", E::WindowsJapanese, u"", {}},
        RoundTrip{"Controls1252",
                  E::WindowsLatin1,
                  std::u16string(u"\0\x1A\x7F", 3),
                  {0x00, 0x1A, 0x7F}}),
    [](const testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.label); });

TEST(CVNStringEncodingTest, InvalidBytesFailInsteadOfBeingSubstituted) {
  struct Case {
    E encoding;
    Bytes bytes;
  } cases[] = {
      {E::WindowsJapanese, {0x81}},             // lead byte cut off
      {E::WindowsJapanese, {'a', 0x81, 0x20}},  // bad trail byte
      {E::WindowsJapanese, {0x80}},
      {E::WindowsKorean, {0xC7}},
      {E::WindowsSimplifiedChinese, {0xD6, 0x20}},
      {E::WindowsTraditionalChinese, {0xA4, 0x20}},
      {E::UTF8, {0xC0, 0x80}},        // overlong
      {E::UTF8, {0xED, 0xA0, 0x80}},  // encoded surrogate
      {E::UTF8, {'a', 0x80}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CVNDecodeString(c.bytes, c.encoding), std::nullopt)
        << static_cast<int>(c.encoding) << " byte " << int(c.bytes[0]);
}

TEST(CVNStringEncodingTest, UnrepresentableCharactersFail) {
  struct Case {
    E encoding;
    std::u16string text;
  } cases[] = {
      {E::WindowsJapanese, u"caf\u00E9"},
      {E::WindowsLatin1, u"\u65E5"},
      {E::WindowsKorean, u"\U0001F600"},
      {E::WindowsSimplifiedChinese, u"\xD83D"},
      {E::UTF8, u"a\xD83D"},  // unpaired surrogate
      {E::UTF8,
       u"\xDE00"
       u"a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CVNEncodeString(c.text, c.encoding), std::nullopt) << static_cast<int>(c.encoding);
    EXPECT_FALSE(CVNCanEncodeString(c.text, c.encoding)) << static_cast<int>(c.encoding);
  }
}

TEST(CVNStringEncodingTest, The1252HolesAreUndefinedBothWays) {
  for (uint8_t byte : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    EXPECT_EQ(CVNDecodeString(Bytes{'a', byte}, E::WindowsLatin1), std::nullopt) << int(byte);
    std::u16string text = u"a";
    text += static_cast<char16_t>(byte);
    EXPECT_EQ(CVNEncodeString(text, E::WindowsLatin1), std::nullopt) << int(byte);
    EXPECT_FALSE(CVNCanEncodeString(text, E::WindowsLatin1)) << int(byte);
  }
  // Their neighbours are ordinary characters.
  EXPECT_EQ(CVNDecodeString(Bytes{0x80, 0x8C, 0x8E, 0x9C, 0x9E}, E::WindowsLatin1),
            u"\u20AC\u0152\u017D\u0153\u017E");
}

TEST(CVNStringEncodingTest, Japanese1A1C7FMapToThemselvesBothWays) {
  const std::u16string text = u"\u001A\u65E5\u001C\u007F";
  const Bytes bytes = {0x1A, 0x93, 0xFA, 0x1C, 0x7F};
  EXPECT_EQ(CVNEncodeString(text, E::WindowsJapanese), bytes);
  EXPECT_EQ(CVNDecodeString(bytes, E::WindowsJapanese), text);
  EXPECT_EQ(CVNDecodeString(Bytes{0x1A, 0x1C, 0x7F}, E::WindowsJapanese), u"\u001A\u001C\u007F");
  EXPECT_EQ(CVNEncodeString(u"\u001A\u001C\u007F", E::WindowsJapanese), (Bytes{0x1A, 0x1C, 0x7F}));
}

TEST(CVNStringEncodingTest, EveryCodePageRepresentsASCIIAsItself) {
  std::u16string ascii;
  Bytes bytes;
  for (int unit = 0; unit < 0x80; ++unit) {
    ascii += static_cast<char16_t>(unit);
    bytes.push_back(static_cast<uint8_t>(unit));
  }
  // A non-ASCII character forces the converter path rather than the shortcut.
  for (E encoding : {E::WindowsLatin1, E::WindowsJapanese, E::WindowsKorean,
                     E::WindowsSimplifiedChinese, E::WindowsTraditionalChinese, E::UTF8}) {
    std::u16string text = ascii + u"\u4E2D";
    std::optional<Bytes> encoded = CVNEncodeString(text, encoding);
    if (encoding == E::WindowsLatin1) {
      EXPECT_EQ(encoded, std::nullopt);
      text = ascii + u"\u00E9";
      encoded = CVNEncodeString(text, encoding);
    }
    ASSERT_TRUE(encoded) << static_cast<int>(encoding);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), encoded->begin()))
        << static_cast<int>(encoding);
    EXPECT_EQ(CVNDecodeString(*encoded, encoding), text) << static_cast<int>(encoding);
  }
}

TEST(CVNStringEncodingTest, UTF8Helpers) {
  EXPECT_EQ(CVNUTF16FromUTF8("a\xC3\xA9\xF0\x9F\x98\x80"), u"a\u00E9\U0001F600");
  EXPECT_EQ(CVNUTF16FromUTF8(""), u"");
  EXPECT_EQ(CVNUTF16FromUTF8("\xFF"), std::nullopt);
  EXPECT_EQ(CVNUTF16FromUTF8(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
  EXPECT_EQ(CVNUTF8FromUTF16(u"a\u00E9\U0001F600"), "a\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(CVNUTF8FromUTF16(u"x\xD800y"), "x\xEF\xBF\xBDy");
  EXPECT_EQ(CVNUTF8FromUTF16(u""), "");
}

TEST(CVNStringEncodingTest, LongTextsConvertWhole) {
  std::u16string text;
  for (int i = 0; i < 5000; ++i) text += u"\u65E5a";
  std::optional<Bytes> bytes = CVNEncodeString(text, E::WindowsJapanese);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), 15000u);
  EXPECT_EQ(CVNDecodeString(*bytes, E::WindowsJapanese), text);
}

TEST(CVNStringEncodingTest, AnEncodingOutsideTheSetIsAProgrammingError) {
  EXPECT_THROW(CVNEncodeString(u"a", static_cast<E>(437)), RVException);
  EXPECT_THROW(CVNDecodeString(Bytes{'a'}, static_cast<E>(437)), RVException);
}

TEST(CVNStringEncodingTest, ThreadsConvertAtTheSameTime) {
  const std::u16string japanese = u"\u65E5\u672C\u8A9E\u001A.txt";
  const std::u16string korean = u"\uD55C\uAD6D\uC5B4";
  const Bytes japaneseBytes = *CVNEncodeString(japanese, E::WindowsJapanese);
  const Bytes koreanBytes = *CVNEncodeString(korean, E::WindowsKorean);
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        if (CVNEncodeString(japanese, E::WindowsJapanese) != japaneseBytes) ++failures[t];
        if (CVNDecodeString(koreanBytes, E::WindowsKorean) != korean) ++failures[t];
        if (CVNDecodeString(japaneseBytes, E::WindowsKorean) == japanese) ++failures[t];
        if (CVNCanEncodeString(korean, E::WindowsLatin1)) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
