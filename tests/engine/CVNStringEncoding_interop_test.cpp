// Our code-page conversions against Python's codecs, which follow the published
// Windows tables.
#include <gtest/gtest.h>

#include <sstream>

#include "engine/CVNStringEncoding.h"
#include "support/PeerArchivers.h"

namespace {

using Bytes = std::vector<uint8_t>;
using E = CVNStringEncoding;
using corvana_test::hexString;

// Each argument "e:codec:hex" (UTF-8 text to encode) or "d:codec:hex" (bytes
// to decode) gives a line: the result as hex (UTF-8 for a decoding), or "none".
const char kConvert[] = R"(import sys
for op, codec, data in (a.split(':') for a in sys.argv[1:]):
    data = bytes.fromhex(data)
    try:
        text = data.decode('utf-8') if op == 'e' else data.decode(codec)
        print((text.encode(codec) if op == 'e' else text.encode('utf-8')).hex())
    except UnicodeError:
        print('none')
)";

// Per code page, texts to encode and bytes to decode. Both sides refuse "café"
// in 932 and U+0081 in 1252; "똠긓" is in the UHC extension of 949, "丂龥" in the
// GBK extension of 936.
const struct {
  E encoding;
  std::vector<std::string> texts, bytes;
} kSamples[] = {
    {E::WindowsJapanese,
     {"日本語のファイル.txt", "ｶﾅ ①Ⅰ／～㈱", std::string("\x1A\x1C\x7F\x01", 4), "café"},
     {"\x81\x40", "\x82", "\x87\x40"}},
    {E::WindowsKorean, {"한국어 문서.hwp", "똠긓"}, {"\x81\x41", "\xB0\x20"}},
    {E::WindowsSimplifiedChinese, {"中文文件夹，", "丂龥"}, {"\x81\x40"}},
    {E::WindowsTraditionalChinese, {"繁體中文檔案", "！—"}, {"\xA4\x40\xF9\xD5", "\xA4"}},
    {E::WindowsLatin1,
     {"Café € Žœ ÿ", "\u0081", "日"},
     {"\x81",
      "\x9D"
      "a",
      "\x80\x9F"}},
};

TEST(CVNStringEncodingInterop, ConversionsMatchPython) {
  CORVANA_SKIP_WITHOUT_PEER("python3");
  std::vector<std::string> arguments;
  for (const auto& s : kSamples) {
    const std::string codec = "cp" + std::to_string(static_cast<int>(s.encoding)) + ":";
    for (const std::string& text : s.texts) arguments.push_back("e:" + codec + hexString(text));
    for (const std::string& bytes : s.bytes) arguments.push_back("d:" + codec + hexString(bytes));
  }
  corvana_test::PeerRun python = corvana_test::runPython(kConvert, arguments);
  ASSERT_TRUE(python.ok()) << python;
  std::istringstream lines(python.output);
  auto theirs = [&lines] {
    std::string line;
    std::getline(lines, line);
    return line;
  };
  for (const auto& s : kSamples) {
    for (const std::string& text : s.texts) {
      std::optional<Bytes> bytes = CVNEncodeString(*CVNUTF16FromUTF8(text), s.encoding);
      EXPECT_EQ(bytes ? hexString(*bytes) : "none", theirs()) << text;
      // What we encode decodes back.
      if (bytes) {
        EXPECT_EQ(CVNDecodeString(*bytes, s.encoding), CVNUTF16FromUTF8(text)) << text;
      }
    }
    for (const std::string& bytes : s.bytes) {
      std::optional<std::u16string> text =
          CVNDecodeString(Bytes(bytes.begin(), bytes.end()), s.encoding);
      EXPECT_EQ(text ? hexString(CVNUTF8FromUTF16(*text)) : "none", theirs())
          << static_cast<int>(s.encoding) << " " << hexString(bytes);
    }
  }
}

}  // namespace
