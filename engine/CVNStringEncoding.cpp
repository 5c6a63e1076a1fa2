#include "engine/CVNStringEncoding.h"

#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>

#include "engine/io/RVException.h"

namespace {

// The code pages in the order of their converters in the per-thread cache.
constexpr std::array<CVNStringEncoding, 5> kCodePages = {
    CVNStringEncoding::WindowsLatin1,
    CVNStringEncoding::WindowsJapanese,
    CVNStringEncoding::WindowsKorean,
    CVNStringEncoding::WindowsSimplifiedChinese,
    CVNStringEncoding::WindowsTraditionalChinese,
};
constexpr std::array<const char*, 5> kConverterNames = {
    "windows-1252", "windows-932", "windows-949", "windows-936", "windows-950",
};

size_t converterIndex(CVNStringEncoding encoding) {
  auto found = std::find(kCodePages.begin(), kCodePages.end(), encoding);
  RVParameterAssert(found != kCodePages.end());
  return static_cast<size_t>(found - kCodePages.begin());
}

// ICU converters are costly to open and may not be shared between threads, so
// each thread keeps its own, opened on first use.
class ConverterCache {
 public:
  ConverterCache() = default;
  ConverterCache(const ConverterCache&) = delete;
  ConverterCache& operator=(const ConverterCache&) = delete;
  ~ConverterCache() {
    for (UConverter* converter : converters_)
      if (converter) ucnv_close(converter);
  }

  UConverter* converter(CVNStringEncoding encoding) {
    size_t index = converterIndex(encoding);
    if (!converters_[index]) converters_[index] = openStrict(kConverterNames[index]);
    return converters_[index];
  }

 private:
  static UConverter* openStrict(const char* name) {
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name, &error);
    if (U_FAILURE(error) || !converter)
      throw RVException(RVInternalInconsistencyException,
                        std::string("No ICU converter for ") + name);
    ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
    ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
    if (U_FAILURE(error)) {
      ucnv_close(converter);
      throw RVException(RVInternalInconsistencyException,
                        std::string("Cannot make ICU converter strict: ") + name);
    }
    return converter;
  }

  std::array<UConverter*, 5> converters_{};
};

UConverter* converterFor(CVNStringEncoding encoding) {
  thread_local ConverterCache cache;
  return cache.converter(encoding);
}

// The published Windows table leaves these 1252 bytes undefined; ICU maps them
// to the C1 controls of the same value.
bool isUndefinedIn1252(char16_t unit) {
  return unit == 0x81 || unit == 0x8D || unit == 0x8F || unit == 0x90 || unit == 0x9D;
}

// ICU's 932 table follows IBM in swapping these three controls; Windows maps
// them to themselves. None of them is ever part of a double-byte character.
char16_t windowsUnitFromICU932(char16_t unit) {
  switch (unit) {
    case 0x1C:
      return 0x1A;
    case 0x7F:
      return 0x1C;
    case 0x1A:
      return 0x7F;
    default:
      return unit;
  }
}
uint8_t windowsByteFromICU932(uint8_t byte) {
  switch (byte) {
    case 0x7F:
      return 0x1A;
    case 0x1A:
      return 0x1C;
    case 0x1C:
      return 0x7F;
    default:
      return byte;
  }
}

bool isASCII(std::span<const uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b < 0x80; });
}
bool isASCII(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t u) { return u < 0x80; });
}

bool hasUnpairedSurrogate(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t unit = text[i];
    if (unit < 0xD800 || unit > 0xDFFF) continue;
    if (unit >= 0xDC00 || i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
      return true;
    ++i;
  }
  return false;
}

// Runs `text` through the code page's converter, handing the bytes to `sink`
// chunk by chunk. False as soon as a character has no mapping.
template <class Sink>
bool codePageFromUnicode(std::u16string_view text, CVNStringEncoding encoding, Sink&& sink) {
  if (encoding == CVNStringEncoding::WindowsLatin1 &&
      std::any_of(text.begin(), text.end(), isUndefinedIn1252))
    return false;
  UConverter* converter = converterFor(encoding);
  ucnv_resetFromUnicode(converter);
  const UChar* source = text.data();
  const UChar* sourceLimit = source + text.size();
  char buffer[512];
  for (;;) {
    char* target = buffer;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_fromUnicode(converter, &target, buffer + sizeof buffer, &source, sourceLimit, nullptr,
                     true, &error);
    sink(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(target - buffer));
    if (error == U_BUFFER_OVERFLOW_ERROR) continue;
    return U_SUCCESS(error);
  }
}

