#include "support/TestZipArchive.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <span>
#include <stdexcept>

namespace corvana_test {

namespace {

// Each value in turn, little-endian in W bytes.
template <int W>
void put(Bytes& out, auto... values) {
  for (uint64_t v : {uint64_t(values)...})
    for (int i = 0; i < W; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Bytes& append(Bytes& out, const auto& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}

void check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what);
}

// Little-endian fields taken in turn from `bytes`.
struct Cursor {
  std::span<const uint8_t> bytes;
  uint64_t at = 0;
  std::span<const uint8_t> take(uint64_t length) {
    check(at <= bytes.size() && bytes.size() - at >= length,
          "record cut off at " + std::to_string(at));
    at += length;
    return bytes.subspan(at - length, length);
  }
  Bytes copy(uint64_t length) {
    auto b = take(length);
    return Bytes(b.begin(), b.end());
  }
  uint64_t operator()(int width) {
    uint64_t v = 0;
    auto b = take(width);
    for (int i = width - 1; i >= 0; --i) v = v << 8 | b[i];
    return v;
  }
};

// Replaces the escaped values, in the order of the Zip64 extra field.
void applyZip64(std::span<const uint8_t> extra, std::initializer_list<uint64_t*> values) {
  for (Cursor c{extra}; c.at + 4 <= extra.size();) {
    const uint64_t tag = c(2);
    Cursor field{c.take(c(2))};
    if (tag == 1)
      for (uint64_t* v : values)
        if (*v == 0xFFFFFFFF) *v = field(8);
  }
}

}  // namespace

uint32_t crc32Of(const Bytes& data) {
  return static_cast<uint32_t>(::crc32(0, data.data(), static_cast<uInt>(data.size())));
}

Bytes randomBytes(size_t length, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes data(length);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  return data;
}

TestZipBuilder& TestZipBuilder::add(const std::string& name, const std::string& data) {
  return add(name, Bytes(data.begin(), data.end()));
}

TestZipBuilder& TestZipBuilder::add(const std::string& name, const Bytes& data) {
  Bytes& part = _parts.back();
  const uint64_t offset = part.size(), crc = crc32Of(data), size = data.size();
  // Version 2.0, no flags, stored, 1980-01-01 00:00.
  put<4>(part, 0x04034B50);
  put<2>(part, 20, 0, 0, 0, 0x21);
  put<4>(part, crc, size, size);
  put<2>(part, name.size(), 0);
  append(append(part, name), data);
  put<4>(_central, 0x02014B50);
  put<2>(_central, 20, 20, 0, 0, 0, 0x21);
  put<4>(_central, crc, size, size);
  put<2>(_central, name.size(), 0, 0, _parts.size() - 1, 0);
  put<4>(_central, name.ends_with('/') ? 0x10 : 0, offset);
  append(_central, name);
  ++_count;
  return *this;
}

TestZipBuilder& TestZipBuilder::nextPart() {
  _parts.emplace_back();
  return *this;
}

std::vector<Bytes> TestZipBuilder::finish(const Bytes& comment) {
  Bytes& last = _parts.back();
  const uint64_t disk = _parts.size() - 1, offset = last.size();
  put<4>(append(last, _central), 0x06054B50);
  put<2>(last, disk, disk, _count, _count);
  put<4>(last, _central.size(), offset);
  put<2>(last, comment.size());
  append(last, comment);
  return _parts;
}

ParsedZipArchive parseZipArchive(const std::string& path, bool withData) {
  // Mapped, so that only the pages looked at are read, even of a 4 GiB archive.
  const int fd = ::open(path.c_str(), O_RDONLY);
  const uint64_t size = std::filesystem::file_size(path);
  void* map = size ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : nullptr;
  ::close(fd);
  check(map != MAP_FAILED, "cannot map " + path);
  const std::shared_ptr<void> unmap(map, [size](void* m) {
    if (m) ::munmap(m, size);
  });
  const std::span<const uint8_t> file(static_cast<const uint8_t*>(map), size);
  const auto at = [&](uint64_t offset) { return Cursor{file, offset}; };

  ParsedZipArchive a{};
  // The end record whose comment reaches exactly to the end of the file.
  uint64_t end = UINT64_MAX;
  for (uint64_t k = 0; end == UINT64_MAX && k <= 0xFFFF && k + 22 <= size; ++k)
    if (at(size - 22 - k)(4) == 0x06054B50 && at(size - 2 - k)(2) == k) end = size - 22 - k;
  check(end != UINT64_MAX, "no end record");
  Cursor e = at(end + 4);
  check(e(2) == 0 && e(2) == 0, "end record: disk numbers");
  const uint64_t countOnDisk = e(2), count = e(2), directorySize = e(4), offset = e(4);
  a.endRecordEntryCount = count, a.endRecordDirectoryOffset = offset;
  a.entryCount = count, a.centralDirectorySize = directorySize, a.centralDirectoryOffset = offset;
  uint64_t directoryEnd = end;
  if (end >= 20 && at(end - 20)(4) == 0x07064B50) {
    Cursor l = at(end - 16);
    const uint64_t disk = l(4);
    directoryEnd = l(8);
    check(disk == 0 && l(4) == 1 && directoryEnd + 56 == end - 20,
          "locator: disks, or not right behind the Zip64 end record");
    Cursor r = at(directoryEnd);
    check(r(4) == 0x06064B50 && r(8) == 44, "Zip64 end record: signature or size");
    r(4);  // the versions
    check(r(4) == 0 && r(4) == 0, "Zip64 end record: disk numbers");
    const uint64_t countOnThisDisk = r(8);
    a.entryCount = r(8), a.centralDirectorySize = r(8), a.centralDirectoryOffset = r(8);
    check(countOnThisDisk == a.entryCount, "Zip64 end record: counts");
    a.hasZip64EndRecord = true;
  }
  check(countOnDisk == count && count == std::min<uint64_t>(a.entryCount, 0xFFFF) &&
            directorySize == std::min<uint64_t>(a.centralDirectorySize, 0xFFFFFFFF) &&
            offset == std::min<uint64_t>(a.centralDirectoryOffset, 0xFFFFFFFF),
        "end record: counts, size or offset");
  check(a.hasZip64EndRecord ==
            (count == 0xFFFF || directorySize == 0xFFFFFFFF || offset == 0xFFFFFFFF),
        "Zip64 end records where nothing needs them, or none where something does");
  check(a.centralDirectoryOffset + a.centralDirectorySize == directoryEnd,
        "central directory: size");

  Cursor c = at(a.centralDirectoryOffset);
  uint64_t next = 0;  // where the next local header must start
  for (uint64_t i = 0; i < a.entryCount; ++i) {
    const auto record = c.take(46);
    Cursor r{record};
    ParsedZipEntry x{};
    check(r(4) == 0x02014B50, "central header: signature");
    x.versionMadeBy = r(2), x.versionNeeded = r(2), x.flags = r(2), x.method = r(2), r(4);
    x.crc32 = r(4), x.compressedSize = r(4), x.uncompressedSize = r(4);
    const uint64_t n = r(2), m = r(2), k = r(2);
    check(r(2) == 0, "central header: disk");
    r(2), x.externalAttributes = r(4), x.localHeaderOffset = r(4);
    x.name = c.copy(n);
    applyZip64(c.take(m), {&x.uncompressedSize, &x.compressedSize, &x.localHeaderOffset});
    c.take(k);
    check(x.localHeaderOffset == next, "gap before a local header");
    // From the version needed to the name length, the same fields as the central record's.
    Cursor l = at(x.localHeaderOffset);
    const auto local = l.take(30);
    check(Cursor{local}(4) == 0x04034B50 &&
              std::equal(local.begin() + 4, local.begin() + 28, record.begin() + 6) &&
              l.copy(n) == x.name,
          "local header disagrees with its central record");
    x.localExtra = l.copy(Cursor{local, 28}(2));
    x.dataOffset = l.at;
    next = x.dataOffset + x.compressedSize;
    check(next <= a.centralDirectoryOffset, "data runs into the central directory");
    if (withData) x.data = l.copy(x.compressedSize);
    a.entries.push_back(std::move(x));
  }
  check(c.at == directoryEnd && next == a.centralDirectoryOffset,
        "central directory: entry count, or a gap before it");
  return a;
}

Bytes rawDeflate(const Bytes& data, int level) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out(deflateBound(&z, uLong(data.size())));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = uInt(data.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

Bytes rawInflate(const Bytes& raw) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
  Bytes out(1 << 16), result;
  z.next_in = const_cast<Bytef*>(raw.data());
  z.avail_in = uInt(raw.size());
  int r;
  do {
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    r = inflate(&z, Z_NO_FLUSH);
    result.insert(result.end(), out.data(), out.data() + (out.size() - z.avail_out));
  } while (r == Z_OK);
  EXPECT_EQ(r, Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u);
  inflateEnd(&z);
  return result;
}

}  // namespace corvana_test
