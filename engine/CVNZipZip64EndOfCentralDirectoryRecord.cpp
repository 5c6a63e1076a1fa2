#include "engine/CVNZipZip64EndOfCentralDirectoryRecord.h"

#include "engine/CVNZipFileHandle.h"
#include "engine/CVNZipRecordBytes.h"
#include "engine/io/RVIOHandle.h"

namespace {

constexpr uint64_t kFixedSize = 56;
// The size field counts the record after itself: the 44 bytes of fixed fields
// that follow it, then the sector.
constexpr uint64_t kSizeOfFixedFields = 44;

}  // namespace

bool CVNZipZip64EndOfCentralDirectoryRecord::loadWithIOHandle(RVIOHandle& handle) {
  uint8_t b[kFixedSize];
  uint64_t got;
  if (!cvnzip::readFixedPart(handle, _signature(), b, kFixedSize, got)) return false;
  // A size below 44 leaves no room for the fixed fields it claims to count:
  // not a record we can trust, so nothing is taken from it.
  if (got == kFixedSize && cvnzip::le64(b + 4) < kSizeOfFixedFields) return false;

  cvnzip::FixedPart f(b, got);
  uint64_t size = f.u64(4);
  _versionMadeBy = f.u16(12);
  _versionNeededToExtract = f.u16(14);
  _numberOfThisDisk = f.u32(16);
  _numberOfTheDiskWithTheStartOfTheCentralDirectory = f.u32(20);
  _totalNumberOfEntriesInTheCentralDirectoryOnThisDisk = f.u64(24);
  _totalNumberOfEntriesInTheCentralDirectory = f.u64(32);
  _sizeOfTheCentralDirectory = f.u64(40);
  _offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber = f.u64(48);
  _zip64ExtensibleDataSector = cvnzip::readByteString(handle, size - kSizeOfFixedFields);
  return true;
}

bool CVNZipZip64EndOfCentralDirectoryRecord::loadWithFileAtPath(const std::string& path,
                                                                uint64_t diskIndex,
                                                                uint64_t diskCount,
                                                                uint64_t offset) {
  auto handle =
      CVNZipFileHandle::forReadingAtPathDiskCount(path, cvnzip::diskIndex32(diskIndex, "diskIndex"),
                                                  cvnzip::diskIndex32(diskCount, "diskCount"));
  handle->seekToOffset(offset);
  return loadWithIOHandle(*handle);
}

void CVNZipZip64EndOfCentralDirectoryRecord::saveWithIOHandle(RVIOHandle& handle) {
  static const std::vector<uint8_t> kEmpty;
  const std::vector<uint8_t>& sector =
      _zip64ExtensibleDataSector ? *_zip64ExtensibleDataSector : kEmpty;
  std::vector<uint8_t> record;
  record.reserve(kFixedSize + sector.size());
  cvnzip::ByteWriter w(record);
  w.u32(_signature());
  w.u64(kSizeOfFixedFields + sector.size());
  w.u16(_versionMadeBy);
  w.u16(_versionNeededToExtract);
  w.u32(_numberOfThisDisk);
  w.u32(_numberOfTheDiskWithTheStartOfTheCentralDirectory);
  w.u64(_totalNumberOfEntriesInTheCentralDirectoryOnThisDisk);
  w.u64(_totalNumberOfEntriesInTheCentralDirectory);
  w.u64(_sizeOfTheCentralDirectory);
  w.u64(_offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber);
  w.bytes(sector);
  handle.writeBytesLength(record.data(), record.size());
}
