// The archiving job's walk of one dropped item, without Qt, so that the
// engine's benchmark walks exactly as the job does.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>

#include "jobs/CVNArchiveBehaviors.h"

class CVNEngineJob;

// Called for each item the walk hands on: its relative path, its own status
// (links not followed) and the full path the writer is to read.
using CVNArchiveItemBlock = std::function<void(const std::string& pathname,
                                               const struct stat& status, const std::string& path)>;

// The rules of one walk and what it reports.
struct CVNArchiveWalkRules {
  CVNEntrySpecificToMacBehavior entrySpecificToMacBehavior;
  CVNEmptyFolderBehavior emptyFolderBehavior;
  CVNSymbolicLinkBehavior symbolicLinkBehavior;
  // Asked before every item; null is never cancelled.
  const CVNEngineJob* operation = nullptr;
  // A warning row: message key ("Log:存在しないパス", "Skipped") and relative path. May be empty.
  std::function<void(const char* messageKey, const std::string& pathname)> warn;
  // The failure's reason for a link that cannot be resolved; empty gives
  // "Unable to resolve symbolic link <path>".
  std::function<std::string(const std::string& path)> unresolvableLinkReason;
};

// Walks the item at `path` under the relative path `pathname` and, for a
// folder, everything below it in the order the system lists it, the folder
// itself after its contents. Returns how many items it handed to `block`.
// Raises on cancellation, an unreadable status other than a missing item, a
// folder that cannot be listed (the system's text as the reason), and a link
// (behaviour 2) that cannot be resolved or leads back into a folder being walked.
uint64_t CVNArchiveEnumerateWithPath(const std::string& path, const std::string& pathname,
                                     const CVNArchiveWalkRules& rules,
                                     const CVNArchiveItemBlock& block);
