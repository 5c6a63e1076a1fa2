// The Zip CRC-32 (reflected polynomial 0xEDB88320) over a running value that
// starts at RVCRC32Init() and is complemented by RVCRC32Final().
#pragma once

#include <cstdint>

uint32_t RVCRC32Init();
// The table step; it also drives the traditional encryption keys.
uint32_t RVCRC32UpdateByte(uint32_t value, uint8_t byte);
// A length of 0 or less leaves the value unchanged.
uint32_t RVCRC32Update(uint32_t value, const void* bytes, int64_t length);
uint32_t RVCRC32Final(uint32_t value);

// An accumulator over the functions above.
class RVCRC32 {
 public:
  static RVCRC32 CRC32() { return RVCRC32(); }
  RVCRC32() : _rawValue(RVCRC32Init()) {}

  void updateWithByte(uint8_t byte) { _rawValue = RVCRC32UpdateByte(_rawValue, byte); }
  void updateWithBytes(const void* bytes, uint64_t length);
  // The CRC so far; more bytes may follow.
  uint32_t value() const { return RVCRC32Final(_rawValue); }

 private:
  uint32_t _rawValue;
};
