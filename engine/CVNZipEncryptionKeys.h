// The three keys of the traditional PKWARE cipher and their per-byte update,
// shared by CVNZipEncryptor and CVNZipDecryptor. Kept inline: the update runs
// over every byte of an encrypted entry.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace cvn_zip_detail {

constexpr std::array<uint32_t, 256> makeCRC32Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

// The same table as RVCRC32's, visible here so that the step inlines.
inline constexpr std::array<uint32_t, 256> kCRC32Table = makeCRC32Table();

// The raw CRC-32 table step, without start value or final complement.
inline uint32_t crc32Step(uint32_t value, uint8_t byte) {
  return kCRC32Table[(value ^ byte) & 0xFF] ^ (value >> 8);
}

}  // namespace cvn_zip_detail

struct CVNZipEncryptionKeys {
  uint32_t key0 = 0x12345678;
  uint32_t key1 = 0x23456789;
  uint32_t key2 = 0x34567890;

  // The initial keys, updated with each password byte in order.
  static CVNZipEncryptionKeys withPassword(std::span<const uint8_t> password) {
    CVNZipEncryptionKeys keys;
    for (uint8_t b : password) keys.update(b);
    return keys;
  }

  // Advances the keys past one plain byte.
  void update(uint8_t plain) {
    key0 = cvn_zip_detail::crc32Step(key0, plain);
    key1 = (key1 + (key0 & 0xFF)) * 134775813u + 1;
    key2 = cvn_zip_detail::crc32Step(key2, static_cast<uint8_t>(key1 >> 24));
  }

  // The byte XORed with the next byte of the stream.
  uint8_t keystreamByte() const {
    uint32_t t = (key2 & 0xFFFF) | 2;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
  }

  bool operator==(const CVNZipEncryptionKeys&) const = default;
};
