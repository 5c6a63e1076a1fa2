// The one exception type of the engine: a failure identified by its name, with
// an optional reason. Jobs tell failures apart by name only.
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::string_view RVOutOfMemoryException = "RVOutOfMemoryException";
inline constexpr std::string_view RVDiskFullException = "RVDiskFullException";
inline constexpr std::string_view RVFileSystemException = "RVFileSystemException";
inline constexpr std::string_view RVOperationCancelledException = "RVOperationCancelledException";
inline constexpr std::string_view RVIOHandleEndOfBytesException = "RVIOHandleEndOfBytesException";
// A write that made no progress at all.
inline constexpr std::string_view RVDiskFullWriteException = "Disk Full";
// A broken precondition ("Invalid parameter not satisfying: ...").
inline constexpr std::string_view RVInternalInconsistencyException =
    "RVInternalInconsistencyException";
// A value the Zip format cannot represent (a name or comment over 65,535 bytes).
inline constexpr std::string_view RVInvalidArgumentException = "RVInvalidArgumentException";

class RVException : public std::exception {
 public:
  explicit RVException(std::string_view name, std::optional<std::string> reason = std::nullopt);

  const std::string& name() const noexcept { return name_; }
  const std::optional<std::string>& reason() const noexcept { return reason_; }
  bool is(std::string_view name) const noexcept { return name_ == name; }

  // "name: reason", or the name alone.
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::string name_;
  std::optional<std::string> reason_;
  std::string what_;
};

[[noreturn]] void RVRaiseOutOfMemory();
[[noreturn]] void RVRaiseDiskFull();
// Raises by the current errno: ENOSPC and ENOMEM get their own names, anything
// else is RVFileSystemException with the reason "errno = N".
[[noreturn]] void RVRaiseFileSystemError();
[[noreturn]] void RVRaiseFileSystemError(int error);
// Whether `e` is the RVFileSystemException that RVRaiseFileSystemError(error) raises.
bool RVIsFileSystemError(const RVException& e, int error);
// The errno in the reason of an RVFileSystemException; none for any other failure.
std::optional<int> RVFileSystemErrorNumber(const RVException& e);
// The C library's description of `error` in the language of the program's
// messages locale where the library has it, else in English. Thread-safe.
std::string RVSystemErrorDescription(int error);
[[noreturn]] void RVRaiseOperationCancelled();
[[noreturn]] void RVRaiseEndOfBytes();
// A programming error: reason "Invalid parameter not satisfying: <condition>".
[[noreturn]] void RVRaiseInvalidParameter(std::string_view condition);

#define RVParameterAssert(condition)                       \
  do {                                                     \
    if (!(condition)) RVRaiseInvalidParameter(#condition); \
  } while (0)