std::optional<std::u16string> codePageToUnicode(std::span<const uint8_t> bytes,
                                                CVNStringEncoding encoding) {
  if (encoding == CVNStringEncoding::WindowsLatin1 &&
      std::any_of(bytes.begin(), bytes.end(), isUndefinedIn1252))
    return std::nullopt;
  if (isASCII(bytes)) return std::u16string(bytes.begin(), bytes.end());
  UConverter* converter = converterFor(encoding);
  ucnv_resetToUnicode(converter);
  // No code page here yields more than one UTF-16 unit per byte; the slack is
  // cheap insurance against a table that does.
  std::u16string text(bytes.size() * 2, u'\0');
  const char* source = reinterpret_cast<const char*>(bytes.data());
  UChar* target = text.data();
  UErrorCode error = U_ZERO_ERROR;
  ucnv_toUnicode(converter, &target, text.data() + text.size(), &source, source + bytes.size(),
                 nullptr, true, &error);
  if (U_FAILURE(error)) return std::nullopt;
  text.resize(static_cast<size_t>(target - text.data()));
  if (encoding == CVNStringEncoding::WindowsJapanese)
    std::transform(text.begin(), text.end(), text.begin(), windowsUnitFromICU932);
  return text;
}

std::optional<std::u16string> utf16FromUTF8(std::string_view bytes) {
  std::u16string text(bytes.size(), u'\0');
  int32_t length = 0;
  UErrorCode error = U_ZERO_ERROR;
  u_strFromUTF8WithSub(text.data(), static_cast<int32_t>(text.size()), &length, bytes.data(),
                       static_cast<int32_t>(bytes.size()), U_SENTINEL, nullptr, &error);
  if (U_FAILURE(error)) return std::nullopt;
  text.resize(static_cast<size_t>(length));
  return text;
}

// `substitute` is U_SENTINEL for a strict conversion.
std::optional<std::string> utf8FromUTF16(std::u16string_view text, UChar32 substitute) {
  std::string bytes(text.size() * 3, '\0');
  int32_t length = 0;
  UErrorCode error = U_ZERO_ERROR;
  u_strToUTF8WithSub(bytes.data(), static_cast<int32_t>(bytes.size()), &length, text.data(),
                     static_cast<int32_t>(text.size()), substitute, nullptr, &error);
  if (U_FAILURE(error)) return std::nullopt;
  bytes.resize(static_cast<size_t>(length));
  return bytes;
}

}  // namespace

std::optional<std::vector<uint8_t>> CVNEncodeString(std::u16string_view text,
                                                    CVNStringEncoding encoding) {
  if (encoding == CVNStringEncoding::UTF8) {
    std::optional<std::string> bytes = utf8FromUTF16(text, U_SENTINEL);
    if (!bytes) return std::nullopt;
    return std::vector<uint8_t>(bytes->begin(), bytes->end());
  }
  converterIndex(encoding);
  if (isASCII(text)) return std::vector<uint8_t>(text.begin(), text.end());
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  bool converted = codePageFromUnicode(text, encoding, [&](const uint8_t* chunk, size_t length) {
    bytes.insert(bytes.end(), chunk, chunk + length);
  });
  if (!converted) return std::nullopt;
  if (encoding == CVNStringEncoding::WindowsJapanese)
    std::transform(bytes.begin(), bytes.end(), bytes.begin(), windowsByteFromICU932);
  return bytes;
}

std::optional<std::u16string> CVNDecodeString(std::span<const uint8_t> bytes,
                                              CVNStringEncoding encoding) {
  if (encoding == CVNStringEncoding::UTF8)
    return utf16FromUTF8(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  converterIndex(encoding);
  return codePageToUnicode(bytes, encoding);
}

bool CVNCanEncodeString(std::u16string_view text, CVNStringEncoding encoding) {
  if (encoding == CVNStringEncoding::UTF8) return !hasUnpairedSurrogate(text);
  converterIndex(encoding);
  if (isASCII(text)) return true;
  return codePageFromUnicode(text, encoding, [](const uint8_t*, size_t) {});
}

std::optional<std::u16string> CVNUTF16FromUTF8(std::string_view bytes) {
  return utf16FromUTF8(bytes);
}

std::string CVNUTF8FromUTF16(std::u16string_view text) {
  // With a substitute the conversion cannot fail.
  return utf8FromUTF16(text, 0xFFFD).value_or(std::string());
}
