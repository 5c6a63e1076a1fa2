#include "engine/io/RVFileSystem.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "engine/io/RVException.h"
#include "engine/io/RVFileHandle.h"
#include "engine/io/RVPath.h"

bool RVMakeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  if (errno == EEXIST || errno == EISDIR) return false;
  RVRaiseFileSystemError();
}

int RVCreateFileExclusively(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EEXIST) return -1;
    RVRaiseFileSystemError();
  }
  // The file is brand new, so nobody else can hold a lock on it yet.
  fd = RVLockOpenedFile(fd, true);
  if (fd < 0) RVRaiseFileSystemError();
  return fd;
}

void RVMakeDirectoryPath(const std::string& path) {
  if (path.empty()) return;
  // Most levels exist already: try the deepest first and climb only on ENOENT,
  // so an existing path costs one system call instead of one per level.
  if (::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST || errno == EISDIR) return;
  if (errno != ENOENT) RVRaiseFileSystemError();
  std::string parent = RVPathDeletingLastComponent(path);
  if (parent.empty() || parent == path) RVRaiseFileSystemError(ENOENT);
  RVMakeDirectoryPath(parent);
  RVMakeDirectory(path);
}

bool RVCreateUniqueDirectory(const std::string& path, std::string* made) {
  RVMakeDirectoryPath(RVPathDeletingLastComponent(path));
  std::string candidate = path;
  for (unsigned long n = 2; !RVMakeDirectory(candidate); ++n) {
    candidate = path + " " + std::to_string(n);
  }
  if (made) *made = candidate;
  return true;
}

int RVCreateUniqueFile(const std::string& path, std::string* made) {
  std::string parent = RVPathDeletingLastComponent(path);
  RVMakeDirectoryPath(parent);
  std::string last = RVPathLastComponent(path);
  std::string base = RVPathDeletingExtension(last);
  std::string ext = RVPathExtension(last);
  std::string candidate = path;
  int fd = RVCreateFileExclusively(candidate);
  for (unsigned long n = 2; fd < 0; ++n) {
    std::string name = base + " " + std::to_string(n);
    if (!ext.empty()) name += "." + ext;
    candidate = RVPathByAppendingComponent(parent, name);
    fd = RVCreateFileExclusively(candidate);
  }
  if (made) *made = candidate;
  return fd;
}

int RVCreateTemporaryFile(std::string* made) {
  const char* dir = std::getenv("TMPDIR");
  std::string tmp = dir && *dir ? dir : "/tmp";
  std::string templ =
      RVPathByAppendingComponent(tmp, std::string(RVApplicationIdentifier) + ".XXXXXXXX");
  std::vector<char> buffer(templ.begin(), templ.end());
  buffer.push_back('\0');
  int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
  if (fd < 0) RVRaiseFileSystemError();
  if (made) {
    *made = buffer.data();
  } else if (::unlink(buffer.data()) < 0) {
    int saved = errno;
    ::close(fd);
    RVRaiseFileSystemError(saved);
  }
  return fd;
}

int RVOpenNewFile(const std::string& path) {
  int fd = RVCreateFileExclusively(path);
  if (fd < 0) RVRaiseFileSystemError(EEXIST);
  return fd;
}

void RVRenameFile(const std::string& oldPath, const std::string& newPath) {
  if (::renameat2(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) == 0)
    return;
  if (errno != EINVAL && errno != ENOSYS) RVRaiseFileSystemError();
  // A file system without RENAME_NOREPLACE: a hard link fails on an existing target too.
  if (::link(oldPath.c_str(), newPath.c_str()) < 0) RVRaiseFileSystemError();
  if (::unlink(oldPath.c_str()) < 0) RVRaiseFileSystemError();
}
