// The encoder's rules, case by case under each escaping setup, and shared use
// from two threads.
#include "engine/CVNPathComponentEncoder.h"

#include <gtest/gtest.h>

#include <thread>

#include "engine/io/RVException.h"

namespace {

using E = CVNStringEncoding;

struct Setup {
  const char* format;  // nullptr: none
  bool fullwidth;
  E encoding;
};

CVNPathComponentEncoder makeEncoder(const Setup& setup) {
  CVNPathComponentEncoder encoder;
  encoder.setEncoding(setup.encoding);
  encoder.setTriesConvertingToFullwidth(setup.fullwidth);
  if (setup.format) encoder.setCharacterEscapeFormat(std::string(setup.format));
  return encoder;
}

const Setup kUnderscore1252{"_", false, E::WindowsLatin1};
const Setup kCodePoint1252{"(U+%04X)", false, E::WindowsLatin1};
const Setup kFullwidth932{"(U+%04X)", true, E::WindowsJapanese};
const Setup kFullwidth1252{"(U+%04X)", true, E::WindowsLatin1};
const Setup kCodePoint932{"(U+%04X)", false, E::WindowsJapanese};
const Setup kNoFormat932{nullptr, false, E::WindowsJapanese};
const Setup kNoFormatUTF8{nullptr, false, E::UTF8};

struct Case {
  const char* label;
  Setup setup;
  std::u16string input;
  std::u16string expected;
};

class CVNPathComponentEncoderCase : public testing::TestWithParam<Case> {};

TEST_P(CVNPathComponentEncoderCase, Encodes) {
  const Case& c = GetParam();
  EXPECT_EQ(makeEncoder(c.setup).encodePathComponentForWindowsFileSystem(c.input), c.expected);
}

std::string caseName(const testing::TestParamInfo<Case>& info) { return info.param.label; }

INSTANTIATE_TEST_SUITE_P(
    Underscore, CVNPathComponentEncoderCase,
    testing::Values(Case{"Colon", kUnderscore1252, u"a:b", u"a_b"},
                    Case{"Device", kUnderscore1252, u"CON.txt", u"(CON).txt"},
                    Case{"Dot", kUnderscore1252, u".", u"(.)"},
                    Case{"DotDot", kUnderscore1252, u"..", u"(..)"},
                    Case{"FinalSpace", kUnderscore1252, u"end ", u"end( )"},
                    Case{"FinalPeriod", kUnderscore1252, u"name.", u"name(.)"},
                    Case{"AllReserved", kUnderscore1252, u"<>\"\\|?*\u0001\u007F", u"_________"},
                    Case{"Plain", kUnderscore1252, u"Report 2024.txt", u"Report 2024.txt"},
                    Case{"Empty", kUnderscore1252, u"", u""}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    CodePoint, CVNPathComponentEncoderCase,
    testing::Values(Case{"Colon", kCodePoint1252, u"a:b", u"a(U+002F)b"},
                    Case{"Question", kCodePoint1252, u"a?b", u"a(U+003F)b"},
                    Case{"Control", kCodePoint1252, u"x\u0001y", u"x(U+0001)y"},
                    Case{"Nul", kCodePoint1252, std::u16string(u"a\0b", 3), u"a(U+0000)b"},
                    Case{"Slash", kCodePoint1252, u"a/b", u"a(U+002F)b"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Fullwidth, CVNPathComponentEncoderCase,
    testing::Values(
        Case{"Colon932", kFullwidth932, u"a:b", u"a\uFF0Fb"},
        Case{"Device932", kFullwidth932, u"con.txt", u"\uFF43\uFF4F\uFF4E.txt"},
        Case{"FinalSpace932", kFullwidth932, u"end ", u"end\u3000"},
        Case{"Control932", kFullwidth932, u"\u0001", u"(U+0001)"},
        Case{"Dot932", kFullwidth932, u".", u"\uFF0E"},
        Case{"DotDot932", kFullwidth932, u"..", u"\uFF0E\uFF0E"},
        Case{"DeviceAndPeriod932", kFullwidth932, u"nul.", u"\uFF4E\uFF55\uFF4C\uFF0E"},
        Case{"Reserved932", kFullwidth932, u"a<b>|?*\"\\",
             u"a\uFF1Cb\uFF1E\uFF5C\uFF1F\uFF0A\uFF02\uFF3C"},
        Case{"Colon949", {"(U+%04X)", true, E::WindowsKorean}, u"a:b", u"a\uFF0Fb"},
        Case{"Colon936", {"(U+%04X)", true, E::WindowsSimplifiedChinese}, u"a:b", u"a\uFF0Fb"},
        Case{"Colon1252", kFullwidth1252, u"a:b", u"a(U+002F)b"},
        Case{"Device1252", kFullwidth1252, u"con.txt", u"(con).txt"},
        Case{"FinalSpace1252", kFullwidth1252, u"end ", u"end( )"},
        // A device name with a character that has no fullwidth form in 932
        // is bracketed whole, never half converted.
        Case{"MixedDevice932", kFullwidth932, u"co\u00F1.txt", u"co(U+00F1).txt"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    DeviceNames, CVNPathComponentEncoderCase,
    testing::Values(Case{"DeviceThenPeriod", kCodePoint1252, u"nul.", u"(nul)(.)"},
                    Case{"SecondPart", kCodePoint1252, u"x.con", u"x.con"},
                    Case{"Com0", kCodePoint1252, u"COM0", u"COM0"},
                    Case{"Com10", kCodePoint1252, u"COM10", u"COM10"},
                    Case{"Console", kCodePoint1252, u"CONSOLE", u"CONSOLE"},
                    Case{"TwoExtensions", kCodePoint1252, u"CON.tar.gz", u"(CON).tar.gz"},
                    Case{"MixedCase", kCodePoint1252, u"Aux", u"(Aux)"},
                    Case{"Lpt9", kCodePoint1252, u"lpt9.log", u"(lpt9).log"},
                    Case{"Com1", kCodePoint1252, u"com1", u"(com1)"},
                    Case{"Prn", kCodePoint1252, u"PRN.", u"(PRN)(.)"},
                    Case{"LeadingDot", kCodePoint1252, u".CON", u".CON"},
                    Case{"Spaced", kCodePoint1252, u"CON .txt", u"CON .txt"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(FinalSpaceAndPeriod, CVNPathComponentEncoderCase,
                         testing::Values(Case{"PeriodThenSpace", kCodePoint1252, u"a. ", u"a.( )"},
                                         Case{"TwoSpaces", kCodePoint1252, u"a  ", u"a ( )"},
                                         Case{"TwoPeriods", kCodePoint1252, u"a..", u"a.(.)"},
                                         Case{"SpaceThenPeriod", kCodePoint1252, u"a .", u"a (.)"},
                                         Case{"OnlySpace", kCodePoint1252, u" ", u"( )"},
                                         Case{"ThreeDots", kCodePoint1252, u"...", u"..(.)"}),
                         caseName);

INSTANTIATE_TEST_SUITE_P(
    Unrepresentable, CVNPathComponentEncoderCase,
    testing::Values(Case{"Composed932", kCodePoint932,
                         u"caf"
                         u"e\u0301",
                         u"caf(U+00E9)"},
                    Case{"Composed1252", kCodePoint1252,
                         u"caf"
                         u"e\u0301",
                         u"caf\u00E9"},
                    Case{"Japanese932", kCodePoint932, u"\u65E5\u672C.txt", u"\u65E5\u672C.txt"},
                    Case{"Emoji932", kCodePoint932, u"\U0001F600", u"(U+D83D)(U+DE00)"},
                    Case{"Emoji1252", kCodePoint1252, u"a\U0001F600", u"a(U+D83D)(U+DE00)"},
                    Case{"Undefined1252", kCodePoint1252, u"x\u0081", u"x(U+0081)"},
                    Case{"Hangul932", kFullwidth932, u"\uD55C", u"(U+D55C)"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    NoFormat, CVNPathComponentEncoderCase,
    testing::Values(Case{"ReservedRemoved", kNoFormat932, u"a:b?c", u"abc"},
                    Case{"UnrepresentableRemoved", kNoFormat932, u"x\u00E9\u0001", u"x"},
                    Case{"DotStillBracketed", kNoFormat932, u".", u"(.)"},
                    Case{"DeviceStillBracketed", kNoFormat932, u"CON", u"(CON)"},
                    Case{"FinalSpaceStillBracketed", kNoFormat932, u"a ", u"a( )"},
                    // Removing the control lets the accent compose with the e.
                    Case{"RecomposedAfterwards", kNoFormatUTF8, u"e\u0001\u0301", u"\u00E9"},
                    Case{"UTF8KeepsEverything", kNoFormatUTF8, u"\u65E5\u00E9", u"\u65E5\u00E9"}),
    caseName);

TEST(CVNPathComponentEncoderTest, StartsAsUTF8WithoutFullwidthOrFormat) {
  CVNPathComponentEncoder encoder;
  EXPECT_EQ(encoder.encoding(), E::UTF8);
  EXPECT_FALSE(encoder.triesConvertingToFullwidth());
  EXPECT_EQ(encoder.characterEscapeFormat(), std::nullopt);
  EXPECT_EQ(encoder.encodePathComponentForWindowsFileSystem(u"a:b."), u"ab(.)");
}

TEST(CVNPathComponentEncoderTest, ReplacementRules) {
  CVNPathComponentEncoder encoder = makeEncoder(kFullwidth932);
  EXPECT_EQ(encoder._formatCharacter(u'/'), u"(U+002F)");
  EXPECT_EQ(encoder._formatCharacter(0xFFFF), u"(U+FFFF)");
  EXPECT_EQ(encoder._convertCharacterToFullwidthOrFormatCharacter(u'?'), u"\uFF1F");
  EXPECT_EQ(encoder._convertCharacterToFullwidthOrFormatCharacter(u' '), u"\u3000");
  EXPECT_EQ(encoder._convertCharacterToFullwidthOrFormatCharacter(0x7F), u"(U+007F)");
  EXPECT_EQ(encoder._bracketStringWholly(u"x"), u"(x)");
  EXPECT_EQ(encoder._convertAllCharactersToFullwidthOrBracketStringWholly(u"a b"),
            u"\uFF41\u3000\uFF42");
  // A unit without a fullwidth form stays, and the whole text must still fit.
  EXPECT_EQ(encoder._convertAllCharactersToFullwidthOrBracketStringWholly(u"a\u65E5"),
            u"\uFF41\u65E5");
  EXPECT_EQ(encoder._convertAllCharactersToFullwidthOrBracketStringWholly(u"a\u00E9"),
            u"(a\u00E9)");

  encoder.setTriesConvertingToFullwidth(false);
  EXPECT_EQ(encoder._convertCharacterToFullwidthOrFormatCharacter(u'?'), u"(U+003F)");
  EXPECT_EQ(encoder._convertAllCharactersToFullwidthOrBracketStringWholly(u"a b"), u"(a b)");
}

TEST(CVNPathComponentEncoderTest, StepsAreSeparate) {
  CVNPathComponentEncoder encoder = makeEncoder(kCodePoint1252);
  EXPECT_EQ(encoder._escapeReservedFileNamesForWindowsFileSystem(u"..."), u"...");
  EXPECT_EQ(encoder._escapeReservedFileNamesForWindowsFileSystem(u".."), u"(..)");
  EXPECT_EQ(encoder._escapeReservedCharactersForWindowsFileSystem(u"a:b"), u"a(U+003A)b");
  EXPECT_EQ(encoder._escapeReservedDeviceNamesForWindowsFileSystem(u"aux.c.d"), u"(aux).c.d");
  EXPECT_EQ(encoder._escapeInvalidFileNamesForWindowsFileSystem(u"x. "), u"x.( )");
  EXPECT_EQ(encoder._formatAllUnencodableCharacters(u"\u00E9\u65E5"), u"\u00E9(U+65E5)");
}

TEST(CVNPathComponentEncoderTest, FormatsOtherThanOneIntegerConversionAreRefused) {
  CVNPathComponentEncoder encoder;
  for (const char* bad : {"%s", "%u%u", "%n", "%*u", "%", "(%lu)", "%99999u", "%c"})
    EXPECT_THROW(encoder.setCharacterEscapeFormat(std::string(bad)), RVException) << bad;
  for (const char* good : {"_", "(U+%04X)", "%u", "[%#x]", "100%%-%-6d", ""})
    EXPECT_NO_THROW(encoder.setCharacterEscapeFormat(std::string(good))) << good;
  encoder.setCharacterEscapeFormat(std::string("100%%-%u"));
  EXPECT_EQ(encoder._formatCharacter(u'?'), u"100%-63");
}

TEST(CVNPathComponentEncoderTest, AReplacementTheEncodingCannotHoldIsAProgrammingError) {
  CVNPathComponentEncoder encoder =
      makeEncoder({"\xC3\xA9%u", false, E::WindowsJapanese});  // "é%u"
  EXPECT_THROW(encoder.encodePathComponentForWindowsFileSystem(u"a?"), RVException);
  encoder.setEncoding(E::WindowsLatin1);
  EXPECT_EQ(encoder.encodePathComponentForWindowsFileSystem(u"a?"), u"a\u00E963");
}

TEST(CVNPathComponentEncoderTest, OneEncoderServesTwoThreads) {
  const CVNPathComponentEncoder encoder = makeEncoder(kFullwidth932);
  const std::vector<std::u16string> inputs = {
      u"a:b",
      u"con.txt",
      u"end ",
      u"caf"
      u"e\u0301",
      u"\u65E5\u672C\u8A9E.txt",
      u"\U0001F600",
      u"nul.",
      u"Report 2024 (final).docx",
  };
  std::vector<std::u16string> expected;
  for (const std::u16string& input : inputs)
    expected.push_back(encoder.encodePathComponentForWindowsFileSystem(input));

  int failures[2] = {0, 0};
  auto work = [&](int t) {
    for (int i = 0; i < 3000; ++i) {
      size_t k = static_cast<size_t>(i + t) % inputs.size();
      if (encoder.encodePathComponentForWindowsFileSystem(inputs[k]) != expected[k]) ++failures[t];
    }
  };
  std::thread first(work, 0), second(work, 1);
  first.join();
  second.join();
  EXPECT_EQ(failures[0], 0);
  EXPECT_EQ(failures[1], 0);
}

}  // namespace
