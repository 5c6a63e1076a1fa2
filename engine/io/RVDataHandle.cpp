#include "engine/io/RVDataHandle.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "engine/io/RVException.h"

namespace {

void resizeOrRaise(std::vector<uint8_t>& data, uint64_t length) {
  if (length > data.max_size()) RVRaiseOutOfMemory();
  try {
    // vector grows geometrically, so a run of appends costs O(1) per byte.
    data.resize(static_cast<size_t>(length));
  } catch (const std::bad_alloc&) {
    RVRaiseOutOfMemory();
  } catch (const std::length_error&) {
    RVRaiseOutOfMemory();
  }
}

}  // namespace

RVDataHandle::RVDataHandle(std::span<const uint8_t> data) : _data(data.begin(), data.end()) {}

std::vector<uint8_t> RVDataHandle::takeData() {
  _offset = 0;
  return std::exchange(_data, {});
}

void RVDataHandle::seekToOffset(uint64_t offset) {
  if (offset > _data.size()) RVRaiseEndOfBytes();
  _offset = offset;
}

uint64_t RVDataHandle::seekToEnd() {
  _offset = _data.size();
  return _offset;
}

void RVDataHandle::truncateAtOffset(uint64_t length) { resizeOrRaise(_data, length); }

uint64_t RVDataHandle::readBytesMaxLength(void* buffer, uint64_t maxLength) {
  // A truncation may have left the position past the end: nothing to read then.
  if (_offset >= _data.size()) return 0;
  uint64_t n = std::min<uint64_t>(maxLength, _data.size() - _offset);
  std::memcpy(buffer, _data.data() + _offset, n);
  _offset += n;
  return n;
}

uint64_t RVDataHandle::writeBytesMaxLength(const void* buffer, uint64_t length) {
  if (length == 0) return 0;
  if (_offset + length < _offset) RVRaiseOutOfMemory();
  if (_offset + length > _data.size()) resizeOrRaise(_data, _offset + length);
  std::memcpy(_data.data() + _offset, buffer, length);
  _offset += length;
  return length;
}
