// The encoder's rules, case by case under each escaping setup, and shared use
// from two threads.
#include "engine/CVNPathComponentEncoder.h"

#include <gtest/gtest.h>

#include <thread>

#include "engine/io/RVException.h"

namespace {

using E = CVNStringEncoding;

struct EncoderSetup {
  const char* format;  // nullptr: none
  bool fullwidth;
  E encoding;
};

CVNPathComponentEncoder makeEncoder(const EncoderSetup& setup) {
  CVNPathComponentEncoder encoder;
  encoder.setEncoding(setup.encoding);
  encoder.setTriesConvertingToFullwidth(setup.fullwidth);
  if (setup.format) encoder.setCharacterEscapeFormat(std::string(setup.format));
  return encoder;
}

const EncoderSetup kUnderscore{"_", false, E::WindowsLatin1},
    kCode{"(U+%04X)", false, E::WindowsLatin1}, kCode932{"(U+%04X)", false, E::WindowsJapanese},
    kWide932{"(U+%04X)", true, E::WindowsJapanese}, kWide949{"(U+%04X)", true, E::WindowsKorean},
    kWide936{"(U+%04X)", true, E::WindowsSimplifiedChinese},
    kWide1252{"(U+%04X)", true, E::WindowsLatin1}, kNone932{nullptr, false, E::WindowsJapanese},
    kNoneUTF8{nullptr, false, E::UTF8};

TEST(CVNPathComponentEncoderTest, Encodes) {
  // Each setup with its inputs, each followed by what it encodes to.
  const std::pair<EncoderSetup, std::vector<std::u16string>> groups[] = {
      // Format "_", code page 1252.
      {kUnderscore,
       {u"a:b", u"a_b", u"CON.txt", u"(CON).txt", u".", u"(.)", u"..", u"(..)", u"end ", u"end( )",
        u"name.", u"name(.)", u"<>\"\\|?*\u0001\u007F", u"_________", u"Report 2024.txt",
        u"Report 2024.txt", u"", u""}},
      // Format "(U+%04X)": ":" is turned into "/" first.
      {kCode,
       {u"a:b", u"a(U+002F)b", u"a/b", u"a(U+002F)b", u"a?b", u"a(U+003F)b", u"x\u0001y",
        u"x(U+0001)y", std::u16string(u"a\0b", 3), u"a(U+0000)b"}},
      // Fullwidth where the code page has the forms; 1252 has none.
      {kWide932,
       {u"a:b", u"a\uFF0Fb", u"con.txt", u"\uFF43\uFF4F\uFF4E.txt", u"end ", u"end\u3000",
        u"\u0001", u"(U+0001)", u".", u"\uFF0E", u"..", u"\uFF0E\uFF0E", u"nul.",
        u"\uFF4E\uFF55\uFF4C\uFF0E", u"a<b>|?*\"\\",
        u"a\uFF1Cb\uFF1E\uFF5C\uFF1F\uFF0A\uFF02\uFF3C"}},
      {kWide949, {u"a:b", u"a\uFF0Fb"}},
      {kWide936, {u"a:b", u"a\uFF0Fb"}},
      {kWide1252, {u"a:b", u"a(U+002F)b", u"con.txt", u"(con).txt", u"end ", u"end( )"}},
      // A device name with a unit that has no fullwidth form in 932 is
      // bracketed whole, never half converted.
      {kWide932, {u"co\u00F1.txt", u"co(U+00F1).txt"}},
      // Device names: only the first part, without regard to case.
      {kCode, {u"nul.",  u"(nul)(.)", u"x.con",    u"x.con",      u"COM0",       u"COM0",
               u"COM10", u"COM10",    u"CONSOLE",  u"CONSOLE",    u"CON.tar.gz", u"(CON).tar.gz",
               u"Aux",   u"(Aux)",    u"lpt9.log", u"(lpt9).log", u"com1",       u"(com1)",
               u"PRN.",  u"(PRN)(.)", u".CON",     u".CON",       u"CON .txt",   u"CON .txt"}},
      // One final space, then one final period.
      {kCode,
       {u"a. ", u"a.( )", u"a  ", u"a ( )", u"a..", u"a.(.)", u"a .", u"a (.)", u" ", u"( )",
        u"...", u"..(.)"}},
      // Composed first; what the code page cannot hold is formatted, per unit.
      {kCode932, {u"cafe\u0301", u"caf(U+00E9)"}},
      {kCode, {u"cafe\u0301", u"caf\u00E9", u"x\u0081", u"x(U+0081)"}},  // 0x81: undefined
      {kCode932, {u"\u65E5\u672C.txt", u"\u65E5\u672C.txt", u"\U0001F600", u"(U+D83D)(U+DE00)"}},
      {kCode, {u"a\U0001F600", u"a(U+D83D)(U+DE00)"}},
      {kWide932, {u"\uD55C", u"(U+D55C)"}},
      // Without a format the characters go; whole-text escapes stay.
      {kNone932,
       {u"a:b?c", u"abc", u"x\u00E9\u0001", u"x", u".", u"(.)", u"CON", u"(CON)", u"a ", u"a( )"}},
      // The control gone, the accent composes with the e.
      {kNoneUTF8, {u"e\u0001\u0301", u"\u00E9", u"\u65E5\u00E9", u"\u65E5\u00E9"}},
  };
  for (const auto& [setup, texts] : groups) {
    const CVNPathComponentEncoder encoder = makeEncoder(setup);
    ASSERT_EQ(texts.size() % 2, 0u);
    for (size_t i = 0; i < texts.size(); i += 2)
      EXPECT_EQ(encoder.encodePathComponentForWindowsFileSystem(texts[i]), texts[i + 1])
          << CVNUTF8FromUTF16(texts[i]) << " " << (setup.format ? setup.format : "none") << " "
          << setup.fullwidth << " " << static_cast<int>(setup.encoding);
  }
  // A new encoder: UTF-8, no fullwidth, no format.
  EXPECT_EQ(CVNPathComponentEncoder().encodePathComponentForWindowsFileSystem(u"a:b\u00E9."),
            u"ab\u00E9(.)");
}

TEST(CVNPathComponentEncoderTest, StepsAndReplacementRules) {
  CVNPathComponentEncoder encoder = makeEncoder(kWide932);
  EXPECT_EQ(encoder._formatCharacter(0xFFFF), u"(U+FFFF)");
  EXPECT_EQ(encoder._convertCharacterToFullwidthOrFormatCharacter(0x7F), u"(U+007F)");
  // A unit without a fullwidth form stays, and the whole text must still fit.
  EXPECT_EQ(encoder._convertAllCharactersToFullwidthOrBracketStringWholly(u"a\u65E5"),
            u"\uFF41\u65E5");
  EXPECT_EQ(encoder._convertAllCharactersToFullwidthOrBracketStringWholly(u"a\u00E9"),
            u"(a\u00E9)");
  encoder = makeEncoder(kCode);
  EXPECT_EQ(encoder._convertAllCharactersToFullwidthOrBracketStringWholly(u"a b"), u"(a b)");
  EXPECT_EQ(encoder._escapeReservedFileNamesForWindowsFileSystem(u"..."), u"...");
  EXPECT_EQ(encoder._escapeReservedCharactersForWindowsFileSystem(u"a:b"), u"a(U+003A)b");
  EXPECT_EQ(encoder._escapeReservedDeviceNamesForWindowsFileSystem(u"aux.c.d"), u"(aux).c.d");
  EXPECT_EQ(encoder._formatAllUnencodableCharacters(u"\u00E9\u65E5"), u"\u00E9(U+65E5)");
}

// The format is printf's: anything but one integer conversion would read
// arguments that are not there.
TEST(CVNPathComponentEncoderTest, FormatsOtherThanOneIntegerConversionAreRefused) {
  CVNPathComponentEncoder encoder;
  for (const char* bad : {"%s", "%u%u", "%n", "%*u", "%", "(%lu)", "%99999u", "%c"})
    EXPECT_THROW(encoder.setCharacterEscapeFormat(std::string(bad)), RVException) << bad;
  for (const char* good : {"_", "(U+%04X)", "%u", "[%#x]", "100%%-%-6d", ""})
    EXPECT_NO_THROW(encoder.setCharacterEscapeFormat(std::string(good))) << good;
  encoder.setCharacterEscapeFormat(std::string("100%%-%u"));
  EXPECT_EQ(encoder._formatCharacter(u'?'), u"100%-63");
  // A replacement the encoding cannot hold is a programming error.
  encoder = makeEncoder({"\xC3\xA9%u", false, E::WindowsJapanese});  // "é%u"
  EXPECT_THROW(encoder.encodePathComponentForWindowsFileSystem(u"a?"), RVException);
  encoder.setEncoding(E::WindowsLatin1);
  EXPECT_EQ(encoder.encodePathComponentForWindowsFileSystem(u"a?"), u"a\u00E963");
}

TEST(CVNPathComponentEncoderTest, OneEncoderServesTwoThreads) {
  const CVNPathComponentEncoder encoder = makeEncoder(kWide932);
  const std::vector<std::u16string> inputs = {u"a:b",
                                              u"con.txt",
                                              u"end ",
                                              u"cafe\u0301",
                                              u"\u65E5\u672C\u8A9E.txt",
                                              u"\U0001F600",
                                              u"nul.",
                                              u"Report 2024 (final).docx"};
  std::vector<std::u16string> expected;
  for (const std::u16string& input : inputs)
    expected.push_back(encoder.encodePathComponentForWindowsFileSystem(input));
  int failures[2] = {0, 0};
  auto work = [&](int t) {
    for (int i = 0; i < 3000; ++i) {
      size_t k = static_cast<size_t>(i + t) % expected.size();
      failures[t] += encoder.encodePathComponentForWindowsFileSystem(inputs[k]) != expected[k];
    }
  };
  std::thread first(work, 0), second(work, 1);
  first.join();
  second.join();
  EXPECT_EQ(failures[0] + failures[1], 0);
}

}  // namespace
