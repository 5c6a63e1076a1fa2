// The Zip64 end-of-central-directory record, written before the locator when a
// count, size, offset or disk number does not fit the end record. Its size field
// is not stored: it is 44 plus the length of the extensible data sector.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class RVIOHandle;

class CVNZipZip64EndOfCentralDirectoryRecord {
 public:
  static uint32_t _signature() { return 0x06064B50; }

  // Reads the record at the handle's position. False, with nothing changed, when
  // the first four bytes are not the signature (the handle then four bytes on),
  // or when the size field is below 44 and so gives no sector length (the handle
  // then after the fixed part; no sector is read). A record or sector cut off
  // raises RVIOHandleEndOfBytesException with the fields read so far set; a
  // sector that cannot be allocated raises RVOutOfMemoryException.
  bool loadWithIOHandle(RVIOHandle& handle);
  // Opens part `diskIndex` of the `diskCount` parts of the archive at `path`,
  // seeks to `offset` and loads from there. Open, seek and load failures raise.
  bool loadWithFileAtPath(const std::string& path, uint64_t diskIndex, uint64_t diskCount,
                          uint64_t offset);
  // Writes the record with one write; no sector writes an empty one.
  void saveWithIOHandle(RVIOHandle& handle);
  void dump() const {}

  uint16_t versionMadeBy() const { return _versionMadeBy; }
  void setVersionMadeBy(uint16_t v) { _versionMadeBy = v; }
  uint16_t versionNeededToExtract() const { return _versionNeededToExtract; }
  void setVersionNeededToExtract(uint16_t v) { _versionNeededToExtract = v; }
  uint32_t numberOfThisDisk() const { return _numberOfThisDisk; }
  void setNumberOfThisDisk(uint32_t v) { _numberOfThisDisk = v; }
  uint32_t numberOfTheDiskWithTheStartOfTheCentralDirectory() const {
    return _numberOfTheDiskWithTheStartOfTheCentralDirectory;
  }
  void setNumberOfTheDiskWithTheStartOfTheCentralDirectory(uint32_t v) {
    _numberOfTheDiskWithTheStartOfTheCentralDirectory = v;
  }
  uint64_t totalNumberOfEntriesInTheCentralDirectoryOnThisDisk() const {
    return _totalNumberOfEntriesInTheCentralDirectoryOnThisDisk;
  }
  void setTotalNumberOfEntriesInTheCentralDirectoryOnThisDisk(uint64_t v) {
    _totalNumberOfEntriesInTheCentralDirectoryOnThisDisk = v;
  }
  uint64_t totalNumberOfEntriesInTheCentralDirectory() const {
    return _totalNumberOfEntriesInTheCentralDirectory;
  }
  void setTotalNumberOfEntriesInTheCentralDirectory(uint64_t v) {
    _totalNumberOfEntriesInTheCentralDirectory = v;
  }
  uint64_t sizeOfTheCentralDirectory() const { return _sizeOfTheCentralDirectory; }
  void setSizeOfTheCentralDirectory(uint64_t v) { _sizeOfTheCentralDirectory = v; }
  uint64_t offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber() const {
    return _offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber;
  }
  void setOffsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber(uint64_t v) {
    _offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber = v;
  }
  const std::optional<std::vector<uint8_t>>& zip64ExtensibleDataSector() const {
    return _zip64ExtensibleDataSector;
  }
  void setZip64ExtensibleDataSector(std::optional<std::vector<uint8_t>> v) {
    _zip64ExtensibleDataSector = std::move(v);
  }

 private:
  uint16_t _versionMadeBy = 0;
  uint16_t _versionNeededToExtract = 0;
  uint32_t _numberOfThisDisk = 0;
  uint32_t _numberOfTheDiskWithTheStartOfTheCentralDirectory = 0;
  uint64_t _totalNumberOfEntriesInTheCentralDirectoryOnThisDisk = 0;
  uint64_t _totalNumberOfEntriesInTheCentralDirectory = 0;
  uint64_t _sizeOfTheCentralDirectory = 0;
  uint64_t _offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber = 0;
  std::optional<std::vector<uint8_t>> _zip64ExtensibleDataSector;
};
