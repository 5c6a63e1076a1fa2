#include "engine/io/RVBufferedReadHandle.h"

#include <algorithm>
#include <cstring>

#include "engine/io/RVException.h"

RVBufferedReadHandle::RVBufferedReadHandle(std::unique_ptr<RVIOHandle> handle, size_t bufferSize)
    : _handle(std::move(handle)), _buffer(bufferSize) {}

bool RVBufferedReadHandle::hasBytesAvailable() {
  return _begin < _end || _handle->hasBytesAvailable();
}

uint64_t RVBufferedReadHandle::offset() { return _handle->offset() - (_end - _begin); }

void RVBufferedReadHandle::seekToOffset(uint64_t offset) {
  _begin = _end = 0;
  _handle->seekToOffset(offset);
}

uint64_t RVBufferedReadHandle::seekToEnd() {
  _begin = _end = 0;
  return _handle->seekToEnd();
}

void RVBufferedReadHandle::truncateAtOffset(uint64_t) {
  RVRaiseInvalidParameter("writable handle");
}

uint64_t RVBufferedReadHandle::readBytesMaxLength(void* buffer, uint64_t maxLength) {
  if (maxLength == 0) return 0;
  if (_begin == _end) {
    // Large reads bypass the buffer; there is nothing to gain from a copy.
    if (maxLength >= _buffer.size()) return _handle->readBytesMaxLength(buffer, maxLength);
    _begin = 0;
    _end = static_cast<size_t>(_handle->readBytesMaxLength(_buffer.data(), _buffer.size()));
    if (_end == 0) return 0;
  }
  size_t n = static_cast<size_t>(std::min<uint64_t>(maxLength, _end - _begin));
  std::memcpy(buffer, _buffer.data() + _begin, n);
  _begin += n;
  return n;
}

uint64_t RVBufferedReadHandle::writeBytesMaxLength(const void*, uint64_t) {
  RVRaiseInvalidParameter("writable handle");
}
