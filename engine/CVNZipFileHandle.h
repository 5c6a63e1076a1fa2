// The byte stream of an archive that may be split into parts: reading moves on
// to the next part when one is used up; writing can close full parts under
// their numbered names. Offsets are always within the part now open.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/io/RVIOHandle.h"

class CVNZipFileHandle : public RVIOHandle {
 public:
  // Opens part `startDiskIndex` of the parts 0...`maxDiskIndex` for reading.
  static std::unique_ptr<CVNZipFileHandle> forReadingAtPathMaxDiskIndex(const std::string& path,
                                                                        uint32_t startDiskIndex,
                                                                        uint32_t maxDiskIndex);
  // The same with `diskCount` parts (0...diskCount - 1).
  static std::unique_ptr<CVNZipFileHandle> forReadingAtPathDiskCount(const std::string& path,
                                                                     uint32_t startDiskIndex,
                                                                     uint32_t diskCount);
  // Creates the archive under a free name; `splitSize` 0 writes a single file.
  static std::unique_ptr<CVNZipFileHandle> forUniqueFileAtPath(const std::string& path,
                                                               uint64_t splitSize = 0);

  // The file name of part `index` of an archive whose last part is `maxDiskIndex`:
  // the archive's own path for the last, else its extension replaced by "z01", "z02", ...
  static std::string pathOfPart(const std::string& path, uint64_t index, uint64_t maxDiskIndex);

  const std::string& path() const { return _path; }
  uint64_t currentDiskIndex() const { return _currentDiskIndex; }
  uint64_t maxDiskIndex() const { return _maxDiskIndex; }

  // Not supported on a part handle; nothing asks for them.
  bool hasBytesAvailable() override;
  uint64_t seekToEnd() override;

  uint64_t offset() override;
  void seekToOffset(uint64_t offset) override;
  void truncateAtOffset(uint64_t length) override;
  // Never spans two parts: a request across a part's end returns up to that end.
  uint64_t readBytesMaxLength(void* buffer, uint64_t maxLength) override;
  uint64_t writeBytesMaxLength(const void* buffer, uint64_t length) override;

 private:
  CVNZipFileHandle(std::string path, uint64_t current, uint64_t max, uint64_t splitSize,
                   std::unique_ptr<RVIOHandle> part);

  std::string _path;
  uint64_t _currentDiskIndex;
  uint64_t _maxDiskIndex;
  uint64_t _splitSize;
  std::unique_ptr<RVIOHandle> _part;
};
