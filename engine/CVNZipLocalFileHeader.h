// The local file header in front of each entry's data. Like the central record
// it keeps raw name bytes and derives the DOS time, the lengths and the extra
// block; it is the only record that carries access and creation times.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/io/RVDate.h"

class RVIOHandle;

class CVNZipLocalFileHeader {
 public:
  static uint32_t _signature() { return 0x04034B50; }

  // Reads the header at the handle's position, leaving the handle at the first
  // byte of the entry's data. False, with nothing changed, when the first four
  // bytes are not the signature. A header cut off, or a malformed extra block,
  // raises RVIOHandleEndOfBytesException with the fields read so far set.
  bool loadWithIOHandle(RVIOHandle& handle);
  // Opens part `diskIndex` of the archive at `path` (parts 0...maxDiskIndex),
  // seeks to `offset` and loads from there. Open, seek and load failures raise.
  bool loadWithFileAtPath(const std::string& path, uint64_t diskIndex, uint64_t maxDiskIndex,
                          uint64_t offset);
  // The whole serialised header; recomputes and stores versionNeededToExtract.
  // 30 bytes plus the name, plus 20 when a size needs Zip64, plus 9, 13 or 17
  // for one, two or three times (an extended timestamp of length 5, 9 or 13).
  // A name over 65,535 bytes raises RVInvalidArgumentException.
  std::vector<uint8_t> data();
  // Writes exactly the bytes of data() with one write.
  void saveWithIOHandle(RVIOHandle& handle);
  // Applies the known fields of an extra block to this record.
  void _loadExtraField(const std::vector<uint8_t>& extraField);
  void dump() const {}

  // None when the epoch is -1.
  std::optional<RVDate> modificationDate() const;
  std::optional<RVDate> accessDate() const;
  std::optional<RVDate> creationDate() const;
  // None sets -1; a time sets its whole seconds, truncated toward zero.
  void setModificationDate(std::optional<RVDate> date);
  void setAccessDate(std::optional<RVDate> date);
  void setCreationDate(std::optional<RVDate> date);

  // As loaded, or as computed by the last data().
  uint16_t versionNeededToExtract() const { return _versionNeededToExtract; }
  uint16_t generalPurposeBitFlag() const { return _generalPurposeBitFlag; }
  void setGeneralPurposeBitFlag(uint16_t v) { _generalPurposeBitFlag = v; }
  uint16_t compressionMethod() const { return _compressionMethod; }
  void setCompressionMethod(uint16_t v) { _compressionMethod = v; }
  uint32_t crc32() const { return _crc32; }
  void setCrc32(uint32_t v) { _crc32 = v; }
  uint64_t compressedSize() const { return _compressedSize; }
  void setCompressedSize(uint64_t v) { _compressedSize = v; }
  uint64_t uncompressedSize() const { return _uncompressedSize; }
  void setUncompressedSize(uint64_t v) { _uncompressedSize = v; }
  const std::optional<std::vector<uint8_t>>& fileName() const { return _fileName; }
  void setFileName(std::optional<std::vector<uint8_t>> v) { _fileName = std::move(v); }
  // Seconds since 1970-01-01 00:00:00 UTC; -1 means none.
  int64_t modificationEpoch() const { return _modificationEpoch; }
  void setModificationEpoch(int64_t v) { _modificationEpoch = v; }
  int64_t accessEpoch() const { return _accessEpoch; }
  void setAccessEpoch(int64_t v) { _accessEpoch = v; }
  int64_t creationEpoch() const { return _creationEpoch; }
  void setCreationEpoch(int64_t v) { _creationEpoch = v; }

 private:
  uint16_t _versionNeededToExtract = 0;
  uint16_t _generalPurposeBitFlag = 0;
  uint16_t _compressionMethod = 0;
  uint32_t _crc32 = 0;
  uint64_t _compressedSize = 0;
  uint64_t _uncompressedSize = 0;
  std::optional<std::vector<uint8_t>> _fileName;
  int64_t _modificationEpoch = -1;
  int64_t _accessEpoch = -1;
  int64_t _creationEpoch = -1;
};
