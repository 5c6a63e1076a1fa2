#include "engine/CVNZipCentralFileHeader.h"

#include "engine/CVNZipFileHandle.h"
#include "engine/CVNZipFileNameDecoder.h"
#include "engine/CVNZipRecordBytes.h"
#include "engine/io/RVDOSTime.h"
#include "engine/io/RVException.h"
#include "engine/io/RVIOHandle.h"

using cvnzip::cover;
using cvnzip::kEscape16;
using cvnzip::kEscape32;
using cvnzip::kTagExtendedTimestamp;
using cvnzip::kTagNTFS;
using cvnzip::kTagZip64;

namespace {

constexpr uint64_t kFixedSize = 46;

}  // namespace

bool CVNZipCentralFileHeader::loadWithIOHandle(RVIOHandle& handle) {
  uint8_t b[kFixedSize];
  uint64_t got;
  if (!cvnzip::readFixedPart(handle, _signature(), b, kFixedSize, got)) return false;

  // In layout order: a cut-off record leaves set the fields whose bytes arrived.
  cvnzip::FixedPart f(b, got);
  _versionMadeBy = f.u16(4);
  _versionNeededToExtract = f.u16(6);
  _generalPurposeBitFlag = f.u16(8);
  _compressionMethod = f.u16(10);
  RVDOSTime dos{f.u16(12), f.u16(14)};
  _crc32 = f.u32(16);
  _compressedSize = f.u32(20);
  _uncompressedSize = f.u32(24);
  uint64_t nameLength = f.u16(28);
  uint64_t extraLength = f.u16(30);
  uint64_t commentLength = f.u16(32);
  _diskNumberStart = f.u16(34);
  _internalFileAttributes = f.u16(36);
  _externalFileAttributes = f.u32(38);
  _relativeOffsetOfLocalHeader = f.u32(42);

  // Name, extra block and comment in one read; at most 3 x 65535 bytes.
  uint64_t variable = nameLength + extraLength + commentLength;
  uint64_t arrived;
  std::vector<uint8_t> rest = cvnzip::readVariablePart(handle, variable, arrived);
  auto begin = rest.begin();
  cover(arrived, nameLength);
  _fileName.emplace(begin, begin + nameLength);
  cover(arrived, variable);
  std::vector<uint8_t> extra(begin + nameLength, begin + nameLength + extraLength);
  _fileComment.emplace(begin + nameLength + extraLength, rest.end());

  _modificationEpoch = RVEpochWithDOSTime(dos);
  _loadExtraField(extra);
  return true;
}

bool CVNZipCentralFileHeader::loadWithFileAtPath(const std::string& path, uint64_t diskIndex,
                                                 uint64_t maxDiskIndex, uint64_t offset) {
  return loadWithIOHandle(*cvnzip::openRecordAt(path, diskIndex, maxDiskIndex, offset));
}

void CVNZipCentralFileHeader::_loadExtraField(const std::vector<uint8_t>& extraField) {
  cvnzip::walkExtraField(extraField, [&](uint16_t tag, cvnzip::ByteReader& field) {
    switch (tag) {
      case kTagExtendedTimestamp:
        // Only the modification time travels in a central record.
        if (field.u8() & 0x01) _modificationEpoch = field.u32();
        break;
      case kTagNTFS:
        cvnzip::walkNTFSTimes(field, [&](cvnzip::ByteReader& times) {
          if (!times.atEnd()) setModificationDate(dateWithNTFSTimestamp(times.u64()));
        });
        break;
      case kTagZip64:
        if (_uncompressedSize == kEscape32) _uncompressedSize = field.u64();
        if (_compressedSize == kEscape32) _compressedSize = field.u64();
        if (_relativeOffsetOfLocalHeader == kEscape32) _relativeOffsetOfLocalHeader = field.u64();
        if (_diskNumberStart == kEscape16) _diskNumberStart = field.u32();
        break;
      default:
        break;
    }
  });
}

void CVNZipCentralFileHeader::saveWithIOHandle(RVIOHandle& handle) {
  const std::vector<uint8_t>& name = cvnzip::bytesOrEmpty(_fileName);
  const std::vector<uint8_t>& comment = cvnzip::bytesOrEmpty(_fileComment);
  cvnzip::checkLength16(name.size(), "file name");
  cvnzip::checkLength16(comment.size(), "file comment");

  bool escapeUncompressed = _uncompressedSize >= kEscape32;
  bool escapeCompressed = _compressedSize >= kEscape32;
  bool escapeOffset = _relativeOffsetOfLocalHeader >= kEscape32;
  bool escapeDisk = _diskNumberStart >= kEscape16;
  uint16_t zip64Length = static_cast<uint16_t>(
      8 * (escapeUncompressed + escapeCompressed + escapeOffset) + 4 * escapeDisk);
  bool zip64 = zip64Length > 0;
  bool hasTime = _modificationEpoch != -1;

  _versionNeededToExtract =
      cvnzip::versionNeededToExtract(zip64, _generalPurposeBitFlag, _compressionMethod, name);

  RVDOSTime dos = RVDOSTimeWithEpoch(_modificationEpoch);
  uint16_t extraLength = static_cast<uint16_t>((zip64 ? 4 + zip64Length : 0) + (hasTime ? 9 : 0));

  std::vector<uint8_t> record;
  record.reserve(kFixedSize + name.size() + extraLength + comment.size());
  cvnzip::ByteWriter w(record);
  w.u32(_signature());
  w.u16(_versionMadeBy);
  w.u16(_versionNeededToExtract);
  w.u16(_generalPurposeBitFlag);
  w.u16(_compressionMethod);
  w.u16(dos.time);
  w.u16(dos.date);
  w.u32(_crc32);
  w.u32(escapeCompressed ? kEscape32 : static_cast<uint32_t>(_compressedSize));
  w.u32(escapeUncompressed ? kEscape32 : static_cast<uint32_t>(_uncompressedSize));
  w.u16(static_cast<uint16_t>(name.size()));
  w.u16(extraLength);
  w.u16(static_cast<uint16_t>(comment.size()));
  w.u16(escapeDisk ? kEscape16 : static_cast<uint16_t>(_diskNumberStart));
  w.u16(_internalFileAttributes);
  w.u32(_externalFileAttributes);
  w.u32(escapeOffset ? kEscape32 : static_cast<uint32_t>(_relativeOffsetOfLocalHeader));
  w.bytes(name);
  if (zip64) {
    w.u16(kTagZip64);
    w.u16(zip64Length);
    if (escapeUncompressed) w.u64(_uncompressedSize);
    if (escapeCompressed) w.u64(_compressedSize);
    if (escapeOffset) w.u64(_relativeOffsetOfLocalHeader);
    if (escapeDisk) w.u32(_diskNumberStart);
  }
  if (hasTime) {
    w.u16(kTagExtendedTimestamp);
    w.u16(5);
    w.u8(0x01);
    w.u32(static_cast<uint32_t>(_modificationEpoch));
  }
  w.bytes(comment);
  handle.writeBytesLength(record.data(), record.size());
}

std::optional<std::u16string> CVNZipCentralFileHeader::fileNameString() const {
  if (!_fileName) return std::nullopt;
  return CVNZipFileNameDecoder(_versionMadeBy, _generalPurposeBitFlag).decodeFileName(*_fileName);
}

std::optional<RVDate> CVNZipCentralFileHeader::modificationDate() const {
  return RVDateWithEpoch(_modificationEpoch);
}

void CVNZipCentralFileHeader::setModificationDate(std::optional<RVDate> date) {
  _modificationEpoch = RVEpochWithDate(date);
}
