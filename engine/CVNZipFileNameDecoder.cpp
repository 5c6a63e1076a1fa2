#include "engine/CVNZipFileNameDecoder.h"

#include <algorithm>

#include "engine/CVNWindowsCodepage.h"

namespace {

constexpr uint16_t kUTF8Flag = 1 << 11;

// The code pages' end-user-defined areas, where ICU puts characters that have
// no standard meaning.
bool hasPrivateUseCharacter(const std::u16string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char16_t unit) { return unit >= 0xE000 && unit <= 0xF8FF; });
}

}  // namespace

std::vector<CVNStringEncoding> CVNZipEncodingsForVersionMadeBy(uint16_t versionMadeBy) {
  uint8_t host = static_cast<uint8_t>(versionMadeBy >> 8);
  if (host != 0 && host != 11) return {CVNStringEncoding::UTF8};
  return {
      CVNStringEncodingForWindowsCodepage(932),  CVNStringEncodingForWindowsCodepage(949),
      CVNStringEncodingForWindowsCodepage(936),  CVNStringEncodingForWindowsCodepage(950),
      CVNStringEncodingForWindowsCodepage(1252), CVNStringEncoding::UTF8,
  };
}

CVNZipFileNameDecoder::CVNZipFileNameDecoder(uint16_t versionMadeBy, uint16_t generalPurposeBitFlag)
    : _encodings(CVNZipEncodingsForVersionMadeBy(versionMadeBy)) {
  // Writers that set the UTF-8 flag mean it; nearly any UTF-8 string is also
  // valid 1252, so UTF-8 has to come first or such names turn into mojibake.
  if (generalPurposeBitFlag & kUTF8Flag) {
    std::erase(_encodings, CVNStringEncoding::UTF8);
    _encodings.insert(_encodings.begin(), CVNStringEncoding::UTF8);
  }
}

std::optional<std::u16string> CVNZipFileNameDecoder::decodeFileName(
    std::span<const uint8_t> fileName) const {
  // A code-page decoding that lands in the user-defined area is almost never
  // what the writer meant (most Chinese names would come out as Korean private
  // use), so it only serves when no candidate decodes cleanly.
  std::optional<std::u16string> privateUseDecoding;
  for (CVNStringEncoding encoding : _encodings) {
    std::optional<std::u16string> text = CVNDecodeString(fileName, encoding);
    if (!text) continue;
    if (encoding != CVNStringEncoding::UTF8 && hasPrivateUseCharacter(*text)) {
      if (!privateUseDecoding) privateUseDecoding = std::move(text);
      continue;
    }
    return text;
  }
  return privateUseDecoding;
}
