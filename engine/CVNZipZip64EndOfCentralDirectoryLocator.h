// The Zip64 end-of-central-directory locator: it stands directly before the end
// record and tells on which part and at which offset the Zip64 end record is.
#pragma once

#include <cstdint>
#include <string>

class RVIOHandle;

class CVNZipZip64EndOfCentralDirectoryLocator {
 public:
  static uint32_t _signature() { return 0x07064B50; }
  static uint64_t fixedSize() { return 20; }

  // Reads the locator at the handle's position. False, with nothing changed and
  // the handle four bytes on, when the first four bytes are not the signature.
  // A locator cut off raises RVIOHandleEndOfBytesException with the fields read
  // so far set.
  bool loadWithIOHandle(RVIOHandle& handle);
  // Opens the single file at `path`, seeks to `offset` and loads from there.
  // Open, seek and load failures raise.
  bool loadWithFileAtPath(const std::string& path, uint64_t offset);
  // Writes the 20 bytes with one write.
  void saveWithIOHandle(RVIOHandle& handle);
  void dump() const {}

  uint32_t numberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory() const {
    return _numberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory;
  }
  void setNumberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory(uint32_t v) {
    _numberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory = v;
  }
  uint64_t relativeOffsetOfTheZip64EndOfCentralDirectoryRecord() const {
    return _relativeOffsetOfTheZip64EndOfCentralDirectoryRecord;
  }
  void setRelativeOffsetOfTheZip64EndOfCentralDirectoryRecord(uint64_t v) {
    _relativeOffsetOfTheZip64EndOfCentralDirectoryRecord = v;
  }
  uint32_t totalNumberOfDisks() const { return _totalNumberOfDisks; }
  void setTotalNumberOfDisks(uint32_t v) { _totalNumberOfDisks = v; }

 private:
  uint32_t _numberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory = 0;
  uint64_t _relativeOffsetOfTheZip64EndOfCentralDirectoryRecord = 0;
  uint32_t _totalNumberOfDisks = 0;
};
