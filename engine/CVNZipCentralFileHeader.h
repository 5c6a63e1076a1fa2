// One central directory file header. Names and comments are raw bytes; the DOS
// time, the lengths and the extra block are derived on saving and interpreted
// on loading (Zip64, extended timestamp and NTFS fields; others are dropped).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/io/RVDate.h"

class RVIOHandle;

class CVNZipCentralFileHeader {
 public:
  static uint32_t _signature() { return 0x02014B50; }

  // Reads one whole record at the handle's position. False, with nothing
  // changed, when the first four bytes are not the signature. A record cut off,
  // or a malformed extra block, raises RVIOHandleEndOfBytesException with the
  // fields read so far set.
  bool loadWithIOHandle(RVIOHandle& handle);
  // Opens part `diskIndex` of the archive at `path` (parts 0...maxDiskIndex),
  // seeks to `offset` and loads from there. Open, seek and load failures raise.
  bool loadWithFileAtPath(const std::string& path, uint64_t diskIndex, uint64_t maxDiskIndex,
                          uint64_t offset);
  // Recomputes versionNeededToExtract and writes the record at the handle's
  // position. A name or comment over 65,535 bytes raises RVInvalidArgumentException
  // before anything is written.
  void saveWithIOHandle(RVIOHandle& handle);
  // Applies the known fields of an extra block to this record.
  void _loadExtraField(const std::vector<uint8_t>& extraField);
  void dump() const {}

  // The name decoded by the candidates of versionMadeBy (and the UTF-8 flag);
  // none when no candidate decodes it.
  std::optional<std::u16string> fileNameString() const;
  // None when modificationEpoch is -1.
  std::optional<RVDate> modificationDate() const;
  // None sets -1; a time sets its whole seconds, truncated toward zero.
  void setModificationDate(std::optional<RVDate> date);

  uint16_t versionMadeBy() const { return _versionMadeBy; }
  void setVersionMadeBy(uint16_t v) { _versionMadeBy = v; }
  uint16_t versionNeededToExtract() const { return _versionNeededToExtract; }
  void setVersionNeededToExtract(uint16_t v) { _versionNeededToExtract = v; }
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
  uint32_t diskNumberStart() const { return _diskNumberStart; }
  void setDiskNumberStart(uint32_t v) { _diskNumberStart = v; }
  uint16_t internalFileAttributes() const { return _internalFileAttributes; }
  void setInternalFileAttributes(uint16_t v) { _internalFileAttributes = v; }
  uint32_t externalFileAttributes() const { return _externalFileAttributes; }
  void setExternalFileAttributes(uint32_t v) { _externalFileAttributes = v; }
  uint64_t relativeOffsetOfLocalHeader() const { return _relativeOffsetOfLocalHeader; }
  void setRelativeOffsetOfLocalHeader(uint64_t v) { _relativeOffsetOfLocalHeader = v; }
  const std::optional<std::vector<uint8_t>>& fileName() const { return _fileName; }
  void setFileName(std::optional<std::vector<uint8_t>> v) { _fileName = std::move(v); }
  const std::optional<std::vector<uint8_t>>& fileComment() const { return _fileComment; }
  void setFileComment(std::optional<std::vector<uint8_t>> v) { _fileComment = std::move(v); }
  int64_t modificationEpoch() const { return _modificationEpoch; }
  void setModificationEpoch(int64_t v) { _modificationEpoch = v; }

 private:
  uint16_t _versionMadeBy = 0;
  uint16_t _versionNeededToExtract = 0;
  uint16_t _generalPurposeBitFlag = 0;
  uint16_t _compressionMethod = 0;
  uint32_t _crc32 = 0;
  uint64_t _compressedSize = 0;
  uint64_t _uncompressedSize = 0;
  uint32_t _diskNumberStart = 0;
  uint16_t _internalFileAttributes = 0;
  uint32_t _externalFileAttributes = 0;
  uint64_t _relativeOffsetOfLocalHeader = 0;
  std::optional<std::vector<uint8_t>> _fileName;
  std::optional<std::vector<uint8_t>> _fileComment;
  int64_t _modificationEpoch = -1;
};
