// A byte stream on a POSIX file descriptor. Unbuffered: each primitive is one
// system call, and the position is the descriptor's own file offset.
#pragma once

#include <memory>
#include <string>

#include "engine/io/RVIOHandle.h"

class RVFileHandle : public RVIOHandle {
 public:
  // Read-only, with a shared lock taken without waiting. Raises by errno.
  static std::unique_ptr<RVFileHandle> forReadingAtPath(const std::string& path);
  // An existing file, read-write, with an exclusive lock taken without waiting;
  // a final symbolic link is refused. Neither creates nor truncates. Raises by errno.
  static std::unique_ptr<RVFileHandle> forWritingAtPath(const std::string& path);

  // A negative descriptor raises by the current errno, so a failed open reports
  // its own error when passed straight in.
  RVFileHandle(int fileDescriptor, bool closeOnDealloc);
  // Closes an owned descriptor; a failing close is reported on stderr, never thrown.
  ~RVFileHandle() override;

  // Closes an owned descriptor now, raising by errno when the close fails.
  void close();
  int fileDescriptor() const { return _fileDescriptor; }

  bool hasBytesAvailable() override;
  uint64_t offset() override;
  void seekToOffset(uint64_t offset) override;
  uint64_t seekToEnd() override;
  void truncateAtOffset(uint64_t length) override;
  uint64_t readBytesMaxLength(void* buffer, uint64_t maxLength) override;
  uint64_t writeBytesMaxLength(const void* buffer, uint64_t length) override;

 private:
  int _fileDescriptor;
  bool _closeOnDealloc;
};

// Takes a whole-file advisory lock without waiting (flock LOCK_SH or LOCK_EX);
// on failure closes `fd` and returns -1 with errno set, as a failed open would.
int RVLockOpenedFile(int fd, bool exclusive);
