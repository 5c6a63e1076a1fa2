#include "engine/CVNZipEncryptor.h"

#include <sys/random.h>

#include <cerrno>

#include "engine/io/RVException.h"

namespace {

void fillRandom(uint8_t* bytes, size_t length) {
  while (length > 0) {
    ssize_t n = ::getrandom(bytes, length, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      RVRaiseFileSystemError();
    }
    bytes += n;
    length -= static_cast<size_t>(n);
  }
}

}  // namespace

CVNZipEncryptor::CVNZipEncryptor(std::span<const uint8_t> password)
    : _keys(CVNZipEncryptionKeys::withPassword(password)) {}

std::vector<uint8_t> CVNZipEncryptor::encryptionHeaderWithCRC32(uint32_t crc) {
  std::vector<uint8_t> header(12);
  fillRandom(header.data(), 11);
  header[11] = static_cast<uint8_t>(crc >> 24);
  encryptBytes(header.data(), static_cast<int64_t>(header.size()));
  return header;
}

void CVNZipEncryptor::encryptBytes(uint8_t* bytes, int64_t length) {
  // Local keys stay in registers across the loop.
  CVNZipEncryptionKeys keys = _keys;
  for (int64_t i = 0; i < length; ++i) {
    uint8_t plain = bytes[i];
    bytes[i] = plain ^ keys.keystreamByte();
    keys.update(plain);
  }
  _keys = keys;
}
