// The look-up in the installed table, the choice of the table, and the filling
// of Cocoa-style formats.
#include "jobs/CVNLocalization.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <limits>
#include <optional>
#include <ostream>

namespace {

class CVNLocalizationTest : public ::testing::Test {
 protected:
  void TearDown() override {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    CVNInstallLocalization(QStringLiteral("en"));
  }
};

struct LookUpCase {
  const char* language;
  const char* key;
  const char* expected;
  std::optional<qulonglong> count = {};  // looked up with a count, to fill `arguments`
  QVariantList arguments = {};
};

void PrintTo(const LookUpCase& c, std::ostream* out) { *out << c.language << ":" << c.key; }

class CVNLocalizedStringTest : public CVNLocalizationTest,
                               public ::testing::WithParamInterface<LookUpCase> {};

TEST_P(CVNLocalizedStringTest, LooksTheKeyUpInTheInstalledTable) {
  const LookUpCase& c = GetParam();
  CVNInstallLocalization(QString::fromLatin1(c.language));
  const QString expected = QString::fromUtf8(c.expected);
  if (c.count) {
    EXPECT_EQ(CVNLocalizedPluralWithFormat(c.key, *c.count, c.arguments), expected);
    return;
  }
  EXPECT_EQ(CVNLocalizedString(c.key), expected);
  EXPECT_EQ(CVNLocalizedString(QString::fromUtf8(c.key)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, CVNLocalizedStringTest,
    ::testing::Values(
        LookUpCase{"en", "Log:追加した", "Added"}, LookUpCase{"ja", "Log:追加した", "追加しました"},
        LookUpCase{"en", "Finished", "Finished"}, LookUpCase{"ja", "Finished", "完了"},
        LookUpCase{"ja", "Cancelled", "キャンセルしました"},
        // Missing keys come back unchanged, filled reasons among them.
        LookUpCase{"en", "errno = 2", "errno = 2"}, LookUpCase{"ja", "No such key", "No such key"},
        LookUpCase{"ja", "", ""},
        // An unknown language falls back to English.
        LookUpCase{"fr", "Log:展開した", "Extracted"},
        // A count picks the form that agrees with it.
        LookUpCase{"en", "%1$@ and the other %2$lu items", "/a and 1 more item", 1, {"/a", 1}},
        LookUpCase{"en", "%1$@ and the other %2$lu items", "/a and 2 more items", 2, {"/a", 2}},
        LookUpCase{"en", "%1$@ files", "0 files", 0, {"0"}},
        LookUpCase{"en", "%1$@ files", "1 file", 1, {"1"}},
        LookUpCase{"en", "%1$@ files", "1,234 files", 1234, {"1,234"}},
        LookUpCase{"en", "%1$@ directories", "1 folder", 1, {"1"}},
        LookUpCase{"en", "%1$@ directories", "3 folders", 3, {"3"}},
        // Past the range of Qt's count the form is still the plural one.
        LookUpCase{"en", "%1$@ files", "4294967297 files", 4294967297ull, {"4294967297"}},
        LookUpCase{"ja", "%1$@ and the other %2$lu items", "/a ほか 1 項目", 1, {"/a", 1}},
        LookUpCase{"ja", "%1$@ files", "ファイル 1 個", 1, {"1"}},
        LookUpCase{"ja", "%1$@ directories", "フォルダ 3 個", 3, {"3"}},
        LookUpCase{"en", "%1$qu bytes", "1 byte", 1, {1}},
        LookUpCase{"en", "%1$qu bytes", "12345 bytes", 12345, {quint64(12345)}},
        LookUpCase{"ja", "%1$qu bytes", "1 バイト", 1, {1}}));

TEST_F(CVNLocalizationTest, FollowsTheUsersLanguageWhenNoneIsGiven) {
  const struct {
    QLocale locale;
    const char* language;
  } cases[] = {
      {QLocale(QLocale::Japanese, QLocale::Japan), "ja"},
      {QLocale(QLocale::English, QLocale::UnitedStates), "en"},
      {QLocale(QLocale::German, QLocale::Germany), "en"},
      {QLocale(QLocale::Chinese, QLocale::China), "en"},
  };
  for (const auto& c : cases) {
    QLocale::setDefault(c.locale);
    CVNInstallLocalization();
    EXPECT_EQ(CVNInstalledLanguage(), QString::fromLatin1(c.language))
        << c.locale.name().toStdString();
  }
}

TEST_F(CVNLocalizationTest, FillsTheLookedUpFormat) {
  CVNInstallLocalization(QStringLiteral("ja"));
  EXPECT_EQ(CVNLocalizedStringWithFormat("%1$@ and the other %2$lu items", {"/a/b", 2}),
            QStringLiteral("/a/b ほか 2 項目"));
  // The summary takes its counts as phrases; the Japanese reads as it always has.
  EXPECT_EQ(CVNLocalizedStringWithFormat(
                "%1$@ (%3$@ files, %2$@ directories)",
                {"1 KB", CVNLocalizedPluralWithFormat("%1$@ directories", 2, {"2"}),
                 CVNLocalizedPluralWithFormat("%1$@ files", 3, {"3"})}),
            QStringLiteral("1 KB（ファイル 3 個、フォルダ 2 個）"));
}

struct FormatCase {
  const char* format;
  QVariantList arguments;
  const char* expected;
};

void PrintTo(const FormatCase& c, std::ostream* out) { *out << c.format; }

class CVNStringWithFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(CVNStringWithFormatTest, Fills) {
  EXPECT_EQ(CVNStringWithFormat(QString::fromUtf8(GetParam().format), GetParam().arguments),
            QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, CVNStringWithFormatTest,
    ::testing::Values(
        FormatCase{"%@", {"a"}, "a"}, FormatCase{"[%@|%@]", {"a", "b"}, "[a|b]"},
        FormatCase{"%1$@ and the other %2$lu items", {"x", 2}, "x and the other 2 items"},
        FormatCase{"%2$@ %1$@", {"a", "b"}, "b a"}, FormatCase{"%1$@ %1$@", {"a"}, "a a"},
        FormatCase{"%qu", {std::numeric_limits<quint64>::max()}, "18446744073709551615"},
        FormatCase{"%d|%i|%ld|%lld", {-5, 6, -7, 8}, "-5|6|-7|8"},
        FormatCase{"%u|%lu|%llu|%hu|%hhu|%zu", {1, 2, 3, 4, 5, 6}, "1|2|3|4|5|6"},
        FormatCase{"%1$qu bytes", {quint64(1234567)}, "1234567 bytes"},
        FormatCase{"100%%", {}, "100%"}, FormatCase{"%%@", {"a"}, "%@"},
        FormatCase{"%%%@", {"a"}, "%a"},
        // Too few arguments leave the placeholder empty.
        FormatCase{"%@ and %@", {"a"}, "a and "}, FormatCase{"%3$@", {"a"}, ""},
        // Anything else after a % stands as written.
        FormatCase{"50% off", {"a"}, "50% off"}, FormatCase{"%5.2f", {1.5}, "%5.2f"},
        FormatCase{"%0$@", {"a"}, "%0$@"}, FormatCase{"%1$", {"a"}, "%1$"},
        FormatCase{"%l", {"a"}, "%l"}, FormatCase{"end %", {"a"}, "end %"},
        FormatCase{"%s", {"a"}, "%s"},
        FormatCase{"https://corvana.invalid/update?version=%@",
                   {"0.1.0"},
                   "https://corvana.invalid/update?version=0.1.0"},
        FormatCase{"ファイル %3$@ 個、フォルダ %2$@ 個：%1$@",
                   {"x", "2", "3"},
                   "ファイル 3 個、フォルダ 2 個：x"}));

struct PlaceholderCase {
  const char* format;
  QStringList expected;
};

void PrintTo(const PlaceholderCase& c, std::ostream* out) { *out << c.format; }

class CVNFormatPlaceholdersTest : public ::testing::TestWithParam<PlaceholderCase> {};

TEST_P(CVNFormatPlaceholdersTest, ListsThePlaceholders) {
  EXPECT_EQ(CVNFormatPlaceholders(QString::fromUtf8(GetParam().format)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, CVNFormatPlaceholdersTest,
    ::testing::Values(PlaceholderCase{"Finished", {}}, PlaceholderCase{"100%% done", {}},
                      PlaceholderCase{"%@", {"1$@"}},
                      PlaceholderCase{"%@ and %lu", {"1$@", "2$lu"}},
                      PlaceholderCase{"%1$@ (%3$@ files, %2$@ directories)", {"1$@", "2$@", "3$@"}},
                      PlaceholderCase{"%2$lu: %1$@", {"1$@", "2$lu"}},
                      PlaceholderCase{"%1$qu bytes", {"1$qu"}},
                      PlaceholderCase{"%@ %@", {"1$@", "2$@"}}, PlaceholderCase{"50% off", {}}));

}  // namespace
