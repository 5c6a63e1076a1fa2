// Byte-level helpers shared by the Zip record classes: little-endian packing
// into a buffer built in memory, a bounded little-endian reader over bytes
// already in memory, the one-read load of a record's fixed part, and what the
// local and central headers share (extra-field walks, the version needed to
// extract, loading from a part of an archive).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/io/RVException.h"
#include "engine/io/RVIOHandle.h"

class CVNZipFileHandle;

namespace cvnzip {

// Fixed fields holding these values have their true value in the Zip64 field.
constexpr uint32_t kEscape32 = 0xFFFFFFFF;
constexpr uint16_t kEscape16 = 0xFFFF;

// Extra-field tags the header records understand.
constexpr uint16_t kTagZip64 = 0x0001;
constexpr uint16_t kTagNTFS = 0x000A;
constexpr uint16_t kTagExtendedTimestamp = 0x5455;

// Appends little-endian values to a byte vector.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}
  void u8(uint8_t v) { out_.push_back(v); }
  void u16(uint16_t v) { little(v, 2); }
  void u32(uint32_t v) { little(v, 4); }
  void u64(uint64_t v) { little(v, 8); }
  void bytes(std::span<const uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }

 private:
  void little(uint64_t v, unsigned width) {
    for (unsigned i = 0; i < width; ++i) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  std::vector<uint8_t>& out_;
};

// Reads little-endian values from bytes in memory. Like an exact read of an
// RVIOHandle, a value that does not fit in what is left raises
// RVIOHandleEndOfBytesException, and the reader then stands at the end.
class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  size_t remaining() const { return bytes_.size() - pos_; }
  bool atEnd() const { return pos_ == bytes_.size(); }
  uint8_t u8() { return static_cast<uint8_t>(little(1)); }
  uint16_t u16() { return static_cast<uint16_t>(little(2)); }
  uint32_t u32() { return static_cast<uint32_t>(little(4)); }
  uint64_t u64() { return little(8); }
  // The next `n` bytes, without copying.
  std::span<const uint8_t> take(size_t n) {
    need(n);
    auto s = bytes_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  void skip(size_t n) { take(n); }

 private:
  void need(size_t n) {
    if (n > remaining()) {
      pos_ = bytes_.size();
      RVRaiseEndOfBytes();
    }
  }
  uint64_t little(unsigned width) {
    need(width);
    uint64_t v = 0;
    for (unsigned i = width; i-- > 0;) v = (v << 8) | bytes_[pos_ + i];
    pos_ += width;
    return v;
  }
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t le64(const uint8_t* p) {
  return static_cast<uint64_t>(le32(p)) | (static_cast<uint64_t>(le32(p + 4)) << 32);
}

// Reads until `length` bytes have arrived or the stream ends; returns the count.
uint64_t readAvailable(RVIOHandle& handle, uint8_t* buffer, uint64_t length);

// The variable part of a header (`length` bytes: name, extra block, comment)
// in one read. `arrived` tells how many came before the stream ended.
std::vector<uint8_t> readVariablePart(RVIOHandle& handle, uint64_t length, uint64_t& arrived);

// Loads the fixed part (`length` bytes, the first four the signature) of a
// record with, as a rule, one read. Returns false, with the handle four bytes
// after the record's start, when the signature differs. Fewer than four bytes
// raise RVIOHandleEndOfBytesException. Otherwise returns true with `got` the
// bytes that arrived: fewer than `length` only at the end of the stream, and
// the caller then sets what they cover and raises.
bool readFixedPart(RVIOHandle& handle, uint32_t signature, uint8_t* buffer, uint64_t length,
                   uint64_t& got);

// The fixed part as readFixedPart left it, `got` bytes of it present. A value
// whose bytes did not all arrive raises RVIOHandleEndOfBytesException, so taking
// the values in layout order sets exactly the fields that a load reading one
// field at a time would have set before the stream ended.
class FixedPart {
 public:
  FixedPart(const uint8_t* bytes, uint64_t got) : bytes_(bytes), got_(got) {}
  uint16_t u16(uint64_t at) const {
    need(at, 2);
    return le16(bytes_ + at);
  }
  uint32_t u32(uint64_t at) const {
    need(at, 4);
    return le32(bytes_ + at);
  }
  uint64_t u64(uint64_t at) const {
    need(at, 8);
    return le64(bytes_ + at);
  }

 private:
  void need(uint64_t at, uint64_t width) const {
    if (got_ < at + width) RVRaiseEndOfBytes();
  }
  const uint8_t* bytes_;
  uint64_t got_;
};

// Raises RVIOHandleEndOfBytesException unless `got` bytes reach `end`.
inline void cover(uint64_t got, uint64_t end) {
  if (got < end) RVRaiseEndOfBytes();
}

// A byte string `length` bytes long filled from the handle. Memory grows with
// the bytes that actually arrive, so a damaged length over a short stream costs
// no more than the stream holds. A length that cannot be allocated raises
// RVOutOfMemoryException, a stream that ends first RVIOHandleEndOfBytesException.
std::vector<uint8_t> readByteString(RVIOHandle& handle, uint64_t length);

// The 64-bit disk index or count as the 32-bit value the part handle takes;
// larger values are a caller's error and raise.
uint32_t diskIndex32(uint64_t value, std::string_view what);

// Refuses a name or comment whose length the 16-bit field cannot hold.
void checkLength16(size_t length, std::string_view what);

// Calls `apply(tag, field)` for each field of an extra block, in block order,
// with the field's data in a reader of its own. A tag or length cut off at the
// end of the block, or a length past it, raises RVIOHandleEndOfBytesException.
template <typename Apply>
void walkExtraField(std::span<const uint8_t> block, Apply&& apply) {
  ByteReader fields(block);
  while (!fields.atEnd()) {
    uint16_t tag = fields.u16();
    uint16_t length = fields.u16();
    ByteReader field(fields.take(length));
    apply(tag, field);
  }
}

// Calls `apply(attribute)` for each attribute of tag 1 (the times) of an NTFS
// field, after its four reserved bytes; other attributes are skipped. What is
// cut off raises RVIOHandleEndOfBytesException.
template <typename Apply>
void walkNTFSTimes(ByteReader& field, Apply&& apply) {
  field.skip(4);
  while (!field.atEnd()) {
    uint16_t tag = field.u16();
    uint16_t length = field.u16();
    ByteReader attribute(field.take(length));
    if (tag == 1) apply(attribute);
  }
}

// The version needed to extract that a saved header states: 45 with a Zip64
// field, else 20 for an encrypted entry (flag bit 0), a folder (a name ending
// in "/") or a deflated one (method 8), else 10.
uint16_t versionNeededToExtract(bool zip64, uint16_t flag, uint16_t method,
                                std::span<const uint8_t> name);

// A name or comment as written: none is empty.
const std::vector<uint8_t>& bytesOrEmpty(const std::optional<std::vector<uint8_t>>& bytes);

// A reading handle on part `diskIndex` of the archive at `path` (parts
// 0...maxDiskIndex), at `offset`, for loading one record there. Open and seek
// failures raise, as does an index beyond 32 bits.
std::unique_ptr<CVNZipFileHandle> openRecordAt(const std::string& path, uint64_t diskIndex,
                                               uint64_t maxDiskIndex, uint64_t offset);

}  // namespace cvnzip
