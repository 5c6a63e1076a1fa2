#include "engine/CVNZipZip64EndOfCentralDirectoryLocator.h"

#include "engine/CVNZipRecordBytes.h"
#include "engine/io/RVFileHandle.h"
#include "engine/io/RVIOHandle.h"

bool CVNZipZip64EndOfCentralDirectoryLocator::loadWithIOHandle(RVIOHandle& handle) {
  uint8_t b[20];
  uint64_t got;
  if (!cvnzip::readFixedPart(handle, _signature(), b, sizeof b, got)) return false;
  cvnzip::FixedPart f(b, got);
  _numberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory = f.u32(4);
  _relativeOffsetOfTheZip64EndOfCentralDirectoryRecord = f.u64(8);
  _totalNumberOfDisks = f.u32(16);
  return true;
}

bool CVNZipZip64EndOfCentralDirectoryLocator::loadWithFileAtPath(const std::string& path,
                                                                 uint64_t offset) {
  auto handle = RVFileHandle::forReadingAtPath(path);
  handle->seekToOffset(offset);
  return loadWithIOHandle(*handle);
}

void CVNZipZip64EndOfCentralDirectoryLocator::saveWithIOHandle(RVIOHandle& handle) {
  std::vector<uint8_t> record;
  record.reserve(fixedSize());
  cvnzip::ByteWriter w(record);
  w.u32(_signature());
  w.u32(_numberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory);
  w.u64(_relativeOffsetOfTheZip64EndOfCentralDirectoryRecord);
  w.u32(_totalNumberOfDisks);
  handle.writeBytesLength(record.data(), record.size());
}
