#include "engine/CVNWindowsCodepage.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string_view>

#include "engine/io/RVException.h"

namespace {

std::mutex& preferenceMutex() {
  static std::mutex mutex;
  return mutex;
}

std::optional<std::vector<std::string>>& installedLanguages() {
  static std::optional<std::vector<std::string>> languages;
  return languages;
}

void appendLanguage(std::vector<std::string>& languages, const std::string& localeName) {
  std::string identifier = RVLanguageIdentifierForLocaleName(localeName);
  if (identifier.empty()) return;
  if (std::find(languages.begin(), languages.end(), identifier) != languages.end()) return;
  languages.push_back(std::move(identifier));
}

std::vector<std::string> languagesFromEnvironment() {
  std::vector<std::string> languages;
  if (const char* list = std::getenv("LANGUAGE")) {
    std::string_view rest(list);
    while (!rest.empty()) {
      size_t colon = rest.find(':');
      appendLanguage(languages, std::string(rest.substr(0, colon)));
      rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
  }
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (const char* value = std::getenv(variable)) appendLanguage(languages, value);
  }
  return languages;
}

struct LanguageRow {
  std::string_view identifier;
  int64_t codepage;
};

constexpr LanguageRow kLanguageTable[] = {
    {"en", 1252}, {"de", 1252}, {"fr", 1252}, {"it", 1252},     {"es", 1252},
    {"pt", 1252}, {"nl", 1252}, {"sv", 1252}, {"fi", 1252},     {"da", 1252},
    {"no", 1252}, {"ja", 932},  {"ko", 949},  {"zh-Hans", 936}, {"zh-Hant", 950},
};

}  // namespace

std::string RVLanguageIdentifierForLocaleName(const std::string& localeName) {
  std::string_view name(localeName);
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return "";
  size_t separator = name.find_first_of("_-");
  std::string_view language = name.substr(0, separator);
  if (language.empty()) return "";
  if (language != "zh" || separator == std::string_view::npos) return std::string(language);

  // Chinese: a script subtag decides, else the region.
  std::string_view subtags = name.substr(separator + 1);
  std::string_view script, region;
  while (!subtags.empty()) {
    size_t next = subtags.find_first_of("_-");
    std::string_view subtag = subtags.substr(0, next);
    if (subtag.size() == 4 && script.empty()) script = subtag;
    if (subtag.size() == 2 && region.empty()) region = subtag;
    subtags = next == std::string_view::npos ? std::string_view() : subtags.substr(next + 1);
  }
  if (script == "Hans") return "zh-Hans";
  if (script == "Hant") return "zh-Hant";
  if (region == "CN" || region == "SG") return "zh-Hans";
  if (region == "TW" || region == "HK" || region == "MO") return "zh-Hant";
  return "zh";
}

std::vector<std::string> RVPreferredLanguages() {
  {
    std::lock_guard<std::mutex> lock(preferenceMutex());
    if (installedLanguages()) return *installedLanguages();
  }
  return languagesFromEnvironment();
}

void RVSetPreferredLanguages(std::optional<std::vector<std::string>> languages) {
  std::lock_guard<std::mutex> lock(preferenceMutex());
  installedLanguages() = std::move(languages);
}

int64_t CVNDefaultWindowsCodepage() {
  for (const std::string& identifier : RVPreferredLanguages()) {
    for (const LanguageRow& row : kLanguageTable)
      if (identifier == row.identifier) return row.codepage;
  }
  return 1252;
}

CVNStringEncoding CVNStringEncodingForWindowsCodepage(int64_t codepage) {
  if (codepage == -1) codepage = CVNDefaultWindowsCodepage();
  switch (codepage) {
    case 1252:
      return CVNStringEncoding::WindowsLatin1;
    case 932:
      return CVNStringEncoding::WindowsJapanese;
    case 949:
      return CVNStringEncoding::WindowsKorean;
    case 936:
      return CVNStringEncoding::WindowsSimplifiedChinese;
    case 950:
      return CVNStringEncoding::WindowsTraditionalChinese;
    default:
      RVRaiseInvalidParameter("codepage is 1252, 932, 949, 936, 950 or -1");
  }
}
