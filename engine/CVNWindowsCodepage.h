// The Windows code page that fits the user's languages, and the string encoding
// of a Windows code page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/CVNStringEncoding.h"

// The user's preferred languages, most preferred first: the list installed with
// RVSetPreferredLanguages, else one built from LANGUAGE (colon-separated),
// LC_ALL, LC_MESSAGES and LANG in that order. POSIX locale names become
// language identifiers: "ja_JP.UTF-8" gives "ja", Chinese gives "zh-Hans" or
// "zh-Hant" by region or script; "C" and "POSIX" are left out.
std::vector<std::string> RVPreferredLanguages();
// Installs the application's stored "AppleLanguages" preference; none goes back
// to the environment. Safe to call from any thread.
void RVSetPreferredLanguages(std::optional<std::vector<std::string>> languages);
// The language identifier of one POSIX locale name, or "" for "C", "POSIX" and
// names without a language.
std::string RVLanguageIdentifierForLocaleName(const std::string& localeName);

// 1252, 932, 949, 936 or 950 by the first preferred language that names one
// ("ja", "ko", "zh-Hans", "zh-Hant" and eleven Western ones, compared whole);
// 1252 when none does.
int64_t CVNDefaultWindowsCodepage();
// The encoding of code page 1252, 932, 949, 936 or 950; -1 stands for
// CVNDefaultWindowsCodepage(). Any other number raises RVInternalInconsistencyException.
CVNStringEncoding CVNStringEncodingForWindowsCodepage(int64_t codepage);
