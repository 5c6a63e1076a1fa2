#include "engine/CVNZipRecordBytes.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <string>

#include "engine/CVNZipFileHandle.h"

namespace cvnzip {

std::vector<uint8_t> readVariablePart(RVIOHandle& handle, uint64_t length, uint64_t& arrived) {
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(length);
  } catch (const std::bad_alloc&) {
    RVRaiseOutOfMemory();
  }
  arrived = readAvailable(handle, bytes.data(), length);
  return bytes;
}

uint64_t readAvailable(RVIOHandle& handle, uint8_t* buffer, uint64_t length) {
  uint64_t got = 0;
  while (got < length) {
    uint64_t n = handle.readBytesMaxLength(buffer + got, length - got);
    if (n == 0) break;
    got += n;
  }
  return got;
}

bool readFixedPart(RVIOHandle& handle, uint32_t signature, uint8_t* buffer, uint64_t length,
                   uint64_t& got) {
  got = handle.readBytesMaxLength(buffer, length);
  if (got < 4) {
    // Take no more than the signature, so that a mismatch leaves the handle
    // right after it without seeking.
    got += readAvailable(handle, buffer + got, 4 - got);
    cover(got, 4);
  }
  if (le32(buffer) != signature) {
    // The bytes after the signature came in one read from one place, so a
    // relative seek gives them back, even on a part handle.
    if (got > 4) handle.seekWithOffset(-static_cast<int64_t>(got - 4));
    return false;
  }
  got += readAvailable(handle, buffer + got, length - got);
  return true;
}

std::vector<uint8_t> readByteString(RVIOHandle& handle, uint64_t length) {
  std::vector<uint8_t> data;
  if (length > data.max_size()) RVRaiseOutOfMemory();
  // The first step is allocated at once; beyond it the buffer doubles, and only
  // after the bytes before have arrived.
  constexpr uint64_t kFirstStep = 64 << 10;
  try {
    data.resize(static_cast<size_t>(std::min(length, kFirstStep)));
    uint64_t filled = 0;
    for (;;) {
      handle.readBytesLength(data.data() + filled, data.size() - filled);
      filled = data.size();
      if (filled == length) break;
      data.resize(static_cast<size_t>(std::min(length, 2 * filled)));
    }
  } catch (const std::bad_alloc&) {
    RVRaiseOutOfMemory();
  } catch (const std::length_error&) {
    RVRaiseOutOfMemory();
  }
  return data;
}

uint32_t diskIndex32(uint64_t value, std::string_view what) {
  if (value > UINT32_MAX) RVRaiseInvalidParameter(std::string(what) + " <= UINT32_MAX");
  return static_cast<uint32_t>(value);
}

void checkLength16(size_t length, std::string_view what) {
  if (length > 0xFFFF)
    throw RVException(RVInvalidArgumentException,
                      std::string(what) + " is " + std::to_string(length) +
                          " bytes long; a Zip record holds at most 65535");
}

uint16_t versionNeededToExtract(bool zip64, uint16_t flag, uint16_t method,
                                std::span<const uint8_t> name) {
  if (zip64) return 45;
  if ((flag & 0x01) || (!name.empty() && name.back() == '/') || method == 8) return 20;
  return 10;
}

const std::vector<uint8_t>& bytesOrEmpty(const std::optional<std::vector<uint8_t>>& bytes) {
  static const std::vector<uint8_t> kEmpty;
  return bytes ? *bytes : kEmpty;
}

std::unique_ptr<CVNZipFileHandle> openRecordAt(const std::string& path, uint64_t diskIndex,
                                               uint64_t maxDiskIndex, uint64_t offset) {
  auto handle = CVNZipFileHandle::forReadingAtPathMaxDiskIndex(
      path, diskIndex32(diskIndex, "diskIndex"), diskIndex32(maxDiskIndex, "maxDiskIndex"));
  handle->seekToOffset(offset);
  return handle;
}

}  // namespace cvnzip
