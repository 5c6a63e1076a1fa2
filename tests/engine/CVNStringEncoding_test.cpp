// Strict conversions in each code page, the 1252 holes, the 932 control-byte
// corrections, the UTF-8 helpers and per-thread converters.
#include "engine/CVNStringEncoding.h"

#include <gtest/gtest.h>

#include <thread>

#include "engine/io/RVException.h"

namespace {

using Bytes = std::vector<uint8_t>;
using E = CVNStringEncoding;
using enum CVNStringEncoding;

TEST(CVNStringEncodingTest, RoundTrips) {
  std::u16string longText, ascii;  // a long text converts whole
  Bytes longBytes, asciiBytes;
  for (int i = 0; i < 5000; ++i)
    longText += u"\u65E5a", longBytes.insert(longBytes.end(), {0x93, 0xFA, 'a'});
  for (char16_t unit = 0; unit < 0x80; ++unit) ascii += unit, asciiBytes.push_back(uint8_t(unit));
  const struct {
    E encoding;
    std::u16string text;
    Bytes bytes;
  } cases[] = {
      {WindowsLatin1, u"caf\u00E9 \u20AC\u017D", {'c', 'a', 'f', 0xE9, ' ', 0x80, 0x8E}},
      {WindowsLatin1, std::u16string(u"\0\x1A\x7F", 3), {0x00, 0x1A, 0x7F}},
      // The 1252 holes' neighbours are ordinary characters.
      {WindowsLatin1, u"\u20AC\u0152\u017D\u0153\u017E", {0x80, 0x8C, 0x8E, 0x9C, 0x9E}},
      {WindowsJapanese, u"\u65E5\u672C\u8A9E\uFF76", {0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA, 0xB6}},
      // Windows maps 0x1A, 0x1C and 0x7F to themselves, not ICU's IBM way.
      {WindowsJapanese, u"\u001A\u65E5\u001C\u007F", {0x1A, 0x93, 0xFA, 0x1C, 0x7F}},
      {WindowsJapanese, u"", {}},
      {WindowsKorean, u"\uD55C\uAD6D", {0xC7, 0xD1, 0xB1, 0xB9}},
      {WindowsSimplifiedChinese, u"\u4E2D\u6587", {0xD6, 0xD0, 0xCE, 0xC4}},
      {WindowsTraditionalChinese, u"\u4E2D\u6587", {0xA4, 0xA4, 0xA4, 0xE5}},
      {UTF8, u"a\u00E9\U0001F600", {'a', 0xC3, 0xA9, 0xF0, 0x9F, 0x98, 0x80}},
      {WindowsJapanese, longText, longBytes},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.encoding) << " row " << &c - cases);
    EXPECT_EQ(CVNEncodeString(c.text, c.encoding), c.bytes);
    EXPECT_EQ(CVNDecodeString(c.bytes, c.encoding), c.text);
    EXPECT_TRUE(CVNCanEncodeString(c.text, c.encoding));
    // Every encoding represents ASCII, controls included, as itself.
    Bytes withASCII = asciiBytes;
    withASCII.insert(withASCII.end(), c.bytes.begin(), c.bytes.end());
    EXPECT_EQ(CVNEncodeString(ascii + c.text, c.encoding), withASCII);
    EXPECT_EQ(CVNDecodeString(withASCII, c.encoding), ascii + c.text);
  }
}

TEST(CVNStringEncodingTest, InvalidBytesAndUnrepresentableCharactersFail) {
  // A lead byte cut off, a bad trail byte; overlong UTF-8, an encoded surrogate.
  const std::pair<E, Bytes> invalid[] = {
      {WindowsJapanese, {0x81}},
      {WindowsJapanese, {'a', 0x81, 0x20}},
      {WindowsJapanese, {0x80}},
      {WindowsKorean, {0xC7}},
      {WindowsSimplifiedChinese, {0xD6, 0x20}},
      {WindowsTraditionalChinese, {0xA4, 0x20}},
      {UTF8, {0xC0, 0x80}},
      {UTF8, {0xED, 0xA0, 0x80}},
      {UTF8, {'a', 0x80}},
  };
  for (const auto& [encoding, bytes] : invalid)
    EXPECT_EQ(CVNDecodeString(bytes, encoding), std::nullopt)
        << static_cast<int>(encoding) << " byte " << int(bytes[0]);
  // The last three: unpaired surrogates.
  const std::pair<E, std::u16string> unrepresentable[] = {
      {WindowsJapanese, u"caf\u00E9"},
      {WindowsLatin1, u"\u65E5"},
      {WindowsKorean, u"\U0001F600"},
      {WindowsSimplifiedChinese, u"\xD83D"},
      {UTF8, u"a\xD83D"},
      {UTF8, std::u16string{0xDE00, u'a'}},
  };
  for (const auto& [encoding, text] : unrepresentable) {
    EXPECT_EQ(CVNEncodeString(text, encoding), std::nullopt) << static_cast<int>(encoding);
    EXPECT_FALSE(CVNCanEncodeString(text, encoding)) << static_cast<int>(encoding);
  }
  // The five 1252 holes are undefined both ways.
  for (uint8_t hole : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    EXPECT_EQ(CVNDecodeString(Bytes{'a', hole}, WindowsLatin1), std::nullopt) << int(hole);
    EXPECT_FALSE(CVNEncodeString(std::u16string(1, char16_t(hole)), WindowsLatin1)) << int(hole);
    EXPECT_FALSE(CVNCanEncodeString(std::u16string(1, char16_t(hole)), WindowsLatin1));
  }
  // An encoding outside the set is a programming error.
  EXPECT_THROW(CVNEncodeString(u"a", static_cast<E>(437)), RVException);
  EXPECT_THROW(CVNDecodeString(Bytes{'a'}, static_cast<E>(437)), RVException);
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

TEST(CVNStringEncodingTest, ThreadsConvertAtTheSameTime) {
  const std::u16string japanese = u"\u65E5\u672C\u8A9E\u001A.txt", korean = u"\uD55C\uAD6D\uC5B4";
  const Bytes japaneseBytes = *CVNEncodeString(japanese, WindowsJapanese);
  const Bytes koreanBytes = *CVNEncodeString(korean, WindowsKorean);
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        failures[t] += CVNEncodeString(japanese, WindowsJapanese) != japaneseBytes;
        failures[t] += CVNDecodeString(koreanBytes, WindowsKorean) != korean;
        failures[t] += CVNDecodeString(japaneseBytes, WindowsKorean) == japanese;
        failures[t] += CVNCanEncodeString(korean, WindowsLatin1);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
