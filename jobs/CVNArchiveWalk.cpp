#include "jobs/CVNArchiveWalk.h"

#include <dirent.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/CVNEngineJob.h"
#include "engine/CVNFileSystemNames.h"
#include "engine/io/RVException.h"
#include "engine/io/RVPath.h"

// The walk builds without Qt; its keys still carry the mark the key check looks for.
#ifndef CVN_KEY
#define CVN_KEY(key) key
#endif

namespace {

// The folder's names in the order the system gives them, "." and ".." left out.
std::vector<std::string> listFolder(const std::string& path) {
  DIR* folder = ::opendir(path.c_str());
  int error = folder ? 0 : errno;
  std::vector<std::string> names;
  if (folder) {
    for (;;) {
      errno = 0;
      const dirent* item = ::readdir(folder);
      if (!item) {
        error = errno;
        break;
      }
      const std::string_view name = item->d_name;
      if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(folder);
  }
  if (error != 0) {
    // The system's own text of the error.
    throw RVException(std::string_view(), RVSystemErrorDescription(error));
  }
  return names;
}

// One walk: the rules and the folders on the current chain (links that lead
// back into one of them would never end).
class Walk {
 public:
  Walk(const CVNArchiveWalkRules& rules, const CVNArchiveItemBlock& block)
      : rules_(rules), block_(block) {}

  uint64_t item(const std::string& path, const std::string& pathname) {
    if (rules_.operation && rules_.operation->isCancelled()) RVRaiseOperationCancelled();
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0) {
      const int error = errno;
      if (error != ENOENT) RVRaiseFileSystemError(error);
      warn(CVN_KEY("Log:存在しないパス"), pathname);
      return 0;
    }
    // Before the kind, so that a Mac-only folder is never entered.
    if (isMacOSXFileSystemItem(path)) {
      switch (rules_.entrySpecificToMacBehavior) {
        case CVNEntrySpecificToMacBehaviorExcludes:
          return 0;
        case CVNEntrySpecificToMacBehaviorExcludesWithWarning:
          warn(CVN_KEY("Skipped"), pathname);
          return 0;
        case CVNEntrySpecificToMacBehaviorIncludesInArchive:
          break;
      }
    }
    if (S_ISLNK(status.st_mode)) return link(path, pathname, status);
    if (S_ISREG(status.st_mode)) {
      block_(pathname, status, path);
      return 1;
    }
    if (S_ISDIR(status.st_mode)) return folder(path, pathname, status);
    return 0;  // devices, pipes, sockets
  }

 private:
  uint64_t link(const std::string& path, const std::string& pathname, const struct stat& status) {
    switch (rules_.symbolicLinkBehavior) {
      case CVNSymbolicLinkBehaviorExcludes:
        return 0;
      case CVNSymbolicLinkBehaviorIncludesInArchive:
        block_(pathname, status, path);
        return 1;
      case CVNSymbolicLinkBehaviorResolves:
        break;
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) raiseUnresolvable(path);
    const std::string target = resolved;
    std::free(resolved);
    if (target == path) raiseUnresolvable(path);
    struct stat targetStatus;
    if (::stat(target.c_str(), &targetStatus) == 0 && S_ISDIR(targetStatus.st_mode) &&
        isOnChain(targetStatus))
      raiseUnresolvable(path);
    return item(target, pathname);
  }

  uint64_t folder(const std::string& path, const std::string& pathname, const struct stat& status) {
    const std::vector<std::string> names = listFolder(path);
    chain_.emplace_back(status.st_dev, status.st_ino);
    uint64_t count = 0;
    for (const std::string& name : names)
      count += item(RVPathByAppendingComponent(path, name), pathname + "/" + name);
    chain_.pop_back();
    if (count > 0) {
      // After its contents, so that an extractor has made the folder by then.
      block_(pathname, status, path);
      return count + 1;
    }
    switch (rules_.emptyFolderBehavior) {
      case CVNEmptyFolderBehaviorExcludes:
        return 0;
      case CVNEmptyFolderBehaviorExcludesWithWarning:
        warn(CVN_KEY("Skipped"), pathname);
        return 0;
      case CVNEmptyFolderBehaviorIncludesInArchive:
        block_(pathname, status, path);
        return 1;
    }
    return 0;
  }

  bool isOnChain(const struct stat& status) const {
    for (const auto& [device, inode] : chain_)
      if (device == status.st_dev && inode == status.st_ino) return true;
    return false;
  }

  [[noreturn]] void raiseUnresolvable(const std::string& path) const {
    throw RVException(std::string_view(), rules_.unresolvableLinkReason
                                              ? rules_.unresolvableLinkReason(path)
                                              : "Unable to resolve symbolic link " + path);
  }

  void warn(const char* key, const std::string& pathname) {
    if (rules_.warn) rules_.warn(key, pathname);
  }

  const CVNArchiveWalkRules& rules_;
  const CVNArchiveItemBlock& block_;
  std::vector<std::pair<dev_t, ino_t>> chain_;
};

}  // namespace

uint64_t CVNArchiveEnumerateWithPath(const std::string& path, const std::string& pathname,
                                     const CVNArchiveWalkRules& rules,
                                     const CVNArchiveItemBlock& block) {
  RVParameterAssert(rules.entrySpecificToMacBehavior <=
                    CVNEntrySpecificToMacBehaviorIncludesInArchive);
  RVParameterAssert(rules.emptyFolderBehavior <= CVNEmptyFolderBehaviorIncludesInArchive);
  RVParameterAssert(rules.symbolicLinkBehavior <= CVNSymbolicLinkBehaviorResolves);
  Walk walk(rules, block);
  return walk.item(path, pathname);
}
