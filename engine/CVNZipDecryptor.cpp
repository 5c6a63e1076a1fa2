#include "engine/CVNZipDecryptor.h"

CVNZipDecryptor::CVNZipDecryptor(std::span<const uint8_t> password,
                                 std::span<const uint8_t, 12> encryptionHeader)
    : _keys(CVNZipEncryptionKeys::withPassword(password)),
      _decryptedEncryptionHeader(encryptionHeader.begin(), encryptionHeader.end()) {
  decryptBytes(_decryptedEncryptionHeader.data(),
               static_cast<int64_t>(_decryptedEncryptionHeader.size()));
}

void CVNZipDecryptor::decryptBytes(uint8_t* bytes, int64_t length) {
  // Local keys stay in registers across the loop.
  CVNZipEncryptionKeys keys = _keys;
  for (int64_t i = 0; i < length; ++i) {
    uint8_t plain = bytes[i] ^ keys.keystreamByte();
    bytes[i] = plain;
    keys.update(plain);
  }
  _keys = keys;
}

bool CVNZipDecryptor::verifyCRC32(uint32_t crc) const {
  return _decryptedEncryptionHeader[11] == static_cast<uint8_t>(crc >> 24);
}
