// The end-of-central-directory record that closes every archive and carries
// the archive comment. Values of 0xFFFF and 0xFFFFFFFF mean "see the Zip64 end
// record"; the record itself stores and loads them as they are.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

class RVIOHandle;

class CVNZipEndOfCentralDirectoryRecord {
 public:
  static uint32_t _signature() { return 0x06054B50; }
  // The length without the comment.
  static uint64_t fixedSize() { return 22; }

  // Reads the record at the handle's position. False, with nothing changed and
  // the handle four bytes on, when the first four bytes are not the signature.
  // A record or comment cut off raises RVIOHandleEndOfBytesException with the
  // fields read so far set.
  bool loadWithIOHandle(RVIOHandle& handle);
  // Writes the record with one write; no comment writes an empty one. A comment
  // over 65,535 bytes raises RVInvalidArgumentException before anything is written.
  void saveWithIOHandle(RVIOHandle& handle);
  void dump() const {}

  uint16_t numberOfThisDisk() const { return _numberOfThisDisk; }
  void setNumberOfThisDisk(uint16_t v) { _numberOfThisDisk = v; }
  uint16_t numberOfTheDiskWithTheStartOfTheCentralDirectory() const {
    return _numberOfTheDiskWithTheStartOfTheCentralDirectory;
  }
  void setNumberOfTheDiskWithTheStartOfTheCentralDirectory(uint16_t v) {
    _numberOfTheDiskWithTheStartOfTheCentralDirectory = v;
  }
  uint16_t totalNumberOfEntriesInTheCentralDirectoryOnThisDisk() const {
    return _totalNumberOfEntriesInTheCentralDirectoryOnThisDisk;
  }
  void setTotalNumberOfEntriesInTheCentralDirectoryOnThisDisk(uint16_t v) {
    _totalNumberOfEntriesInTheCentralDirectoryOnThisDisk = v;
  }
  uint16_t totalNumberOfEntriesInTheCentralDirectory() const {
    return _totalNumberOfEntriesInTheCentralDirectory;
  }
  void setTotalNumberOfEntriesInTheCentralDirectory(uint16_t v) {
    _totalNumberOfEntriesInTheCentralDirectory = v;
  }
  uint32_t sizeOfTheCentralDirectory() const { return _sizeOfTheCentralDirectory; }
  void setSizeOfTheCentralDirectory(uint32_t v) { _sizeOfTheCentralDirectory = v; }
  uint32_t offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber() const {
    return _offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber;
  }
  void setOffsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber(uint32_t v) {
    _offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber = v;
  }
  const std::optional<std::vector<uint8_t>>& zipFileComment() const { return _zipFileComment; }
  void setZipFileComment(std::optional<std::vector<uint8_t>> v) { _zipFileComment = std::move(v); }

 private:
  uint16_t _numberOfThisDisk = 0;
  uint16_t _numberOfTheDiskWithTheStartOfTheCentralDirectory = 0;
  uint16_t _totalNumberOfEntriesInTheCentralDirectoryOnThisDisk = 0;
  uint16_t _totalNumberOfEntriesInTheCentralDirectory = 0;
  uint32_t _sizeOfTheCentralDirectory = 0;
  uint32_t _offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber = 0;
  std::optional<std::vector<uint8_t>> _zipFileComment;
};
