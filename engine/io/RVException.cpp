#include "engine/io/RVException.h"

#include <cerrno>

RVException::RVException(std::string_view name, std::optional<std::string> reason)
    : name_(name), reason_(std::move(reason)) {
  what_ = reason_ ? name_ + ": " + *reason_ : name_;
}

void RVRaiseOutOfMemory() { throw RVException(RVOutOfMemoryException); }

void RVRaiseDiskFull() { throw RVException(RVDiskFullException); }

void RVRaiseFileSystemError() { RVRaiseFileSystemError(errno); }

void RVRaiseFileSystemError(int error) {
  if (error == ENOSPC) RVRaiseDiskFull();
  if (error == ENOMEM) RVRaiseOutOfMemory();
  throw RVException(RVFileSystemException, "errno = " + std::to_string(error));
}

bool RVIsFileSystemError(const RVException& e, int error) {
  return e.is(RVFileSystemException) && e.reason() == "errno = " + std::to_string(error);
}

void RVRaiseOperationCancelled() {
  throw RVException(RVOperationCancelledException, std::string("Cancelled"));
}

void RVRaiseEndOfBytes() { throw RVException(RVIOHandleEndOfBytesException); }

void RVRaiseInvalidParameter(std::string_view condition) {
  throw RVException(RVInternalInconsistencyException,
                    "Invalid parameter not satisfying: " + std::string(condition));
}
