// A read-ahead wrapper for streams read record by record (the central
// directory): small exact reads are served from one buffer instead of one
// system call each. Reading only; the wrapped handle's position runs ahead.
#pragma once

#include <memory>
#include <vector>

#include "engine/io/RVIOHandle.h"

class RVBufferedReadHandle : public RVIOHandle {
 public:
  explicit RVBufferedReadHandle(std::unique_ptr<RVIOHandle> handle, size_t bufferSize = 65536);

  bool hasBytesAvailable() override;
  // The position of the next byte served; the wrapped stream must not cross
  // from one file to another between two fills (a part handle never does).
  uint64_t offset() override;
  void seekToOffset(uint64_t offset) override;
  uint64_t seekToEnd() override;
  // Not supported: the wrapper only reads.
  void truncateAtOffset(uint64_t length) override;
  uint64_t readBytesMaxLength(void* buffer, uint64_t maxLength) override;
  uint64_t writeBytesMaxLength(const void* buffer, uint64_t length) override;

 private:
  std::unique_ptr<RVIOHandle> _handle;
  std::vector<uint8_t> _buffer;
  size_t _begin = 0;
  size_t _end = 0;
};
