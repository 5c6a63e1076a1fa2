// An abstract byte stream with a position. Concrete handles implement the seven
// primitives; exact reads and writes and fixed-width integers are built on them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

class RVIOHandle {
 public:
  RVIOHandle() = default;
  RVIOHandle(const RVIOHandle&) = delete;
  RVIOHandle& operator=(const RVIOHandle&) = delete;
  virtual ~RVIOHandle() = default;

  // --- Primitives ---
  // True when at least one byte can be read at the position; the position is kept.
  virtual bool hasBytesAvailable() = 0;
  virtual uint64_t offset() = 0;
  virtual void seekToOffset(uint64_t offset) = 0;
  // Seeks to the end and returns the new position, which is the length.
  virtual uint64_t seekToEnd() = 0;
  // Sets the length; the position does not move.
  virtual void truncateAtOffset(uint64_t length) = 0;
  // Reads at most `maxLength` bytes; returns the count, 0 at the end.
  virtual uint64_t readBytesMaxLength(void* buffer, uint64_t maxLength) = 0;
  // Writes at most `length` bytes; returns the count written.
  virtual uint64_t writeBytesMaxLength(const void* buffer, uint64_t length) = 0;

  // --- Derived operations ---
  void seekWithOffset(int64_t distance);
  // Reads exactly `length` bytes or raises RVIOHandleEndOfBytesException; the
  // bytes that did arrive stay in the buffer and the position stays after them.
  void readBytesLength(void* buffer, uint64_t length);
  // Exactly `length` bytes; RVOutOfMemoryException when they cannot be allocated.
  std::vector<uint8_t> readDataOfLength(uint64_t length);
  std::vector<uint8_t> readDataToEnd();
  // A big-endian IEEE 754 binary64.
  double readDouble();

  uint8_t readInt8();
  uint16_t readInt16LittleToHost();
  uint32_t readInt24LittleToHost();
  uint32_t readInt32LittleToHost();
  uint64_t readInt64LittleToHost();
  uint16_t readInt16BigToHost();
  uint32_t readInt24BigToHost();
  uint32_t readInt32BigToHost();
  uint64_t readInt64BigToHost();

  // Writes all `length` bytes; a primitive write of 0 raises "Disk Full".
  void writeBytesLength(const void* buffer, uint64_t length);
  void writeData(std::span<const uint8_t> data);
  void writeDouble(double value);

  void writeInt8(uint8_t value);
  void writeInt16HostToLittle(uint16_t value);
  void writeInt24HostToLittle(uint32_t value);
  void writeInt32HostToLittle(uint32_t value);
  void writeInt64HostToLittle(uint64_t value);
  void writeInt16HostToBig(uint16_t value);
  void writeInt24HostToBig(uint32_t value);
  void writeInt32HostToBig(uint32_t value);
  void writeInt64HostToBig(uint64_t value);

 private:
  uint64_t readLittle(unsigned width);
  uint64_t readBig(unsigned width);
  void writeLittle(uint64_t value, unsigned width);
  void writeBig(uint64_t value, unsigned width);
};
