#include "engine/CVNFileSystemNames.h"

#include <sys/stat.h>
#include <unicode/stringoptions.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>

#include "engine/CVNPathComponentEncoder.h"
#include "engine/io/RVPath.h"

namespace {

constexpr std::array<std::string_view, 5> kMacOnlyFolderNames = {
    ".fseventsd", ".Spotlight-V100", ".Trashes", ".Trash", ".localized",
};
constexpr std::array<std::string_view, 4> kMacOnlyOtherNames = {
    ".DS_Store",
    ".VolumeIcon.icns",
    ".localized",
    "Icon\r",
};
constexpr std::array<std::u16string_view, 2> kWindowsOnlyFileNames = {
    u"Thumbs.db",
    u"Desktop.ini",
};

template <size_t N>
bool isOneOf(const std::array<std::string_view, N>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::u16string_view lastComponent(std::u16string_view path) {
  while (path.size() > 1 && path.back() == u'/') path.remove_suffix(1);
  if (path == u"/") return path;
  size_t slash = path.rfind(u'/');
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) {
  UErrorCode error = U_ZERO_ERROR;
  int32_t order = u_strCaseCompare(a.data(), static_cast<int32_t>(a.size()), b.data(),
                                   static_cast<int32_t>(b.size()), U_FOLD_CASE_DEFAULT, &error);
  return U_SUCCESS(error) && order == 0;
}

}  // namespace

bool isMacOSXFileSystemItem(const std::string& pathBytes) {
  const std::string name = RVPathLastComponent(pathBytes);
  const bool folderName = isOneOf(kMacOnlyFolderNames, name);
  const bool otherName = name.starts_with("._") || isOneOf(kMacOnlyOtherNames, name);
  // The archiving walk asks for every item: only a name of the lists costs a
  // status query.
  if (!folderName && !otherName) return false;
  struct stat status;
  if (::stat(pathBytes.c_str(), &status) != 0) return false;
  return S_ISDIR(status.st_mode) ? folderName : otherName;
}

bool isWindowsFileSystemFile(std::u16string_view pathOrEntryName) {
  std::u16string_view name = lastComponent(pathOrEntryName);
  return std::any_of(
      kWindowsOnlyFileNames.begin(), kWindowsOnlyFileNames.end(),
      [&](std::u16string_view windowsName) { return equalsIgnoringCase(name, windowsName); });
}

std::u16string pathUsingPathComponentEncoder(std::u16string_view path,
                                             const CVNPathComponentEncoder& encoder) {
  std::u16string result;
  if (!path.empty() && path.front() == u'/') result.push_back(u'/');
  size_t i = 0;
  while (i < path.size()) {
    size_t j = std::min(path.find(u'/', i), path.size());
    if (j > i) {
      if (!result.empty() && result.back() != u'/') result += u'/';
      result += encoder.encodePathComponentForWindowsFileSystem(path.substr(i, j - i));
    }
    i = j + 1;
  }
  return result;
}

std::u16string pathWithZipFileName(std::u16string_view name) {
  std::u16string path;
  path.reserve(name.size());
  for (char16_t unit : name) {
    if (unit == u'/' && !path.empty() && path.back() == u'/') continue;
    path += unit;
  }
  return path;
}

std::u16string stringByDeletingFinalPathSeparator(std::u16string_view path) {
  while (path.size() > 1 && path.back() == u'/') path.remove_suffix(1);
  return std::u16string(path);
}

std::u16string zipFileNameWithSeparators(std::u16string_view name, uint16_t versionMadeBy) {
  std::u16string result(name);
  const unsigned host = versionMadeBy >> 8;
  if (host == 0 || host == 11) std::replace(result.begin(), result.end(), u'\\', u'/');
  return result;
}
