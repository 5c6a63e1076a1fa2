// What the archiving job does with Mac-only items, folders that yield no entry
// and symbolic links. Only the listed values are valid.
#pragma once

#include <cstdint>

// For an item only a Mac makes sense of (".DS_Store", "._x", ".Trashes", ...).
enum CVNEntrySpecificToMacBehavior : uint64_t {
  CVNEntrySpecificToMacBehaviorExcludes = 0,             // left out, no row
  CVNEntrySpecificToMacBehaviorExcludesWithWarning = 1,  // left out, a "Skipped" warning
  CVNEntrySpecificToMacBehaviorIncludesInArchive = 2,    // treated like any other item
};

// For a folder whose walk handed on nothing (empty, or everything left out).
enum CVNEmptyFolderBehavior : uint64_t {
  CVNEmptyFolderBehaviorExcludes = 0,             // left out, no row
  CVNEmptyFolderBehaviorExcludesWithWarning = 1,  // left out, a "Skipped" warning
  CVNEmptyFolderBehaviorIncludesInArchive = 2,    // becomes an empty folder entry
};

// For an item that is itself a symbolic link.
enum CVNSymbolicLinkBehavior : uint64_t {
  CVNSymbolicLinkBehaviorExcludes = 0,  // left out, no row
  // The link's own path is handed on: the entry has the link's name and what it
  // points to (a file's data, or an empty folder entry for a folder).
  CVNSymbolicLinkBehaviorIncludesInArchive = 1,
  // The target is walked in the link's place, under the link's name.
  CVNSymbolicLinkBehaviorResolves = 2,
};
