#include "engine/io/RVException.h"

#include <cerrno>
#include <charconv>
#include <cstring>

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
  return RVFileSystemErrorNumber(e) == error;
}

std::optional<int> RVFileSystemErrorNumber(const RVException& e) {
  constexpr std::string_view prefix = "errno = ";
  if (!e.is(RVFileSystemException) || !e.reason() || !e.reason()->starts_with(prefix))
    return std::nullopt;
  const std::string& reason = *e.reason();
  int error = 0;
  const char* end = reason.data() + reason.size();
  const auto [last, fault] = std::from_chars(reason.data() + prefix.size(), end, error);
  if (fault != std::errc() || last != end) return std::nullopt;
  return error;
}

std::string RVSystemErrorDescription(int error) {
  char buffer[256];
  // GNU strerror_r: the library's own text, or the buffer for an unknown number.
  return ::strerror_r(error, buffer, sizeof buffer);
}

void RVRaiseOperationCancelled() {
  throw RVException(RVOperationCancelledException, std::string("Cancelled"));
}

void RVRaiseEndOfBytes() { throw RVException(RVIOHandleEndOfBytesException); }

void RVRaiseInvalidParameter(std::string_view condition) {
  throw RVException(RVInternalInconsistencyException,
                    "Invalid parameter not satisfying: " + std::string(condition));
}
