#include "engine/io/RVIOHandle.h"

#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>

#include "engine/io/RVException.h"

void RVIOHandle::seekWithOffset(int64_t distance) {
  seekToOffset(offset() + static_cast<uint64_t>(distance));
}

void RVIOHandle::readBytesLength(void* buffer, uint64_t length) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    uint64_t n = readBytesMaxLength(p, length);
    if (n == 0) RVRaiseEndOfBytes();
    p += n;
    length -= n;
  }
}

std::vector<uint8_t> RVIOHandle::readDataOfLength(uint64_t length) {
  std::vector<uint8_t> data;
  try {
    data.resize(length);
  } catch (const std::bad_alloc&) {
    RVRaiseOutOfMemory();
  } catch (const std::length_error&) {
    RVRaiseOutOfMemory();
  }
  readBytesLength(data.data(), length);
  return data;
}

std::vector<uint8_t> RVIOHandle::readDataToEnd() {
  constexpr size_t kStep = 1024;
  std::vector<uint8_t> data;
  try {
    for (;;) {
      size_t old = data.size();
      data.resize(old + kStep);
      uint64_t n = readBytesMaxLength(data.data() + old, kStep);
      data.resize(old + n);
      if (n == 0) break;
    }
  } catch (const std::bad_alloc&) {
    RVRaiseOutOfMemory();
  }
  return data;
}

double RVIOHandle::readDouble() { return std::bit_cast<double>(readInt64BigToHost()); }

uint64_t RVIOHandle::readLittle(unsigned width) {
  uint8_t bytes[8];
  readBytesLength(bytes, width);
  uint64_t value = 0;
  for (unsigned i = width; i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

uint64_t RVIOHandle::readBig(unsigned width) {
  uint8_t bytes[8];
  readBytesLength(bytes, width);
  uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value = (value << 8) | bytes[i];
  return value;
}

uint8_t RVIOHandle::readInt8() { return static_cast<uint8_t>(readLittle(1)); }
uint16_t RVIOHandle::readInt16LittleToHost() { return static_cast<uint16_t>(readLittle(2)); }
uint32_t RVIOHandle::readInt24LittleToHost() { return static_cast<uint32_t>(readLittle(3)); }
uint32_t RVIOHandle::readInt32LittleToHost() { return static_cast<uint32_t>(readLittle(4)); }
uint64_t RVIOHandle::readInt64LittleToHost() { return readLittle(8); }
uint16_t RVIOHandle::readInt16BigToHost() { return static_cast<uint16_t>(readBig(2)); }
uint32_t RVIOHandle::readInt24BigToHost() { return static_cast<uint32_t>(readBig(3)); }
uint32_t RVIOHandle::readInt32BigToHost() { return static_cast<uint32_t>(readBig(4)); }
uint64_t RVIOHandle::readInt64BigToHost() { return readBig(8); }

void RVIOHandle::writeBytesLength(const void* buffer, uint64_t length) {
  auto* p = static_cast<const uint8_t*>(buffer);
  while (length > 0) {
    uint64_t n = writeBytesMaxLength(p, length);
    if (n == 0) throw RVException(RVDiskFullWriteException);
    p += n;
    length -= n;
  }
}

void RVIOHandle::writeData(std::span<const uint8_t> data) {
  writeBytesLength(data.data(), data.size());
}

void RVIOHandle::writeDouble(double value) {
  writeInt64HostToBig(std::bit_cast<uint64_t>(value));
}

void RVIOHandle::writeLittle(uint64_t value, unsigned width) {
  uint8_t bytes[8];
  for (unsigned i = 0; i < width; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  writeBytesLength(bytes, width);
}

void RVIOHandle::writeBig(uint64_t value, unsigned width) {
  uint8_t bytes[8];
  for (unsigned i = 0; i < width; ++i)
    bytes[i] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
  writeBytesLength(bytes, width);
}

void RVIOHandle::writeInt8(uint8_t value) { writeLittle(value, 1); }
void RVIOHandle::writeInt16HostToLittle(uint16_t value) { writeLittle(value, 2); }
void RVIOHandle::writeInt24HostToLittle(uint32_t value) { writeLittle(value, 3); }
void RVIOHandle::writeInt32HostToLittle(uint32_t value) { writeLittle(value, 4); }
void RVIOHandle::writeInt64HostToLittle(uint64_t value) { writeLittle(value, 8); }
void RVIOHandle::writeInt16HostToBig(uint16_t value) { writeBig(value, 2); }
void RVIOHandle::writeInt24HostToBig(uint32_t value) { writeBig(value, 3); }
void RVIOHandle::writeInt32HostToBig(uint32_t value) { writeBig(value, 4); }
void RVIOHandle::writeInt64HostToBig(uint64_t value) { writeBig(value, 8); }
