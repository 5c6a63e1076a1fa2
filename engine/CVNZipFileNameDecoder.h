// Decodes raw entry-name bytes by trying the candidate encodings of the entry's
// host system in order.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/CVNStringEncoding.h"

// Hosts 0 (MS-DOS) and 11 (NTFS): code pages 932, 949, 936, 950, 1252, then
// UTF-8. Any other host: UTF-8 alone.
std::vector<CVNStringEncoding> CVNZipEncodingsForVersionMadeBy(uint16_t versionMadeBy);

class CVNZipFileNameDecoder {
 public:
  // With bit 11 (the UTF-8 flag) of `generalPurposeBitFlag` set, strict UTF-8 is
  // tried before the host's candidates (and not again after them).
  explicit CVNZipFileNameDecoder(uint16_t versionMadeBy, uint16_t generalPurposeBitFlag = 0);

  const std::vector<CVNStringEncoding>& encodings() const { return _encodings; }
  // The first candidate that decodes the bytes, or none. Empty bytes decode to
  // empty text. A code-page decoding with a private-use character (U+E000 to
  // U+F8FF) is passed over, and kept only when no other candidate decodes.
  std::optional<std::u16string> decodeFileName(std::span<const uint8_t> fileName) const;

 private:
  std::vector<CVNStringEncoding> _encodings;
};
