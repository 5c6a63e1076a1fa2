#include "engine/CVNZipEndOfCentralDirectoryRecord.h"

#include "engine/CVNZipRecordBytes.h"
#include "engine/io/RVIOHandle.h"

bool CVNZipEndOfCentralDirectoryRecord::loadWithIOHandle(RVIOHandle& handle) {
  // The reader tries this load at up to 65,536 positions from the end of the
  // archive, nearly all of them wrong: the signature alone decides, in one read.
  if (handle.readInt32LittleToHost() != _signature()) return false;
  uint8_t b[18];
  cvnzip::FixedPart f(b, cvnzip::readAvailable(handle, b, sizeof b));
  _numberOfThisDisk = f.u16(0);
  _numberOfTheDiskWithTheStartOfTheCentralDirectory = f.u16(2);
  _totalNumberOfEntriesInTheCentralDirectoryOnThisDisk = f.u16(4);
  _totalNumberOfEntriesInTheCentralDirectory = f.u16(6);
  _sizeOfTheCentralDirectory = f.u32(8);
  _offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber = f.u32(12);
  _zipFileComment = handle.readDataOfLength(f.u16(16));
  return true;
}

void CVNZipEndOfCentralDirectoryRecord::saveWithIOHandle(RVIOHandle& handle) {
  static const std::vector<uint8_t> kEmpty;
  const std::vector<uint8_t>& comment = _zipFileComment ? *_zipFileComment : kEmpty;
  cvnzip::checkLength16(comment.size(), "archive comment");
  std::vector<uint8_t> record;
  record.reserve(fixedSize() + comment.size());
  cvnzip::ByteWriter w(record);
  w.u32(_signature());
  w.u16(_numberOfThisDisk);
  w.u16(_numberOfTheDiskWithTheStartOfTheCentralDirectory);
  w.u16(_totalNumberOfEntriesInTheCentralDirectoryOnThisDisk);
  w.u16(_totalNumberOfEntriesInTheCentralDirectory);
  w.u32(_sizeOfTheCentralDirectory);
  w.u32(_offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber);
  w.u16(static_cast<uint16_t>(comment.size()));
  w.bytes(comment);
  handle.writeBytesLength(record.data(), record.size());
}
