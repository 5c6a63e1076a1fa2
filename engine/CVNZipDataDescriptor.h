// The data descriptor that may follow an entry's data (signature, CRC-32 and
// the two sizes). The writer rewrites local headers instead, so nothing in the
// engine makes one; it can only be saved.
#pragma once

#include <cstdint>

class RVIOHandle;

class CVNZipDataDescriptor {
 public:
  static uint32_t _signature() { return 0x08074B50; }

  // Writes the 16 bytes with one write.
  void saveWithIOHandle(RVIOHandle& handle);

  uint32_t crc32() const { return _crc32; }
  void setCrc32(uint32_t v) { _crc32 = v; }
  uint32_t compressedSize() const { return _compressedSize; }
  void setCompressedSize(uint32_t v) { _compressedSize = v; }
  uint32_t uncompressedSize() const { return _uncompressedSize; }
  void setUncompressedSize(uint32_t v) { _uncompressedSize = v; }

 private:
  uint32_t _crc32 = 0;
  uint32_t _compressedSize = 0;
  uint32_t _uncompressedSize = 0;
};
