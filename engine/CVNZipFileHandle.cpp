#include "engine/CVNZipFileHandle.h"

#include <algorithm>
#include <cstdio>

#include "engine/io/RVException.h"
#include "engine/io/RVFileHandle.h"
#include "engine/io/RVFileSystem.h"
#include "engine/io/RVPath.h"

CVNZipFileHandle::CVNZipFileHandle(std::string path, uint64_t current, uint64_t max,
                                   uint64_t splitSize, std::unique_ptr<RVIOHandle> part)
    : _path(std::move(path)),
      _currentDiskIndex(current),
      _maxDiskIndex(max),
      _splitSize(splitSize),
      _part(std::move(part)) {}

std::string CVNZipFileHandle::pathOfPart(const std::string& path, uint64_t index,
                                         uint64_t maxDiskIndex) {
  if (index == maxDiskIndex) return path;
  char extension[32];
  std::snprintf(extension, sizeof extension, "z%02lu", static_cast<unsigned long>(index + 1));
  return RVPathByReplacingExtension(path, extension);
}

std::unique_ptr<CVNZipFileHandle> CVNZipFileHandle::forReadingAtPathMaxDiskIndex(
    const std::string& path, uint32_t startDiskIndex, uint32_t maxDiskIndex) {
  RVParameterAssert(startDiskIndex <= maxDiskIndex);
  auto part = RVFileHandle::forReadingAtPath(pathOfPart(path, startDiskIndex, maxDiskIndex));
  return std::unique_ptr<CVNZipFileHandle>(
      new CVNZipFileHandle(path, startDiskIndex, maxDiskIndex, 0, std::move(part)));
}

std::unique_ptr<CVNZipFileHandle> CVNZipFileHandle::forReadingAtPathDiskCount(
    const std::string& path, uint32_t startDiskIndex, uint32_t diskCount) {
  RVParameterAssert(diskCount >= 1 && startDiskIndex < diskCount);
  return forReadingAtPathMaxDiskIndex(path, startDiskIndex, diskCount - 1);
}

std::unique_ptr<CVNZipFileHandle> CVNZipFileHandle::forUniqueFileAtPath(const std::string& path,
                                                                        uint64_t splitSize) {
  std::string made;
  int fd = RVCreateUniqueFile(path, &made);
  auto part = std::make_unique<RVFileHandle>(fd, true);
  return std::unique_ptr<CVNZipFileHandle>(
      new CVNZipFileHandle(made, 0, 0, splitSize, std::move(part)));
}

bool CVNZipFileHandle::hasBytesAvailable() { RVRaiseInvalidParameter("hasBytesAvailable"); }

uint64_t CVNZipFileHandle::seekToEnd() { RVRaiseInvalidParameter("seekToEnd"); }

uint64_t CVNZipFileHandle::offset() { return _part->offset(); }

void CVNZipFileHandle::seekToOffset(uint64_t offset) { _part->seekToOffset(offset); }

void CVNZipFileHandle::truncateAtOffset(uint64_t length) { _part->truncateAtOffset(length); }

uint64_t CVNZipFileHandle::readBytesMaxLength(void* buffer, uint64_t maxLength) {
  for (;;) {
    uint64_t n = _part->readBytesMaxLength(buffer, maxLength);
    if (n > 0 || maxLength == 0 || _currentDiskIndex >= _maxDiskIndex) return n;
    _part.reset();
    ++_currentDiskIndex;
    _part = RVFileHandle::forReadingAtPath(pathOfPart(_path, _currentDiskIndex, _maxDiskIndex));
  }
}

uint64_t CVNZipFileHandle::writeBytesMaxLength(const void* buffer, uint64_t length) {
  if (_splitSize == 0) return _part->writeBytesMaxLength(buffer, length);
  for (;;) {
    uint64_t position = _part->offset();
    RVParameterAssert(position <= _splitSize);
    uint64_t room = _splitSize - position;
    if (room > 0) return _part->writeBytesMaxLength(buffer, std::min(room, length));
    // The part is full: it takes its numbered name and a new one starts under the archive's.
    static_cast<RVFileHandle&>(*_part).close();
    _part.reset();
    ++_maxDiskIndex;
    RVRenameFile(_path, pathOfPart(_path, _currentDiskIndex, _maxDiskIndex));
    ++_currentDiskIndex;
    _part = std::make_unique<RVFileHandle>(RVOpenNewFile(_path), true);
  }
}
