#include "engine/CVNZipPasswordEncoder.h"

#include "engine/CVNZipFileNameDecoder.h"

CVNZipPasswordEncoder::CVNZipPasswordEncoder(uint16_t versionMadeBy, std::u16string password)
    : _encodings(CVNZipEncodingsForVersionMadeBy(versionMadeBy)), _password(std::move(password)) {}

std::optional<std::vector<uint8_t>> CVNZipPasswordEncoder::nextEncoding() {
  while (_index < _encodings.size()) {
    CVNStringEncoding encoding = _encodings[_index++];
    if (std::optional<std::vector<uint8_t>> bytes = CVNEncodeString(_password, encoding))
      return bytes;
  }
  return std::nullopt;
}
