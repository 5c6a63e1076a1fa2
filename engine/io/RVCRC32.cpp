#include "engine/io/RVCRC32.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>

namespace {

constexpr std::array<uint32_t, 256> makeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = makeTable();

}  // namespace

uint32_t RVCRC32Init() { return 0xFFFFFFFFu; }

uint32_t RVCRC32UpdateByte(uint32_t value, uint8_t byte) {
  return kTable[(value ^ byte) & 0xFF] ^ (value >> 8);
}

uint32_t RVCRC32Update(uint32_t value, const void* bytes, int64_t length) {
  if (length <= 0) return value;
  // libdeflate (carry-less multiply folding) continues a finished CRC, not a
  // running value: the running value is the complement of the CRC so far.
  const auto* p = static_cast<const uint8_t*>(bytes);
  while (length > 0) {
    size_t n = static_cast<size_t>(std::min<int64_t>(length, int64_t{1} << 30));
    value = ~libdeflate_crc32(~value, p, n);
    p += n;
    length -= static_cast<int64_t>(n);
  }
  return value;
}

uint32_t RVCRC32Final(uint32_t value) { return ~value; }

void RVCRC32::updateWithBytes(const void* bytes, uint64_t length) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  while (length > 0) {
    uint64_t n = std::min<uint64_t>(length, uint64_t{1} << 30);
    _rawValue = RVCRC32Update(_rawValue, p, static_cast<int64_t>(n));
    p += n;
    length -= n;
  }
}
