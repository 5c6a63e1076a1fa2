// The writing side of the traditional PKWARE encryption: one object per entry,
// which makes the entry's 12-byte encryption header and then encrypts its data.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/CVNZipEncryptionKeys.h"

class CVNZipEncryptor {
 public:
  // `password` is already in the archive's code page.
  explicit CVNZipEncryptor(std::span<const uint8_t> password);

  // The 12 encrypted header bytes to write in front of the entry's data: 11
  // fresh random bytes and the high byte of `crc` (the CRC-32 of the plain
  // data). Advances the keys past them. Raises by errno when the system's
  // random source fails.
  std::vector<uint8_t> encryptionHeaderWithCRC32(uint32_t crc);

  // Encrypts in place; a length of 0 or less does nothing.
  void encryptBytes(uint8_t* bytes, int64_t length);

  const CVNZipEncryptionKeys& keys() const { return _keys; }

 private:
  CVNZipEncryptionKeys _keys;
};
