#include "engine/CVNPathComponentEncoder.h"

#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "engine/io/RVException.h"

namespace {

bool isASCII(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t u) { return u < 0x80; });
}

std::u16string composed(std::u16string text) {
  if (isASCII(text)) return text;
  UErrorCode error = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&error);
  if (U_FAILURE(error)) RVRaiseInvalidParameter("NFC normalizer available");
  int32_t length = static_cast<int32_t>(text.size());
  if (unorm2_quickCheck(nfc, text.data(), length, &error) == UNORM_YES && U_SUCCESS(error))
    return text;
  error = U_ZERO_ERROR;
  // Composition never grows a text by more than a small factor; retry with the
  // exact size if it does.
  std::u16string result(text.size() + 16, u'\0');
  int32_t needed = unorm2_normalize(nfc, text.data(), length, result.data(),
                                    static_cast<int32_t>(result.size()), &error);
  if (error == U_BUFFER_OVERFLOW_ERROR) {
    error = U_ZERO_ERROR;
    result.assign(static_cast<size_t>(needed), u'\0');
    needed = unorm2_normalize(nfc, text.data(), length, result.data(), needed, &error);
  }
  if (U_FAILURE(error)) RVRaiseInvalidParameter("NFC normalization succeeds");
  result.resize(static_cast<size_t>(needed));
  return result;
}

// The Unicode upper case of a short text, without regard to the locale.
std::u16string upperCased(std::u16string_view text) {
  std::u16string result(text);
  if (isASCII(text)) {
    for (char16_t& unit : result)
      if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - 0x20);
    return result;
  }
  UErrorCode error = U_ZERO_ERROR;
  result.assign(text.size() * 3 + 4, u'\0');
  int32_t length = u_strToUpper(result.data(), static_cast<int32_t>(result.size()), text.data(),
                                static_cast<int32_t>(text.size()), "", &error);
  if (U_FAILURE(error)) return std::u16string();  // no device name is that long
  result.resize(static_cast<size_t>(length));
  return result;
}

constexpr std::array<std::u16string_view, 22> kDeviceNames = {
    u"COM1", u"COM2", u"COM3", u"COM4", u"COM5", u"COM6", u"COM7", u"COM8",
    u"COM9", u"LPT1", u"LPT2", u"LPT3", u"LPT4", u"LPT5", u"LPT6", u"LPT7",
    u"LPT8", u"LPT9", u"CON",  u"PRN",  u"AUX",  u"NUL",
};

bool isDeviceName(std::u16string_view part) {
  // Upper-casing never lowers the number of code points, so a part of more
  // than eight units cannot become a four-letter device name.
  if (part.empty() || part.size() > 8) return false;
  std::u16string upper = upperCased(part);
  return std::find(kDeviceNames.begin(), kDeviceNames.end(), upper) != kDeviceNames.end();
}

bool isReservedCharacter(char16_t unit) {
  if (unit <= 0x1F || unit == 0x7F) return true;
  switch (unit) {
    case u'<':
    case u'>':
    case u':':
    case u'"':
    case u'/':
    case u'\\':
    case u'|':
    case u'?':
    case u'*':
      return true;
    default:
      return false;
  }
}

// Space and U+0021...U+007E have fullwidth forms; 0 for any other unit.
char16_t fullwidthForm(char16_t unit) {
  if (unit == u' ') return 0x3000;
  if (unit >= 0x21 && unit <= 0x7E) return static_cast<char16_t>(unit + 0xFEE0);
  return 0;
}

bool isRepresentableUnit(char16_t unit, CVNStringEncoding encoding) {
  // Every offered encoding represents ASCII, control characters included.
  if (unit < 0x80) return true;
  return CVNCanEncodeString(std::u16string_view(&unit, 1), encoding);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// At most one conversion, of an integer, so that handing the format one
// unsigned int is always well defined. Widths stay below 1000.
bool isValidEscapeFormat(std::string_view format) {
  int conversions = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (++i < format.size() && format[i] == '%') continue;
    while (i < format.size() && std::string_view("-+ #0").find(format[i]) != std::string_view::npos)
      ++i;
    size_t digits = 0;
    while (i < format.size() && isDigit(format[i])) ++i, ++digits;
    if (i < format.size() && format[i] == '.') {
      ++i;
      while (i < format.size() && isDigit(format[i])) ++i, ++digits;
    }
    if (digits > 3) return false;
    if (i >= format.size() || std::string_view("diouxX").find(format[i]) == std::string_view::npos)
      return false;
    ++conversions;
  }
  return conversions <= 1;
}

}  // namespace

