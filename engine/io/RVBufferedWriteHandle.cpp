#include "engine/io/RVBufferedWriteHandle.h"

#include <algorithm>
#include <cstring>

#include "engine/io/RVException.h"

RVBufferedWriteHandle::RVBufferedWriteHandle(std::unique_ptr<RVIOHandle> handle, size_t bufferSize)
    : _handle(std::move(handle)), _buffer(std::max<size_t>(bufferSize, 1)) {
  _position = _handleOffset = _start = _handle->offset();
}

RVBufferedWriteHandle::~RVBufferedWriteHandle() = default;

void RVBufferedWriteHandle::moveHandleTo(uint64_t offset) {
  if (_handleOffsetKnown && _handleOffset == offset) return;
  _handleOffsetKnown = false;
  _handle->seekToOffset(offset);
  _handleOffset = offset;
  _handleOffsetKnown = true;
}

void RVBufferedWriteHandle::flush() {
  while (_length > 0) {
    moveHandleTo(_start);
    _handleOffsetKnown = false;
    uint64_t n = _handle->writeBytesMaxLength(_buffer.data(), _length);
    _handleOffset = _start + n;
    _handleOffsetKnown = true;
    // As an exact write would: no progress at all means a full disk.
    if (n == 0) throw RVException(RVDiskFullWriteException);
    // A short write leaves the rest at the front of the buffer.
    std::memmove(_buffer.data(), _buffer.data() + n, _length - n);
    _start += n;
    _length -= n;
  }
  _start = _position;
}

bool RVBufferedWriteHandle::hasBytesAvailable() {
  flush();
  moveHandleTo(_position);
  return _handle->hasBytesAvailable();
}

void RVBufferedWriteHandle::seekToOffset(uint64_t offset) { _position = offset; }

uint64_t RVBufferedWriteHandle::seekToEnd() {
  flush();
  _handleOffsetKnown = false;
  _handleOffset = _handle->seekToEnd();
  _handleOffsetKnown = true;
  _position = _start = _handleOffset;
  return _position;
}

void RVBufferedWriteHandle::truncateAtOffset(uint64_t length) {
  if (length < _start + _length) _length = length > _start ? length - _start : 0;
  flush();
  _handle->truncateAtOffset(length);
}

uint64_t RVBufferedWriteHandle::readBytesMaxLength(void* buffer, uint64_t maxLength) {
  flush();
  moveHandleTo(_position);
  _handleOffsetKnown = false;
  uint64_t n = _handle->readBytesMaxLength(buffer, maxLength);
  _position = _handleOffset = _position + n;
  _handleOffsetKnown = true;
  _start = _position;
  return n;
}

uint64_t RVBufferedWriteHandle::writeBytesMaxLength(const void* buffer, uint64_t length) {
  if (length == 0) return 0;
  if (_length > 0 && (_position < _start || _position > _start + _length)) flush();
  if (_length == 0) _start = _position;
  uint64_t at = _position - _start;
  const bool gathered = length < _buffer.size();
  if (_length > 0 && (!gathered || at + length > _buffer.size())) {
    flush();
    at = 0;
  }
  if (gathered) {
    std::memcpy(_buffer.data() + at, buffer, static_cast<size_t>(length));
    _length = std::max<size_t>(_length, static_cast<size_t>(at + length));
    _position += length;
    return length;
  }
  moveHandleTo(_position);
  _handleOffsetKnown = false;
  uint64_t n = _handle->writeBytesMaxLength(buffer, length);
  _position = _handleOffset = _position + n;
  _handleOffsetKnown = true;
  _start = _position;
  return n;
}
