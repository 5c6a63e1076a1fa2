#include "engine/CVNZipLocalFileHeader.h"

#include "engine/CVNZipFileHandle.h"
#include "engine/CVNZipRecordBytes.h"
#include "engine/io/RVDOSTime.h"
#include "engine/io/RVException.h"
#include "engine/io/RVIOHandle.h"

using cvnzip::cover;
using cvnzip::kEscape32;
using cvnzip::kTagExtendedTimestamp;
using cvnzip::kTagNTFS;
using cvnzip::kTagZip64;

namespace {

constexpr uint64_t kFixedSize = 30;

}  // namespace

bool CVNZipLocalFileHeader::loadWithIOHandle(RVIOHandle& handle) {
  uint8_t b[kFixedSize];
  uint64_t got;
  if (!cvnzip::readFixedPart(handle, _signature(), b, kFixedSize, got)) return false;

  // In layout order: a cut-off header leaves set the fields whose bytes arrived.
  cvnzip::FixedPart f(b, got);
  _versionNeededToExtract = f.u16(4);
  _generalPurposeBitFlag = f.u16(6);
  _compressionMethod = f.u16(8);
  RVDOSTime dos{f.u16(10), f.u16(12)};
  _crc32 = f.u32(14);
  _compressedSize = f.u32(18);
  _uncompressedSize = f.u32(22);
  uint64_t nameLength = f.u16(26);
  uint64_t extraLength = f.u16(28);

  // Name and extra block in one read; at most 2 x 65535 bytes.
  uint64_t variable = nameLength + extraLength;
  uint64_t arrived;
  std::vector<uint8_t> rest = cvnzip::readVariablePart(handle, variable, arrived);
  auto begin = rest.begin();
  cover(arrived, nameLength);
  _fileName.emplace(begin, begin + nameLength);
  cover(arrived, variable);
  std::vector<uint8_t> extra(begin + nameLength, rest.end());

  _modificationEpoch = RVEpochWithDOSTime(dos);
  _loadExtraField(extra);
  return true;
}

bool CVNZipLocalFileHeader::loadWithFileAtPath(const std::string& path, uint64_t diskIndex,
                                               uint64_t maxDiskIndex, uint64_t offset) {
  return loadWithIOHandle(*cvnzip::openRecordAt(path, diskIndex, maxDiskIndex, offset));
}

void CVNZipLocalFileHeader::_loadExtraField(const std::vector<uint8_t>& extraField) {
  cvnzip::walkExtraField(extraField, [&](uint16_t tag, cvnzip::ByteReader& field) {
    switch (tag) {
      case kTagExtendedTimestamp: {
        uint8_t flags = field.u8();
        if (flags & 0x01) _modificationEpoch = field.u32();
        if (flags & 0x02) _accessEpoch = field.u32();
        if (flags & 0x04) _creationEpoch = field.u32();
        break;
      }
      case kTagNTFS:
        cvnzip::walkNTFSTimes(field, [&](cvnzip::ByteReader& times) {
          // Modification, access and creation time, as far as the attribute goes.
          if (!times.atEnd()) setModificationDate(dateWithNTFSTimestamp(times.u64()));
          if (!times.atEnd()) setAccessDate(dateWithNTFSTimestamp(times.u64()));
          if (!times.atEnd()) setCreationDate(dateWithNTFSTimestamp(times.u64()));
        });
        break;
      case kTagZip64:
        if (_uncompressedSize == kEscape32) _uncompressedSize = field.u64();
        if (_compressedSize == kEscape32) _compressedSize = field.u64();
        break;
      default:
        break;
    }
  });
}

std::vector<uint8_t> CVNZipLocalFileHeader::data() {
  const std::vector<uint8_t>& name = cvnzip::bytesOrEmpty(_fileName);
  cvnzip::checkLength16(name.size(), "file name");

  bool zip64 = _uncompressedSize >= kEscape32 || _compressedSize >= kEscape32;
  _versionNeededToExtract =
      cvnzip::versionNeededToExtract(zip64, _generalPurposeBitFlag, _compressionMethod, name);

  RVDOSTime dos = RVDOSTimeWithEpoch(_modificationEpoch);
  bool hasModification = _modificationEpoch != -1;
  bool hasAccess = _accessEpoch != -1;
  bool hasCreation = _creationEpoch != -1;
  unsigned times = hasModification + hasAccess + hasCreation;
  uint16_t extraLength = static_cast<uint16_t>((zip64 ? 20 : 0) + (times ? 5 + 4 * times : 0));

  std::vector<uint8_t> header;
  header.reserve(kFixedSize + name.size() + extraLength);
  cvnzip::ByteWriter w(header);
  w.u32(_signature());
  w.u16(_versionNeededToExtract);
  w.u16(_generalPurposeBitFlag);
  w.u16(_compressionMethod);
  w.u16(dos.time);
  w.u16(dos.date);
  w.u32(_crc32);
  w.u32(zip64 ? kEscape32 : static_cast<uint32_t>(_compressedSize));
  w.u32(zip64 ? kEscape32 : static_cast<uint32_t>(_uncompressedSize));
  w.u16(static_cast<uint16_t>(name.size()));
  w.u16(extraLength);
  w.bytes(name);
  if (zip64) {
    w.u16(kTagZip64);
    w.u16(16);
    w.u64(_uncompressedSize);
    w.u64(_compressedSize);
  }
  if (times) {
    w.u16(kTagExtendedTimestamp);
    w.u16(static_cast<uint16_t>(1 + 4 * times));
    w.u8(static_cast<uint8_t>(hasModification | (hasAccess << 1) | (hasCreation << 2)));
    if (hasModification) w.u32(static_cast<uint32_t>(_modificationEpoch));
    if (hasAccess) w.u32(static_cast<uint32_t>(_accessEpoch));
    if (hasCreation) w.u32(static_cast<uint32_t>(_creationEpoch));
  }
  return header;
}

void CVNZipLocalFileHeader::saveWithIOHandle(RVIOHandle& handle) {
  std::vector<uint8_t> header = data();
  handle.writeBytesLength(header.data(), header.size());
}

std::optional<RVDate> CVNZipLocalFileHeader::modificationDate() const {
  return RVDateWithEpoch(_modificationEpoch);
}
std::optional<RVDate> CVNZipLocalFileHeader::accessDate() const {
  return RVDateWithEpoch(_accessEpoch);
}
std::optional<RVDate> CVNZipLocalFileHeader::creationDate() const {
  return RVDateWithEpoch(_creationEpoch);
}
void CVNZipLocalFileHeader::setModificationDate(std::optional<RVDate> date) {
  _modificationEpoch = RVEpochWithDate(date);
}
void CVNZipLocalFileHeader::setAccessDate(std::optional<RVDate> date) {
  _accessEpoch = RVEpochWithDate(date);
}
void CVNZipLocalFileHeader::setCreationDate(std::optional<RVDate> date) {
  _creationEpoch = RVEpochWithDate(date);
}
