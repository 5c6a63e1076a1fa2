// The default code page from language lists, the language identifiers of POSIX
// locale names, and code page to encoding.
#include "engine/CVNWindowsCodepage.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/io/RVException.h"

namespace {

using E = CVNStringEncoding;

class CVNWindowsCodepageTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kVariables) {
      const char* value = std::getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
      ::unsetenv(name);
    }
  }
  void TearDown() override {
    RVSetPreferredLanguages(std::nullopt);
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i])
        ::setenv(kVariables[i], saved_[i]->c_str(), 1);
      else
        ::unsetenv(kVariables[i]);
    }
  }

  static constexpr const char* kVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::optional<std::string>> saved_;
};

TEST_F(CVNWindowsCodepageTest, DefaultFromInstalledLanguages) {
  struct {
    std::vector<std::string> languages;
    int64_t codepage;
  } cases[] = {
      {{"fr-CA", "ja", "en"}, 932}, {{"en-US"}, 1252},       {{"zh-Hant"}, 950},
      {{"zh-Hans", "ja"}, 936},     {{"ko"}, 949},           {{}, 1252},
      {{"JA", "Ko", "ko"}, 949},    {{"zh", "zh-CN"}, 1252}, {{"ru", "no"}, 1252},
      {{"pl", "ja-JP", "ja"}, 932},
  };
  for (const auto& c : cases) {
    RVSetPreferredLanguages(c.languages);
    EXPECT_EQ(CVNDefaultWindowsCodepage(), c.codepage) << testing::PrintToString(c.languages);
  }
}

TEST_F(CVNWindowsCodepageTest, NothingSetGives1252) {
  EXPECT_TRUE(RVPreferredLanguages().empty());
  EXPECT_EQ(CVNDefaultWindowsCodepage(), 1252);
}

TEST_F(CVNWindowsCodepageTest, LanguagesFromTheEnvironment) {
  ::setenv("LANGUAGE", "ko:ja_JP::en_US:ko_KR", 1);
  ::setenv("LC_MESSAGES", "C", 1);
  ::setenv("LANG", "zh_TW.UTF-8", 1);
  EXPECT_EQ(RVPreferredLanguages(), (std::vector<std::string>{"ko", "ja", "en", "zh-Hant"}));
  EXPECT_EQ(CVNDefaultWindowsCodepage(), 949);

  ::unsetenv("LANGUAGE");
  ::setenv("LC_ALL", "POSIX", 1);
  ::setenv("LANG", "ja_JP.UTF-8", 1);
  EXPECT_EQ(RVPreferredLanguages(), (std::vector<std::string>{"ja"}));
  EXPECT_EQ(CVNDefaultWindowsCodepage(), 932);

  // The application's stored preference wins while it is installed.
  RVSetPreferredLanguages(std::vector<std::string>{"zh-Hans"});
  EXPECT_EQ(CVNDefaultWindowsCodepage(), 936);
  RVSetPreferredLanguages(std::nullopt);
  EXPECT_EQ(CVNDefaultWindowsCodepage(), 932);
}

TEST(CVNLanguageIdentifierTest, FromPOSIXLocaleNames) {
  struct {
    const char* locale;
    const char* identifier;
  } cases[] = {
      {"ja_JP.UTF-8", "ja"},
      {"en_US", "en"},
      {"de", "de"},
      {"sr_RS@latin", "sr"},
      {"zh_CN.GB18030", "zh-Hans"},
      {"zh_SG", "zh-Hans"},
      {"zh_Hans", "zh-Hans"},
      {"zh_TW.Big5", "zh-Hant"},
      {"zh_HK", "zh-Hant"},
      {"zh_MO.UTF-8", "zh-Hant"},
      {"zh_Hant", "zh-Hant"},
      {"zh_Hant_CN", "zh-Hant"},
      {"zh", "zh"},
      {"C", ""},
      {"POSIX", ""},
      {"C.UTF-8", ""},
      {"", ""},
      {"_US", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(RVLanguageIdentifierForLocaleName(c.locale), c.identifier) << c.locale;
}

TEST_F(CVNWindowsCodepageTest, EncodingForCodepage) {
  EXPECT_EQ(CVNStringEncodingForWindowsCodepage(1252), E::WindowsLatin1);
  EXPECT_EQ(CVNStringEncodingForWindowsCodepage(932), E::WindowsJapanese);
  EXPECT_EQ(CVNStringEncodingForWindowsCodepage(949), E::WindowsKorean);
  EXPECT_EQ(CVNStringEncodingForWindowsCodepage(936), E::WindowsSimplifiedChinese);
  EXPECT_EQ(CVNStringEncodingForWindowsCodepage(950), E::WindowsTraditionalChinese);
  RVSetPreferredLanguages(std::vector<std::string>{"ko"});
  EXPECT_EQ(CVNStringEncodingForWindowsCodepage(-1), E::WindowsKorean);
  RVSetPreferredLanguages(std::vector<std::string>{});
  EXPECT_EQ(CVNStringEncodingForWindowsCodepage(-1), E::WindowsLatin1);
  EXPECT_THROW(CVNStringEncodingForWindowsCodepage(437), RVException);
}

}  // namespace
