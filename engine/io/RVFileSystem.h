// File-system helpers that never overwrite: an existing name is absorbed (false,
// -1, or the next free number); every other failure raises by errno.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "CVNBundle.h"

class RVUniqueNameMemory;

// Identifies the application in the names of its temporary files.
inline constexpr std::string_view RVApplicationIdentifier = CVNBundleIdentifier;

// mkdir with mode 0777: true when made, false when the name exists.
bool RVMakeDirectory(const std::string& path);
// Creates a new file (mode 0666) open read-write under an exclusive lock;
// -1 when the name exists.
int RVCreateFileExclusively(const std::string& path);
// Makes the path and every missing ancestor; existing levels are fine. Each
// level made is appended to `made`, shallowest first, when asked for.
void RVMakeDirectoryPath(const std::string& path, std::vector<std::string>* made = nullptr);
// The longest name, in bytes, that the file system of the folder takes:
// pathconf's answer, else 255.
size_t RVMaximumNameLength(const std::string& folderPath);
// Makes the folder, or "path 2", "path 3", ... when taken. Always true.
// With `memory`, the search starts after the number it handed out last for
// this path, which gives the same names as long as nothing else changes the
// folder. A numbered name longer than the file system takes has its base cut
// at a UTF-8 character boundary until it fits.
bool RVCreateUniqueDirectory(const std::string& path, std::string* made = nullptr,
                             RVUniqueNameMemory* memory = nullptr);
// Creates the file, or "base 2.ext", "base 3.ext", ... when taken (a name
// without extension gets " 2" appended). Returns the open descriptor.
// `memory` and long numbered names as for RVCreateUniqueDirectory.
int RVCreateUniqueFile(const std::string& path, std::string* made = nullptr,
                       RVUniqueNameMemory* memory = nullptr);
// A new file in $TMPDIR (else /tmp); unlinked at once unless `made` is asked for.
int RVCreateTemporaryFile(std::string* made = nullptr);
// RVCreateFileExclusively, with an existing name raising (EEXIST).
int RVOpenNewFile(const std::string& path);
// Renames without ever replacing: an existing `newPath` raises EEXIST.
void RVRenameFile(const std::string& oldPath, const std::string& newPath);
