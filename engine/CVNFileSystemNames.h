// Name rules on paths: items that only make sense on a Mac, files that only
// make sense on Windows, and turning paths and entry names into one another.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class CVNPathComponentEncoder;

// Whether the item at `pathBytes` exists (a final link followed) and is Mac-only:
// a folder named ".fseventsd", ".Spotlight-V100", ".Trashes", ".Trash" or
// ".localized"; anything else named "._...", ".DS_Store", ".VolumeIcon.icns",
// ".localized" or "Icon\r". Case-sensitive. Asks the file system only when the
// name is one of these.
bool isMacOSXFileSystemItem(const std::string& pathBytes);
// Whether the last component of the path or entry name is "Thumbs.db" or
// "Desktop.ini", without regard to case. Looks at the text only.
bool isWindowsFileSystemFile(std::u16string_view pathOrEntryName);
// Every component encoded for Windows, joined with "/". Repeated separators
// count as one; a leading "/" stays, a trailing one is dropped.
std::u16string pathUsingPathComponentEncoder(std::u16string_view path,
                                             const CVNPathComponentEncoder& encoder);
// An entry name as a relative path: runs of "/" become one, a trailing "/"
// stays. "\" is an ordinary character.
std::u16string pathWithZipFileName(std::u16string_view name);
// The path without its trailing separators; the root stays "/".
std::u16string stringByDeletingFinalPathSeparator(std::u16string_view path);
// The decoded name of an entry with each "\" made a "/" when the entry comes
// from host 0 (MS-DOS) or 11 (NTFS), where "\" separates folders and cannot be
// part of a name; other hosts keep it as a character. Pass the decoded text,
// never raw bytes: in code page 932 the byte 0x5C also ends many characters.
// The reader extracts by these pieces, and the Windows-only rule looks at the
// last of them (isWindowsFileSystemFile of this name).
std::u16string zipFileNameWithSeparators(std::u16string_view name, uint16_t versionMadeBy);