void CVNPathComponentEncoder::setCharacterEscapeFormat(std::optional<std::string> format) {
  RVParameterAssert(!format || isValidEscapeFormat(*format));
  _characterEscapeFormat = std::move(format);
}

std::u16string CVNPathComponentEncoder::encodePathComponentForWindowsFileSystem(
    std::u16string_view component) const {
  std::u16string text = composed(std::u16string(component));
  std::replace(text.begin(), text.end(), u':', u'/');
  text = _escapeReservedFileNamesForWindowsFileSystem(text);
  text = _escapeReservedCharactersForWindowsFileSystem(text);
  text = _escapeReservedDeviceNamesForWindowsFileSystem(text);
  text = _escapeInvalidFileNamesForWindowsFileSystem(text);
  text = _formatAllUnencodableCharacters(text);
  return composed(std::move(text));
}

std::u16string CVNPathComponentEncoder::_escapeReservedFileNamesForWindowsFileSystem(
    std::u16string_view text) const {
  if (text == u"." || text == u"..")
    return _convertAllCharactersToFullwidthOrBracketStringWholly(text);
  return std::u16string(text);
}

std::u16string CVNPathComponentEncoder::_escapeReservedCharactersForWindowsFileSystem(
    std::u16string_view text) const {
  std::u16string result;
  result.reserve(text.size());
  for (char16_t unit : text) {
    if (isReservedCharacter(unit))
      result += _convertCharacterToFullwidthOrFormatCharacter(unit);
    else
      result += unit;
  }
  return result;
}

std::u16string CVNPathComponentEncoder::_escapeReservedDeviceNamesForWindowsFileSystem(
    std::u16string_view text) const {
  size_t dot = text.find(u'.');
  std::u16string_view first = text.substr(0, dot);
  if (!isDeviceName(first)) return std::u16string(text);
  std::u16string result = _convertAllCharactersToFullwidthOrBracketStringWholly(first);
  if (dot != std::u16string_view::npos) result += text.substr(dot);
  return result;
}

std::u16string CVNPathComponentEncoder::_escapeInvalidFileNamesForWindowsFileSystem(
    std::u16string_view text) const {
  std::u16string result(text);
  if (!result.empty() && result.back() == u' ') {
    result.pop_back();
    result += _convertAllCharactersToFullwidthOrBracketStringWholly(u" ");
  }
  if (!result.empty() && result.back() == u'.') {
    result.pop_back();
    result += _convertAllCharactersToFullwidthOrBracketStringWholly(u".");
  }
  return result;
}

std::u16string CVNPathComponentEncoder::_formatAllUnencodableCharacters(
    std::u16string_view text) const {
  std::u16string result;
  result.reserve(text.size());
  for (char16_t unit : text) {
    if (isRepresentableUnit(unit, _encoding))
      result += unit;
    else
      result += _formatCharacter(unit);
  }
  return result;
}

std::u16string CVNPathComponentEncoder::_formatCharacter(char16_t unit) const {
  if (!_characterEscapeFormat) return std::u16string();
  const char* format = _characterEscapeFormat->c_str();
  unsigned int value = unit;
  int length = std::snprintf(nullptr, 0, format, value);
  RVParameterAssert(length >= 0);
  std::string formatted(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(formatted.data(), formatted.size(), format, value);
  formatted.pop_back();
  std::optional<std::u16string> result = CVNUTF16FromUTF8(formatted);
  RVParameterAssert(result && CVNCanEncodeString(*result, _encoding));
  return *result;
}

std::u16string CVNPathComponentEncoder::_convertCharacterToFullwidthOrFormatCharacter(
    char16_t unit) const {
  if (_triesConvertingToFullwidth) {
    char16_t fullwidth = fullwidthForm(unit);
    if (fullwidth && CVNCanEncodeString(std::u16string_view(&fullwidth, 1), _encoding))
      return std::u16string(1, fullwidth);
  }
  return _formatCharacter(unit);
}

std::u16string CVNPathComponentEncoder::_bracketStringWholly(std::u16string_view text) const {
  std::u16string result;
  result.reserve(text.size() + 2);
  result += u'(';
  result += text;
  result += u')';
  return result;
}

std::u16string CVNPathComponentEncoder::_convertAllCharactersToFullwidthOrBracketStringWholly(
    std::u16string_view text) const {
  if (_triesConvertingToFullwidth) {
    std::u16string mapped(text);
    for (char16_t& unit : mapped)
      if (char16_t fullwidth = fullwidthForm(unit)) unit = fullwidth;
    if (CVNCanEncodeString(mapped, _encoding)) return mapped;
  }
  return _bracketStringWholly(text);
}
