// A write-back wrapper for streams written in small pieces and patched behind
// themselves (an archive's entries, a spool of records): one write per flush.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/io/RVIOHandle.h"

class RVBufferedWriteHandle : public RVIOHandle {
 public:
  // Takes over `handle`, which nothing else may move meanwhile; its position
  // is taken as this handle's start.
  explicit RVBufferedWriteHandle(std::unique_ptr<RVIOHandle> handle, size_t bufferSize = 0x40000);
  // Bytes not flushed are dropped: a destructor has no way to report a failed write.
  ~RVBufferedWriteHandle() override;

  RVIOHandle& handle() { return *_handle; }
  // Writes the buffered bytes to the wrapped handle (one write as a rule).
  // Raises as the wrapped handle's writes do; the bytes stay buffered then.
  void flush();

  // Flushes first, then asks the wrapped handle.
  bool hasBytesAvailable() override;
  uint64_t offset() override { return _position; }
  // Only notes the position: the wrapped handle moves when bytes next move.
  void seekToOffset(uint64_t offset) override;
  uint64_t seekToEnd() override;
  // Drops the buffered bytes at and after `length`, flushes the rest and cuts
  // the wrapped handle; the position does not move.
  void truncateAtOffset(uint64_t length) override;
  // Flushes first, then reads from the wrapped handle.
  uint64_t readBytesMaxLength(void* buffer, uint64_t maxLength) override;
  // A write that starts inside or right after the buffered range and fits the
  // buffer is gathered; anything else flushes first, and a write as large as
  // the buffer goes straight through.
  uint64_t writeBytesMaxLength(const void* buffer, uint64_t length) override;

 private:
  void moveHandleTo(uint64_t offset);

  std::unique_ptr<RVIOHandle> _handle;
  std::vector<uint8_t> _buffer;
  uint64_t _start = 0;  // offset of _buffer[0]
  size_t _length = 0;   // bytes buffered
  uint64_t _position = 0;
  // Where the wrapped handle stands, when known (a failed call leaves it unknown).
  uint64_t _handleOffset = 0;
  bool _handleOffsetKnown = true;
};
