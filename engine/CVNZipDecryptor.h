// The reading side of the traditional PKWARE encryption: one object per entry,
// made from the password and the entry's 12-byte encryption header.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/CVNZipEncryptionKeys.h"

class CVNZipDecryptor {
 public:
  // `password` is already in the archive's code page; `encryptionHeader` is the
  // header as read from the archive. The keys end up past the header, ready for
  // the entry's data.
  CVNZipDecryptor(std::span<const uint8_t> password, std::span<const uint8_t, 12> encryptionHeader);

  // The 12 header bytes after decryption.
  const std::vector<uint8_t>& decryptedEncryptionHeader() const {
    return _decryptedEncryptionHeader;
  }

  // Decrypts in place; a length of 0 or less does nothing.
  void decryptBytes(uint8_t* bytes, int64_t length);

  // Whether the header's check byte (byte 11) is the high byte of `crc`.
  bool verifyCRC32(uint32_t crc) const;

  const CVNZipEncryptionKeys& keys() const { return _keys; }

 private:
  CVNZipEncryptionKeys _keys;
  std::vector<uint8_t> _decryptedEncryptionHeader;
};
