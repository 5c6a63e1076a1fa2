#include "engine/CVNZipDataDescriptor.h"

#include <vector>

#include "engine/CVNZipRecordBytes.h"
#include "engine/io/RVIOHandle.h"

void CVNZipDataDescriptor::saveWithIOHandle(RVIOHandle& handle) {
  std::vector<uint8_t> record;
  record.reserve(16);
  cvnzip::ByteWriter w(record);
  w.u32(_signature());
  w.u32(_crc32);
  w.u32(_compressedSize);
  w.u32(_uncompressedSize);
  handle.writeBytesLength(record.data(), record.size());
}
