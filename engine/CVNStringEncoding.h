// The string encodings of entry names and passwords: UTF-8 and the Windows code
// pages 1252, 932, 949, 936 and 950. Conversions are strict: an invalid byte or
// an unrepresentable character fails the conversion, nothing is substituted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class CVNStringEncoding : uint64_t {
  UTF8 = 0,
  WindowsLatin1 = 1252,
  WindowsJapanese = 932,
  WindowsKorean = 949,
  WindowsSimplifiedChinese = 936,
  WindowsTraditionalChinese = 950,
};

// The bytes of `text` in `encoding`, or none when some character is not representable.
std::optional<std::vector<uint8_t>> CVNEncodeString(std::u16string_view text,
                                                    CVNStringEncoding encoding);
// The text of `bytes` in `encoding`, or none when the bytes are not valid in it.
std::optional<std::u16string> CVNDecodeString(std::span<const uint8_t> bytes,
                                              CVNStringEncoding encoding);
// Whether `text` converts to `encoding` without loss.
bool CVNCanEncodeString(std::u16string_view text, CVNStringEncoding encoding);

// UTF-8 file-system bytes and UTF-16 text. Decoding is strict (none on invalid
// UTF-8); encoding writes an unpaired surrogate as U+FFFD.
std::optional<std::u16string> CVNUTF16FromUTF8(std::string_view bytes);
std::string CVNUTF8FromUTF16(std::u16string_view text);
