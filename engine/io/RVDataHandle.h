// A byte stream on a growable in-memory buffer that the handle owns. Seeks
// stop at the length, reads stop at the end, writes grow the buffer with zeros.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/io/RVIOHandle.h"

class RVDataHandle : public RVIOHandle {
 public:
  RVDataHandle() = default;
  explicit RVDataHandle(std::span<const uint8_t> data);

  const std::vector<uint8_t>& data() const { return _data; }
  // Hands the buffer over and leaves the handle empty at position 0.
  std::vector<uint8_t> takeData();

  bool hasBytesAvailable() override { return _data.size() > _offset; }
  uint64_t offset() override { return _offset; }
  // Beyond the length raises RVIOHandleEndOfBytesException.
  void seekToOffset(uint64_t offset) override;
  uint64_t seekToEnd() override;
  void truncateAtOffset(uint64_t length) override;
  uint64_t readBytesMaxLength(void* buffer, uint64_t maxLength) override;
  uint64_t writeBytesMaxLength(const void* buffer, uint64_t length) override;

 private:
  std::vector<uint8_t> _data;
  uint64_t _offset = 0;
};
