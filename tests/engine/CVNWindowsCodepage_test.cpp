// The default code page from language lists, the language identifiers of POSIX
// locale names, and code page to encoding.
#include "engine/CVNWindowsCodepage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <tuple>

#include "engine/io/RVException.h"

namespace {

using E = CVNStringEncoding;
using Languages = std::vector<std::string>;
using std::tuple;

// Runs with the locale variables cleared and no stored preference; puts both back.
class CVNWindowsCodepageTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kVariables) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
      ::unsetenv(name);
    }
  }
  void TearDown() override {
    RVSetPreferredLanguages(std::nullopt);
    for (const auto& [name, value] : saved_)
      value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  }
  static constexpr const char* kVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST_F(CVNWindowsCodepageTest, DefaultFromPreferredLanguages) {
  EXPECT_EQ(tuple(RVPreferredLanguages().size(), CVNDefaultWindowsCodepage()), tuple(0u, 1252));
  const std::pair<Languages, int64_t> cases[] = {
      {{"fr-CA", "ja", "en"}, 932}, {{"en-US"}, 1252},       {{"zh-Hant"}, 950},
      {{"zh-Hans", "ja"}, 936},     {{"ko"}, 949},           {{}, 1252},
      {{"JA", "Ko", "ko"}, 949},    {{"zh", "zh-CN"}, 1252}, {{"ru", "no"}, 1252},
      {{"pl", "ja-JP", "ja"}, 932},
  };
  for (const auto& [languages, codepage] : cases) {
    RVSetPreferredLanguages(languages);
    EXPECT_EQ(CVNDefaultWindowsCodepage(), codepage) << testing::PrintToString(languages);
  }
}

TEST_F(CVNWindowsCodepageTest, LanguagesFromTheEnvironment) {
  ::setenv("LANGUAGE", "ko:ja_JP::en_US:ko_KR", 1);
  ::setenv("LC_MESSAGES", "C", 1);
  ::setenv("LANG", "zh_TW.UTF-8", 1);
  EXPECT_EQ(RVPreferredLanguages(), (Languages{"ko", "ja", "en", "zh-Hant"}));
  EXPECT_EQ(CVNDefaultWindowsCodepage(), 949);
  ::unsetenv("LANGUAGE");
  ::setenv("LC_ALL", "POSIX", 1);
  ::setenv("LANG", "ja_JP.UTF-8", 1);
  EXPECT_EQ(RVPreferredLanguages(), Languages{"ja"});
  EXPECT_EQ(CVNDefaultWindowsCodepage(), 932);
  // The application's stored preference wins while it is installed.
  RVSetPreferredLanguages(Languages{"zh-Hans"});
  EXPECT_EQ(CVNDefaultWindowsCodepage(), 936);
  RVSetPreferredLanguages(std::nullopt);
  EXPECT_EQ(CVNDefaultWindowsCodepage(), 932);
}

TEST(CVNLanguageIdentifierTest, FromPOSIXLocaleNames) {
  // Locale name = identifier, space-separated.
  std::istringstream cases(
      "ja_JP.UTF-8=ja en_US=en de=de sr_RS@latin=sr zh_CN.GB18030=zh-Hans zh_SG=zh-Hans "
      "zh_Hans=zh-Hans zh_TW.Big5=zh-Hant zh_HK=zh-Hant zh_MO.UTF-8=zh-Hant zh_Hant=zh-Hant "
      "zh_Hant_CN=zh-Hant zh=zh C= POSIX= C.UTF-8= = _US=");
  for (std::string pair; cases >> pair;) {
    const size_t equals = pair.find('=');
    EXPECT_EQ(RVLanguageIdentifierForLocaleName(pair.substr(0, equals)), pair.substr(equals + 1));
  }
}

TEST_F(CVNWindowsCodepageTest, EncodingForCodepage) {
  // Each encoding's value is its code page.
  for (int64_t codepage : {1252, 932, 949, 936, 950})
    EXPECT_EQ(static_cast<int64_t>(CVNStringEncodingForWindowsCodepage(codepage)), codepage);
  // -1: the default code page.
  RVSetPreferredLanguages(Languages{"ko"});
  EXPECT_EQ(CVNStringEncodingForWindowsCodepage(-1), E::WindowsKorean);
  RVSetPreferredLanguages(Languages{});
  EXPECT_EQ(CVNStringEncodingForWindowsCodepage(-1), E::WindowsLatin1);
  EXPECT_THROW(CVNStringEncodingForWindowsCodepage(437), RVException);
}

}  // namespace
