// Reads one Zip archive: finds its central directory from the end of the file
// (with Zip64 and split parts), hands out the central records in order, and
// extracts any entry below a folder under a free name.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/CVNZipEntrySpans.h"
#include "engine/CVNZipResult.h"
#include "engine/io/RVUniqueNameMemory.h"

class CVNEngineJob;
class CVNZipFileHandle;
class CVNZipCentralFileHeader;
class CVNZipLocalFileHeader;
class RVIOHandle;

class CVNZipFileReader {
 public:
  // Searches `path` for a valid central directory; null when there is none (not
  // a Zip file, no entries, damaged). Exceptions of the search (the file cannot
  // be read, a part is missing, a record runs past the end) pass out.
  static std::unique_ptr<CVNZipFileReader> withZipFileAtPath(const std::string& path);
  ~CVNZipFileReader();

  // The next central record, or null at the first record that is not one (the
  // entry counts are not consulted); null from then on. Read failures raise.
  std::unique_ptr<CVNZipCentralFileHeader> readCentralFileHeader();
  // Back to the first central record by searching again; raises
  // RVInternalInconsistencyException when the directory is no longer found.
  void rewind();
  // Extracts the entry into directoryPath() and returns its result: 0, 1, 3, 4
  // or 5. Output that failed (1, 3, 5) is removed; 4 is kept with its dates.
  // Exceptions remove the partial output and pass out.
  //
  // Names from hosts 0 and 11 are split at "\" too (zipFileNameWithSeparators).
  // A name piece longer than the file system takes keeps its extension (up to
  // 32 bytes) and is cut at a character boundary to ten bytes below the limit.
  // Damaged (3), with nothing made: a ".." piece, only empty pieces, a local
  // header that is missing, past the end of its part or cut off by it, an
  // entry whose bytes (local header to end of data) share one with an entry
  // extracted before (a result other than 5), and a path that runs through a
  // file. A folder entry takes, without a new name, a folder that this reader
  // made only as the parent of earlier entries; a folder that existed or was
  // taken already gets a free name. Free names continue from the last number
  // this reader gave the same path; removing a failed output steps back, so
  // that trying the same entry again (another password) gives the same name.
  CVNZipResult decompressFileDataRelativeToCentralFileHeader(const CVNZipCentralFileHeader& header);
  // Nothing to do: the handles close with the reader.
  void closeFile() {}

  bool isDebug() const { return _isDebug; }
  void setDebug(bool debug) { _isDebug = debug; }
  // Asked for cancellation once per candidate of the search and during
  // extraction; not owned, may be null.
  CVNEngineJob* operation() const { return _operation; }
  void setOperation(CVNEngineJob* operation) { _operation = operation; }
  // The name of an entry whose name cannot be decoded.
  const std::optional<std::u16string>& defaultFileName() const { return _defaultFileName; }
  void setDefaultFileName(std::optional<std::u16string> name) {
    _defaultFileName = std::move(name);
  }
  const std::string& path() const { return _path; }
  // Entries are extracted below this folder; the current folder at creation.
  const std::string& directoryPath() const { return _directoryPath; }
  void setDirectoryPath(std::string path) { _directoryPath = std::move(path); }
  const std::optional<std::vector<uint8_t>>& password() const { return _password; }
  void setPassword(std::optional<std::vector<uint8_t>> password) {
    _password = std::move(password);
  }
  // Trusted, the password is taken as the right one: an encrypted entry that
  // fails its check (4) or proves damaged (3) says so instead of asking for
  // another password (5). For the try of a password the user insists on.
  bool isPasswordTrusted() const { return _passwordTrusted; }
  void setPasswordTrusted(bool trusted) { _passwordTrusted = trusted; }

  // The values of the accepted directory, after the Zip64 replacement.
  uint32_t numberOfThisDisk() const { return _numberOfThisDisk; }
  uint32_t numberOfTheDiskWithTheStartOfTheCentralDirectory() const {
    return _numberOfTheDiskWithTheStartOfTheCentralDirectory;
  }
  uint64_t totalNumberOfEntriesInTheCentralDirectoryOnThisDisk() const {
    return _totalNumberOfEntriesInTheCentralDirectoryOnThisDisk;
  }
  uint64_t totalNumberOfEntriesInTheCentralDirectory() const {
    return _totalNumberOfEntriesInTheCentralDirectory;
  }
  uint64_t sizeOfTheCentralDirectory() const { return _sizeOfTheCentralDirectory; }
  uint64_t offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber() const {
    return _offsetOfStartOfCentralDirectory;
  }

 private:
  explicit CVNZipFileReader(std::string path);
  bool _searchCentralDirectory();
  // The output path of a relative name of pieces, each cut to the name limit.
  std::string _outputPathWithPieces(const std::vector<std::u16string_view>& pieces);
  // The size of part `disk`, asked of the system once.
  uint64_t _sizeOfPart(uint32_t disk);
  // Loads the local header of the entry; false when it is missing, lies past
  // the end of its part or is cut off by it. Otherwise `end` is the end of the
  // entry's data within the part (saturated).
  bool _loadLocalFileHeader(const CVNZipCentralFileHeader& header, CVNZipLocalFileHeader& local,
                            uint64_t& end);

  bool _isDebug = false;
  CVNEngineJob* _operation = nullptr;
  std::optional<std::u16string> _defaultFileName;
  std::vector<uint8_t> _inputBuffer;
  std::vector<uint8_t> _outputBuffer;
  std::string _path;
  std::string _directoryPath;
  std::optional<std::vector<uint8_t>> _password;
  bool _passwordTrusted = false;
  std::unique_ptr<RVIOHandle> _centralDirectoryHandle;
  std::unique_ptr<CVNZipFileHandle> _extractionHandle;
  bool _enumerationEnded = false;
  // The name limit of _directoryPath, asked once per folder.
  std::string _nameLimitFolder;
  size_t _nameLimit = 0;
  std::map<uint32_t, uint64_t> _partSizes;
  CVNZipEntrySpans _spans;
  // Folders made only as missing parents and not yet taken by a folder entry.
  std::unordered_set<std::string> _parentFolders;
  // The folder that the last file or folder entry was made in.
  std::string _existingParent;
  RVUniqueNameMemory _freeNames;
  uint32_t _numberOfThisDisk = 0;
  uint32_t _numberOfTheDiskWithTheStartOfTheCentralDirectory = 0;
  uint64_t _totalNumberOfEntriesInTheCentralDirectoryOnThisDisk = 0;
  uint64_t _totalNumberOfEntriesInTheCentralDirectory = 0;
  uint64_t _sizeOfTheCentralDirectory = 0;
  uint64_t _offsetOfStartOfCentralDirectory = 0;
};
