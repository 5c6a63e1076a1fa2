// Our code-page conversions against Python's codecs, which follow the published
// Windows tables.
#include <gtest/gtest.h>

#include "engine/CVNStringEncoding.h"
#include "support/TestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;
using E = CVNStringEncoding;

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string hex(const Bytes& bytes) { return hex(std::string(bytes.begin(), bytes.end())); }

// Python's encoding of the UTF-8 text, as hex, or "none" when the codec refuses it.
std::string pythonEncode(const std::string& codec, const std::string& utf8) {
  const std::string script =
      "import sys\n"
      "try: print(bytes.fromhex(sys.argv[2]).decode('utf-8').encode(sys.argv[1]).hex())\n"
      "except UnicodeError: print('none')\n";
  std::string output;
  int status = corvana_test::runCommand(
      "python3 -c " + corvana_test::shellQuote(script) + " " + codec + " " + hex(utf8), &output);
  EXPECT_EQ(status, 0) << output;
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

// Python's decoding of the bytes, as UTF-8 hex, or "none".
std::string pythonDecode(const std::string& codec, const Bytes& bytes) {
  const std::string script =
      "import sys\n"
      "try: print(bytes.fromhex(sys.argv[2]).decode(sys.argv[1]).encode('utf-8').hex())\n"
      "except UnicodeError: print('none')\n";
  std::string output;
  int status = corvana_test::runCommand(
      "python3 -c " + corvana_test::shellQuote(script) + " " + codec + " " + hex(bytes), &output);
  EXPECT_EQ(status, 0) << output;
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

struct Sample {
  E encoding;
  const char* codec;
  std::string utf8;
};

const Sample kSamples[] = {
    {E::WindowsJapanese, "cp932",
     "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x83\x95"
     "\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB.txt"},  // 日本語のファイル.txt
    {E::WindowsJapanese, "cp932",
     "\xEF\xBD\xB6\xEF\xBE\x85 \xE2\x91\xA0\xE2\x85\xA0\xEF\xBC\x8F"
     "\xEF\xBD\x9E\xE3\x88\xB1"},  // ｶﾅ ①Ⅰ／～㈱
    {E::WindowsJapanese, "cp932", std::string("\x1A\x1C\x7F\x01", 4)},
    {E::WindowsJapanese, "cp932", "caf\xC3\xA9"},  // refused by both
    {E::WindowsKorean, "cp949",
     "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4 \xEB\xAC\xB8\xEC\x84\x9C"
     ".hwp"},                                                 // 한국어 문서.hwp
    {E::WindowsKorean, "cp949", "\xEB\x98\xA0\xEA\xB7\xB8"},  // UHC-only syllables: 똠긓
    {E::WindowsSimplifiedChinese, "cp936",
     "\xE4\xB8\xAD\xE6\x96\x87\xE6\x96\x87\xE4\xBB\xB6"
     "\xE5\xA4\xB9\xEF\xBC\x8C"},                                        // 中文文件夹，
    {E::WindowsSimplifiedChinese, "cp936", "\xE4\xB8\x82\xE9\xBE\xA5"},  // GBK extension: 丂龥
    {E::WindowsTraditionalChinese, "cp950",
     "\xE7\xB9\x81\xE9\xAB\x94\xE4\xB8\xAD\xE6\x96\x87"
     "\xE6\xAA\x94\xE6\xA1\x88"},                                         // 繁體中文檔案
    {E::WindowsTraditionalChinese, "cp950", "\xEF\xBC\x81\xE2\x80\x94"},  // ！—
    {E::WindowsLatin1, "cp1252",
     "Caf\xC3\xA9 \xE2\x82\xAC \xC5\xBD\xC5\x93 \xC3\xBF"},  // Café € Žœ ÿ
    {E::WindowsLatin1, "cp1252", "\xC2\x81"},                // U+0081: refused by both
    {E::WindowsLatin1, "cp1252", "\xE6\x97\xA5"},
};

class CVNStringEncodingInterop : public testing::Test {
 protected:
  void SetUp() override {
    if (!corvana_test::haveProgram("python3")) GTEST_SKIP() << "python3 not installed";
  }
};

TEST_F(CVNStringEncodingInterop, EncodingsMatchPython) {
  for (const Sample& s : kSamples) {
    std::u16string text = *CVNUTF16FromUTF8(s.utf8);
    std::optional<Bytes> ours = CVNEncodeString(text, s.encoding);
    std::string theirs = pythonEncode(s.codec, s.utf8);
    EXPECT_EQ(ours ? hex(*ours) : "none", theirs) << s.codec << " " << s.utf8;
    if (ours) {
      EXPECT_EQ(CVNDecodeString(*ours, s.encoding), text) << s.codec << " " << s.utf8;
    }
  }
}

TEST_F(CVNStringEncodingInterop, DecodingsMatchPython) {
  struct {
    E encoding;
    const char* codec;
    Bytes bytes;
  } cases[] = {
      {E::WindowsLatin1, "cp1252", {0x81}},
      {E::WindowsLatin1, "cp1252", {0x9D, 'a'}},
      {E::WindowsLatin1, "cp1252", {0x80, 0x9F}},
      {E::WindowsJapanese, "cp932", {0x81, 0x40}},
      {E::WindowsJapanese, "cp932", {0x82}},
      {E::WindowsJapanese, "cp932", {0x87, 0x40}},
      {E::WindowsKorean, "cp949", {0x81, 0x41}},
      {E::WindowsKorean, "cp949", {0xB0, 0x20}},
      {E::WindowsSimplifiedChinese, "cp936", {0x81, 0x40}},
      {E::WindowsTraditionalChinese, "cp950", {0xA4, 0x40, 0xF9, 0xD5}},
      {E::WindowsTraditionalChinese, "cp950", {0xA4}},
  };
  for (const auto& c : cases) {
    std::optional<std::u16string> ours = CVNDecodeString(c.bytes, c.encoding);
    EXPECT_EQ(ours ? hex(CVNUTF8FromUTF16(*ours)) : "none", pythonDecode(c.codec, c.bytes))
        << c.codec << " " << hex(c.bytes);
  }
}

}  // namespace
