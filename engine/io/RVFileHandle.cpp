#include "engine/io/RVFileHandle.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/io/RVException.h"

int RVLockOpenedFile(int fd, bool exclusive) {
  if (fd < 0) return fd;
  int r;
  do {
    r = flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
  } while (r < 0 && errno == EINTR);
  if (r < 0) {
    int saved = errno;
    ::close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

std::unique_ptr<RVFileHandle> RVFileHandle::forReadingAtPath(const std::string& path) {
  int fd = RVLockOpenedFile(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC), false);
  return std::make_unique<RVFileHandle>(fd, true);
}

std::unique_ptr<RVFileHandle> RVFileHandle::forWritingAtPath(const std::string& path) {
  int fd = RVLockOpenedFile(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC),
                            true);
  return std::make_unique<RVFileHandle>(fd, true);
}

RVFileHandle::RVFileHandle(int fileDescriptor, bool closeOnDealloc)
    : _fileDescriptor(fileDescriptor), _closeOnDealloc(closeOnDealloc) {
  if (fileDescriptor < 0) RVRaiseFileSystemError();
}

RVFileHandle::~RVFileHandle() {
  if (!_closeOnDealloc || _fileDescriptor < 0) return;
  // A destructor may run while another exception passes: report, never throw.
  if (::close(_fileDescriptor) < 0 && errno != EINTR) {
    std::fprintf(stderr, "corvana: closing descriptor %d failed: %s\n", _fileDescriptor,
                 std::strerror(errno));
  }
}

void RVFileHandle::close() {
  if (!_closeOnDealloc || _fileDescriptor < 0) return;
  int fd = _fileDescriptor;
  _fileDescriptor = -1;
  // After EINTR the descriptor is already gone on Linux; retrying could close another.
  if (::close(fd) < 0 && errno != EINTR) RVRaiseFileSystemError();
}

bool RVFileHandle::hasBytesAvailable() {
  uint64_t position = offset();
  uint8_t byte;
  uint64_t n = readBytesMaxLength(&byte, 1);
  seekToOffset(position);
  return n > 0;
}

uint64_t RVFileHandle::offset() {
  off_t r = ::lseek(_fileDescriptor, 0, SEEK_CUR);
  if (r < 0) RVRaiseFileSystemError();
  return static_cast<uint64_t>(r);
}

void RVFileHandle::seekToOffset(uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) RVRaiseFileSystemError(EINVAL);
  if (::lseek(_fileDescriptor, static_cast<off_t>(offset), SEEK_SET) < 0) RVRaiseFileSystemError();
}

uint64_t RVFileHandle::seekToEnd() {
  off_t r = ::lseek(_fileDescriptor, 0, SEEK_END);
  if (r < 0) RVRaiseFileSystemError();
  return static_cast<uint64_t>(r);
}

void RVFileHandle::truncateAtOffset(uint64_t length) {
  if (length > static_cast<uint64_t>(INT64_MAX)) RVRaiseFileSystemError(EINVAL);
  int r;
  do {
    r = ::ftruncate(_fileDescriptor, static_cast<off_t>(length));
  } while (r < 0 && errno == EINTR);
  if (r < 0) RVRaiseFileSystemError();
}

uint64_t RVFileHandle::readBytesMaxLength(void* buffer, uint64_t maxLength) {
  // The kernel transfers at most about 2 GiB per call anyway.
  size_t n = static_cast<size_t>(std::min<uint64_t>(maxLength, 0x7ffff000));
  ssize_t r;
  do {
    r = ::read(_fileDescriptor, buffer, n);
  } while (r < 0 && errno == EINTR);
  if (r < 0) RVRaiseFileSystemError();
  return static_cast<uint64_t>(r);
}

uint64_t RVFileHandle::writeBytesMaxLength(const void* buffer, uint64_t length) {
  size_t n = static_cast<size_t>(std::min<uint64_t>(length, 0x7ffff000));
  ssize_t r;
  do {
    r = ::write(_fileDescriptor, buffer, n);
  } while (r < 0 && errno == EINTR);
  if (r < 0) RVRaiseFileSystemError();
  return static_cast<uint64_t>(r);
}
