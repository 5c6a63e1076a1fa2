// File-system helpers that never overwrite: an existing name is absorbed (false,
// -1, or the next free number); every other failure raises by errno.
#pragma once

#include <string>
#include <string_view>

#include "CVNBundle.h"

// Identifies the application in the names of its temporary files.
inline constexpr std::string_view RVApplicationIdentifier = CVNBundleIdentifier;

// mkdir with mode 0777: true when made, false when the name exists.
bool RVMakeDirectory(const std::string& path);
// Creates a new file (mode 0666) open read-write under an exclusive lock;
// -1 when the name exists.
int RVCreateFileExclusively(const std::string& path);
// Makes the path and every missing ancestor; existing levels are fine.
void RVMakeDirectoryPath(const std::string& path);
// Makes the folder, or "path 2", "path 3", ... when taken. Always true.
bool RVCreateUniqueDirectory(const std::string& path, std::string* made = nullptr);
// Creates the file, or "base 2.ext", "base 3.ext", ... when taken (a name
// without extension gets " 2" appended). Returns the open descriptor.
int RVCreateUniqueFile(const std::string& path, std::string* made = nullptr);
// A new file in $TMPDIR (else /tmp); unlinked at once unless `made` is asked for.
int RVCreateTemporaryFile(std::string* made = nullptr);
// RVCreateFileExclusively, with an existing name raising (EEXIST).
int RVOpenNewFile(const std::string& path);
// Renames without ever replacing: an existing `newPath` raises EEXIST.
void RVRenameFile(const std::string& oldPath, const std::string& newPath);
