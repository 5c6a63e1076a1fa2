#include "engine/io/RVFileSystem.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/io/RVException.h"
#include "engine/io/RVFileHandle.h"
#include "engine/io/RVPath.h"
#include "engine/io/RVUniqueNameMemory.h"

namespace {

// Removes a file just made that could not be locked (a network file system
// without a lock manager), so that no empty file is left under its name.
// Answers the errno of the failure before.
int unlinkKeepingErrno(const std::string& path) {
  const int error = errno;
  ::unlink(path.c_str());
  return error;
}

}  // namespace

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
  if (fd < 0) RVRaiseFileSystemError(unlinkKeepingErrno(path));
  return fd;
}

void RVMakeDirectoryPath(const std::string& path, std::vector<std::string>* made) {
  if (path.empty()) return;
  // Most levels exist already: try the deepest first and climb only on ENOENT,
  // so an existing path costs one system call instead of one per level.
  if (::mkdir(path.c_str(), 0777) == 0) {
    if (made) made->push_back(path);
    return;
  }
  if (errno == EEXIST || errno == EISDIR) return;
  if (errno != ENOENT) RVRaiseFileSystemError();
  std::string parent = RVPathDeletingLastComponent(path);
  if (parent.empty() || parent == path) RVRaiseFileSystemError(ENOENT);
  RVMakeDirectoryPath(parent, made);
  if (RVMakeDirectory(path) && made) made->push_back(path);
}

size_t RVMaximumNameLength(const std::string& folderPath) {
  long length = ::pathconf(folderPath.empty() ? "." : folderPath.c_str(), _PC_NAME_MAX);
  return length > 0 ? static_cast<size_t>(length) : 255;
}

namespace {

// The longest head of `text` of at most `length` bytes that ends on a UTF-8
// character boundary.
std::string_view headAtCharacterBoundary(std::string_view text, size_t length) {
  if (text.size() <= length) return text;
  while (length > 0 && (static_cast<uint8_t>(text[length]) & 0xC0) == 0x80) --length;
  return text.substr(0, length);
}

// The free-name loop shared by folders and files. `create` makes one candidate
// and answers 0, or the errno of its failure. Candidates: `path`, then parent /
// (base + " N" + tail) for N = 2, 3, ...
template <typename Create>
std::string createUnique(const std::string& path, const std::string& parent,
                         const std::string& base, const std::string& tail, bool folder,
                         RVUniqueNameMemory* memory, Create create) {
  size_t nameMax = 0;  // asked for only when a numbered name is too long
  bool parentMade = false;
  for (unsigned long n = memory ? memory->firstNumber(path, folder) : 1;; ++n) {
    std::string candidate = path;
    if (n > 1) {
      const std::string suffix = " " + std::to_string(n) + tail;
      std::string_view head = base;
      if (nameMax != 0)
        head = headAtCharacterBoundary(base, nameMax - std::min(nameMax, suffix.size()));
      candidate = RVPathByAppendingComponent(parent, std::string(head) + suffix);
    }
    int error = create(candidate);
    if (error == ENOENT && !parentMade) {
      // The parent is made only when it is missing, which saves a call per name.
      RVMakeDirectoryPath(parent);
      parentMade = true;
      error = create(candidate);
    }
    if (error == ENAMETOOLONG && n > 1 && nameMax == 0) {
      nameMax = RVMaximumNameLength(parent);
      if (RVPathLastComponent(candidate).size() > nameMax) {
        --n;  // the same number again, cut
        continue;
      }
    }
    if (error == 0) {
      if (memory) memory->remember(path, folder, n);
      return candidate;
    }
    if (error != EEXIST && error != EISDIR) RVRaiseFileSystemError(error);
  }
}

}  // namespace

bool RVCreateUniqueDirectory(const std::string& path, std::string* made,
                             RVUniqueNameMemory* memory) {
  std::string candidate = createUnique(
      path, RVPathDeletingLastComponent(path), RVPathLastComponent(path), "", true, memory,
      [](const std::string& p) { return ::mkdir(p.c_str(), 0777) == 0 ? 0 : errno; });
  if (made) *made = std::move(candidate);
  return true;
}

int RVCreateUniqueFile(const std::string& path, std::string* made, RVUniqueNameMemory* memory) {
  std::string last = RVPathLastComponent(path);
  std::string ext = RVPathExtension(last);
  int fd = -1;
  std::string candidate = createUnique(
      path, RVPathDeletingLastComponent(path), RVPathDeletingExtension(last),
      ext.empty() ? "" : "." + ext, false, memory, [&fd](const std::string& p) {
        fd = ::open(p.c_str(), O_RDWR | O_NONBLOCK | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) return errno;
        // The file is brand new, so nobody else can hold a lock on it yet.
        fd = RVLockOpenedFile(fd, true);
        return fd < 0 ? unlinkKeepingErrno(p) : 0;
      });
  if (made) *made = std::move(candidate);
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
