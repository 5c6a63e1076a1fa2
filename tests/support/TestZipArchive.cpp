#include "support/TestZipArchive.h"

#include <zlib.h>

#include <stdexcept>
#include <string>

namespace corvana_test {

namespace {

void put16(Bytes& out, uint64_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& out, uint64_t v) {
  put16(out, v & 0xFFFF);
  put16(out, (v >> 16) & 0xFFFF);
}
void append(Bytes& out, const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

// Bounds-checked little-endian reads.
class Reader {
 public:
  Reader(const Bytes& bytes, uint64_t offset) : _bytes(bytes), _offset(offset) {}
  uint64_t offset() const { return _offset; }
  uint64_t take(unsigned width) {
    need(width);
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i) v |= static_cast<uint64_t>(_bytes[_offset + i]) << (8 * i);
    _offset += width;
    return v;
  }
  Bytes takeBytes(uint64_t length) {
    need(length);
    Bytes b(_bytes.begin() + static_cast<std::ptrdiff_t>(_offset),
            _bytes.begin() + static_cast<std::ptrdiff_t>(_offset + length));
    _offset += length;
    return b;
  }

 private:
  void need(uint64_t length) const {
    if (_offset > _bytes.size() || _bytes.size() - _offset < length)
      throw std::runtime_error("record cut off at " + std::to_string(_offset));
  }
  const Bytes& _bytes;
  uint64_t _offset;
};

// Applies a Zip64 extra field to the values that hold their escape value.
void applyZip64(const Bytes& extra, uint64_t* uncompressed, uint64_t* compressed,
                uint64_t* offset) {
  Reader r(extra, 0);
  while (r.offset() + 4 <= extra.size()) {
    uint64_t tag = r.take(2), length = r.take(2);
    Bytes field = r.takeBytes(length);
    if (tag != 1) continue;
    Reader f(field, 0);
    if (uncompressed && *uncompressed == 0xFFFFFFFF) *uncompressed = f.take(8);
    if (compressed && *compressed == 0xFFFFFFFF) *compressed = f.take(8);
    if (offset && *offset == 0xFFFFFFFF) *offset = f.take(8);
  }
}

}  // namespace

uint32_t crc32Of(const Bytes& data) {
  return static_cast<uint32_t>(::crc32(0, data.data(), static_cast<uInt>(data.size())));
}

Bytes rawDeflate(const Bytes& data, int level) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  int r = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (r != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

void TestZipBuilder::addEntry(const TestZipEntry& e) {
  Bytes& part = _parts.back();
  uint64_t offset = part.size();
  uint32_t crc = e.crc32.value_or(crc32Of(e.data));
  uint64_t uncompressed = e.uncompressedSize.value_or(e.data.size());

  put32(part, 0x04034B50);
  put16(part, 20);
  put16(part, e.flags);
  put16(part, e.method);
  put16(part, e.dosTime);
  put16(part, e.dosDate);
  put32(part, crc);
  put32(part, e.data.size());
  put32(part, uncompressed);
  put16(part, e.name.size());
  put16(part, 0);
  append(part, e.name);
  append(part, e.data);

  Bytes& cd = _centralDirectory;
  put32(cd, 0x02014B50);
  put16(cd, e.versionMadeBy);
  put16(cd, 20);
  put16(cd, e.flags);
  put16(cd, e.method);
  put16(cd, e.dosTime);
  put16(cd, e.dosDate);
  put32(cd, crc);
  put32(cd, e.data.size());
  put32(cd, uncompressed);
  put16(cd, e.name.size());
  put16(cd, 0);  // extra
  put16(cd, 0);  // comment
  put16(cd, _parts.size() - 1);
  put16(cd, 0);
  put32(cd, e.externalAttributes);
  put32(cd, offset);
  append(cd, e.name);
  ++_count;
}

void TestZipBuilder::startNewPart() { _parts.emplace_back(); }

std::vector<Bytes> TestZipBuilder::finish(const Bytes& comment) {
  Bytes& last = _parts.back();
  uint64_t disk = _parts.size() - 1;
  uint64_t offset = last.size();
  append(last, _centralDirectory);
  put32(last, 0x06054B50);
  put16(last, disk);
  put16(last, disk);
  put16(last, _count);
  put16(last, _count);
  put32(last, _centralDirectory.size());
  put32(last, offset);
  put16(last, comment.size());
  append(last, comment);
  return _parts;
}

Bytes buildZipArchive(const std::vector<TestZipEntry>& entries, const Bytes& comment) {
  TestZipBuilder builder;
  for (const auto& e : entries) builder.addEntry(e);
  return builder.finish(comment).front();
}

ParsedZipArchive parseZipArchive(const Bytes& archive) {
  ParsedZipArchive parsed;
  // The end record whose comment reaches exactly to the end of the file.
  bool found = false;
  for (uint64_t k = 0; k <= 0xFFFF && k + 22 <= archive.size(); ++k) {
    uint64_t p = archive.size() - 22 - k;
    Reader r(archive, p);
    if (r.take(4) != 0x06054B50) continue;
    r.take(6);
    parsed.endRecordEntryCount = static_cast<uint16_t>(r.take(2));
    parsed.entryCount = parsed.endRecordEntryCount;
    parsed.centralDirectorySize = r.take(4);
    parsed.centralDirectoryOffset = r.take(4);
    if (r.take(2) != k) continue;
    parsed.comment = r.takeBytes(k);
    parsed.endRecordOffset = p;
    found = true;
    break;
  }
  if (!found) throw std::runtime_error("no end record");

  if (parsed.endRecordOffset >= 20) {
    Reader locator(archive, parsed.endRecordOffset - 20);
    if (locator.take(4) == 0x07064B50) {
      locator.take(4);
      Reader record(archive, locator.take(8));
      if (record.take(4) != 0x06064B50) throw std::runtime_error("bad Zip64 end record");
      parsed.hasZip64EndRecord = true;
      record.take(8 + 2 + 2 + 4 + 4 + 8);
      parsed.entryCount = record.take(8);
      parsed.centralDirectorySize = record.take(8);
      parsed.centralDirectoryOffset = record.take(8);
    }
  }

  Reader r(archive, parsed.centralDirectoryOffset);
  for (uint64_t i = 0; i < parsed.entryCount; ++i) {
    ParsedZipEntry e;
    if (r.take(4) != 0x02014B50) throw std::runtime_error("bad central header");
    e.versionMadeBy = static_cast<uint16_t>(r.take(2));
    e.versionNeeded = static_cast<uint16_t>(r.take(2));
    e.flags = static_cast<uint16_t>(r.take(2));
    e.method = static_cast<uint16_t>(r.take(2));
    e.dosTime = static_cast<uint16_t>(r.take(2));
    e.dosDate = static_cast<uint16_t>(r.take(2));
    e.crc32 = static_cast<uint32_t>(r.take(4));
    e.compressedSize = r.take(4);
    e.uncompressedSize = r.take(4);
    uint64_t nameLength = r.take(2), extraLength = r.take(2), commentLength = r.take(2);
    e.diskNumberStart = static_cast<uint32_t>(r.take(2));
    e.internalAttributes = static_cast<uint16_t>(r.take(2));
    e.externalAttributes = static_cast<uint32_t>(r.take(4));
    e.localHeaderOffset = r.take(4);
    e.name = r.takeBytes(nameLength);
    e.extra = r.takeBytes(extraLength);
    e.comment = r.takeBytes(commentLength);
    applyZip64(e.extra, &e.uncompressedSize, &e.compressedSize, &e.localHeaderOffset);

    Reader l(archive, e.localHeaderOffset);
    if (l.take(4) != 0x04034B50) throw std::runtime_error("bad local header");
    e.localVersionNeeded = static_cast<uint16_t>(l.take(2));
    e.localFlags = static_cast<uint16_t>(l.take(2));
    e.localMethod = static_cast<uint16_t>(l.take(2));
    l.take(4);
    e.localCrc32 = static_cast<uint32_t>(l.take(4));
    e.localCompressedSize = l.take(4);
    e.localUncompressedSize = l.take(4);
    uint64_t localNameLength = l.take(2), localExtraLength = l.take(2);
    e.localName = l.takeBytes(localNameLength);
    e.localExtra = l.takeBytes(localExtraLength);
    applyZip64(e.localExtra, &e.localUncompressedSize, &e.localCompressedSize, nullptr);
    e.dataOffset = l.offset();
    e.data = l.takeBytes(e.compressedSize);
    parsed.entries.push_back(std::move(e));
  }
  if (r.offset() != parsed.centralDirectoryOffset + parsed.centralDirectorySize)
    throw std::runtime_error("central directory size does not match");
  return parsed;
}

}  // namespace corvana_test
