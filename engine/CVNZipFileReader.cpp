#include "engine/CVNZipFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "engine/CVNEngineJob.h"
#include "engine/CVNFileSystemNames.h"
#include "engine/CVNStringEncoding.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipEndOfCentralDirectoryRecord.h"
#include "engine/CVNZipFileData.h"
#include "engine/CVNZipFileHandle.h"
#include "engine/CVNZipLocalFileHeader.h"
#include "engine/CVNZipZip64EndOfCentralDirectoryLocator.h"
#include "engine/CVNZipZip64EndOfCentralDirectoryRecord.h"
#include "engine/io/RVBufferedReadHandle.h"
#include "engine/io/RVDataHandle.h"
#include "engine/io/RVException.h"
#include "engine/io/RVFileHandle.h"
#include "engine/io/RVFileSystem.h"
#include "engine/io/RVPath.h"

namespace {

constexpr size_t kBufferSize = 262144;
constexpr uint64_t kMaxCommentLength = 65535;

std::string currentDirectory() {
  std::vector<char> buffer(4096);
  while (!::getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) RVRaiseFileSystemError();
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

// What an entry name asks to create below the extraction folder.
struct RelativeName {
  enum Kind { kRefused, kOutputFolderItself, kPath } kind;
  std::vector<std::u16string_view> pieces;  // no empty or "." pieces
};

// A ".." piece anywhere, or only empty pieces, is refused so that nothing lands
// outside the folder. "." pieces are dropped; a folder made only of them is the
// output folder itself. A NUL would cut the path short when handed to the system.
RelativeName relativeNameOf(std::u16string_view name, bool isFolder) {
  RelativeName result{RelativeName::kPath, {}};
  bool sawDot = false;
  size_t i = 0;
  while (i <= name.size()) {
    size_t j = std::min(name.find(u'/', i), name.size());
    std::u16string_view piece = name.substr(i, j - i);
    i = j + 1;
    if (piece == u"..") return {RelativeName::kRefused, {}};
    if (piece.find(u'\0') != std::u16string_view::npos) return {RelativeName::kRefused, {}};
    if (piece.empty()) continue;
    if (piece == u".") {
      sawDot = true;
      continue;
    }
    result.pieces.push_back(piece);
  }
  if (result.pieces.empty()) {
    return {sawDot && isFolder ? RelativeName::kOutputFolderItself : RelativeName::kRefused, {}};
  }
  return result;
}

// Ten bytes stay free for the " N" of a free name.
constexpr size_t kFreeNameRoom = 10;
constexpr size_t kLongestKeptExtension = 32;

// A name piece that fits `limit` bytes as it is, else its head cut at a
// character boundary, with its extension (from its last ".", not the first or
// last character, at most 32 bytes with the dot) kept, to `limit` - 10 bytes.
std::string pieceWithinLimit(std::string piece, size_t limit) {
  if (piece.size() <= limit) return piece;
  const size_t room = limit > kFreeNameRoom ? limit - kFreeNameRoom : 1;
  std::string extension;
  const size_t dot = piece.rfind('.');
  if (dot != std::string::npos && dot != 0 && dot + 1 != piece.size() &&
      piece.size() - dot <= kLongestKeptExtension && piece.size() - dot < room)
    extension = piece.substr(dot);
  size_t head = room - extension.size();
  while (head > 0 && (static_cast<uint8_t>(piece[head]) & 0xC0) == 0x80) --head;
  piece.resize(head);
  return piece + extension;
}

void setModificationDate(const std::string& path, int64_t epoch) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(epoch);
  times[1].tv_nsec = 0;
  // Dates are a courtesy: a file system that refuses them loses nothing.
  (void)::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

}  // namespace

CVNZipFileReader::CVNZipFileReader(std::string path)
    : _inputBuffer(kBufferSize),
      _outputBuffer(kBufferSize),
      _path(std::move(path)),
      _directoryPath(currentDirectory()) {}

CVNZipFileReader::~CVNZipFileReader() = default;

std::unique_ptr<CVNZipFileReader> CVNZipFileReader::withZipFileAtPath(const std::string& path) {
  std::unique_ptr<CVNZipFileReader> reader(new CVNZipFileReader(path));
  if (!reader->_searchCentralDirectory()) return nullptr;
  return reader;
}

bool CVNZipFileReader::_searchCentralDirectory() {
  auto file = RVFileHandle::forReadingAtPath(_path);
  const uint64_t size = file->seekToEnd();
  const uint64_t fixed = CVNZipEndOfCentralDirectoryRecord::fixedSize();
  if (size < fixed) return false;

  // Every candidate lies in the last 65,535 + 22 bytes: read them once and test
  // signatures in memory rather than with a seek and a read per position.
  const uint64_t windowStart =
      size - fixed > kMaxCommentLength ? size - fixed - kMaxCommentLength : 0;
  file->seekToOffset(windowStart);
  RVDataHandle window(file->readDataOfLength(size - windowStart));
  const uint8_t* bytes = window.data().data();
  file.reset();

  CVNZipEndOfCentralDirectoryRecord end;
  CVNZipZip64EndOfCentralDirectoryLocator locator;
  CVNZipZip64EndOfCentralDirectoryRecord zip64;
  CVNZipCentralFileHeader central;
  CVNZipLocalFileHeader local;
  const uint8_t signature[4] = {0x50, 0x4B, 0x05, 0x06};

  for (uint64_t k = 0; k <= kMaxCommentLength; ++k) {
    if (size - fixed < k) return false;
    const uint64_t p = size - fixed - k;
    CVNRaiseIfCancelled(_operation);
    if (std::memcmp(bytes + (p - windowStart), signature, 4) != 0) continue;
    window.seekToOffset(p - windowStart);
    if (!end.loadWithIOHandle(window)) continue;

    uint32_t thisDisk = end.numberOfThisDisk();
    uint32_t directoryDisk = end.numberOfTheDiskWithTheStartOfTheCentralDirectory();
    uint64_t entriesOnDisk = end.totalNumberOfEntriesInTheCentralDirectoryOnThisDisk();
    uint64_t entries = end.totalNumberOfEntriesInTheCentralDirectory();
    uint64_t directorySize = end.sizeOfTheCentralDirectory();
    uint64_t directoryOffset =
        end.offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber();

    bool usedZip64 = false;
    if (p >= CVNZipZip64EndOfCentralDirectoryLocator::fixedSize() &&
        locator.loadWithFileAtPath(_path,
                                   p - CVNZipZip64EndOfCentralDirectoryLocator::fixedSize()) &&
        locator.totalNumberOfDisks() >
            locator.numberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory() &&
        zip64.loadWithFileAtPath(
            _path, locator.numberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory(),
            locator.totalNumberOfDisks(),
            locator.relativeOffsetOfTheZip64EndOfCentralDirectoryRecord())) {
      usedZip64 = true;
      if (thisDisk == 0xFFFF) thisDisk = zip64.numberOfThisDisk();
      if (directoryDisk == 0xFFFF)
        directoryDisk = zip64.numberOfTheDiskWithTheStartOfTheCentralDirectory();
      if (entriesOnDisk == 0xFFFF)
        entriesOnDisk = zip64.totalNumberOfEntriesInTheCentralDirectoryOnThisDisk();
      if (entries == 0xFFFF) entries = zip64.totalNumberOfEntriesInTheCentralDirectory();
      if (directorySize == 0xFFFFFFFF) directorySize = zip64.sizeOfTheCentralDirectory();
      if (directoryOffset == 0xFFFFFFFF)
        directoryOffset = zip64.offsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber();
    }

    // Valid only when the first entry's central and local records are where the end says.
    if (directoryDisk > thisDisk) continue;
    if (!central.loadWithFileAtPath(_path, directoryDisk, thisDisk, directoryOffset)) continue;
    if (central.diskNumberStart() > thisDisk) continue;
    if (!local.loadWithFileAtPath(_path, central.diskNumberStart(), thisDisk,
                                  central.relativeOffsetOfLocalHeader()))
      continue;

    if (_isDebug) {
      end.dump();
      if (usedZip64) {
        locator.dump();
        zip64.dump();
      }
    }
    auto handle = CVNZipFileHandle::forReadingAtPathMaxDiskIndex(_path, directoryDisk, thisDisk);
    handle->seekToOffset(directoryOffset);
    _centralDirectoryHandle = std::make_unique<RVBufferedReadHandle>(std::move(handle));
    _enumerationEnded = false;
    _numberOfThisDisk = thisDisk;
    _numberOfTheDiskWithTheStartOfTheCentralDirectory = directoryDisk;
    _totalNumberOfEntriesInTheCentralDirectoryOnThisDisk = entriesOnDisk;
    _totalNumberOfEntriesInTheCentralDirectory = entries;
    _sizeOfTheCentralDirectory = directorySize;
    _offsetOfStartOfCentralDirectory = directoryOffset;
    return true;
  }
  return false;
}

std::unique_ptr<CVNZipCentralFileHeader> CVNZipFileReader::readCentralFileHeader() {
  if (_enumerationEnded) return nullptr;
  auto header = std::make_unique<CVNZipCentralFileHeader>();
  if (!header->loadWithIOHandle(*_centralDirectoryHandle)) {
    _enumerationEnded = true;
    return nullptr;
  }
  return header;
}

void CVNZipFileReader::rewind() {
  bool result = _searchCentralDirectory();
  RVParameterAssert(result);
}

std::string CVNZipFileReader::_outputPathWithPieces(
    const std::vector<std::u16string_view>& pieces) {
  if (_nameLimit == 0 || _nameLimitFolder != _directoryPath) {
    _nameLimit = RVMaximumNameLength(_directoryPath);
    _nameLimitFolder = _directoryPath;
  }
  std::string path = _directoryPath;
  for (std::u16string_view piece : pieces)
    path = RVPathByAppendingComponent(path, pieceWithinLimit(CVNUTF8FromUTF16(piece), _nameLimit));
  return path;
}

uint64_t CVNZipFileReader::_sizeOfPart(uint32_t disk) {
  auto [found, added] = _partSizes.try_emplace(disk, 0);
  if (added) {
    struct stat status;
    const std::string part = CVNZipFileHandle::pathOfPart(_path, disk, _numberOfThisDisk);
    if (::stat(part.c_str(), &status) != 0) {
      _partSizes.erase(found);
      RVRaiseFileSystemError();
    }
    found->second = static_cast<uint64_t>(status.st_size);
  }
  return found->second;
}

bool CVNZipFileReader::_loadLocalFileHeader(const CVNZipCentralFileHeader& header,
                                            CVNZipLocalFileHeader& local, uint64_t& end) {
  const uint32_t disk = header.diskNumberStart();
  // One handle serves entry after entry while they lie on the part it has open:
  // opening, locking and closing the archive for each of many small entries
  // costs more than extracting them.
  if (!_extractionHandle || _extractionHandle->currentDiskIndex() != disk) {
    _extractionHandle.reset();
    _extractionHandle =
        CVNZipFileHandle::forReadingAtPathMaxDiskIndex(_path, disk, _numberOfThisDisk);
  }
  CVNZipFileHandle& part = *_extractionHandle;
  const uint64_t offset = header.relativeOffsetOfLocalHeader();
  // Past its part's end, reading would go on in the next part.
  if (offset >= _sizeOfPart(disk)) return false;
  part.seekToOffset(offset);
  try {
    if (!local.loadWithIOHandle(part)) return false;
  } catch (const RVException& e) {
    if (!e.is(RVIOHandleEndOfBytesException)) throw;
    return false;
  }
  if (part.currentDiskIndex() != disk) return false;  // cut off by its part's end
  const uint64_t dataStart = part.offset();
  const uint64_t compressed = header.compressedSize();
  end = compressed > UINT64_MAX - dataStart ? UINT64_MAX : dataStart + compressed;
  return true;
}

CVNZipResult CVNZipFileReader::decompressFileDataRelativeToCentralFileHeader(
    const CVNZipCentralFileHeader& header) {
  std::optional<std::u16string> decoded = header.fileNameString();
  if (decoded) decoded = zipFileNameWithSeparators(*decoded, header.versionMadeBy());
  const bool isFolder = decoded && !decoded->empty() && decoded->back() == u'/';
  std::u16string name = decoded ? *decoded : _defaultFileName.value_or(std::u16string());
  RelativeName relative = relativeNameOf(name, isFolder);
  if (relative.kind == RelativeName::kRefused) return CVNZipResultDataError;
  if (relative.kind == RelativeName::kOutputFolderItself) return CVNZipResultSucceeded;
  const std::string outputPath = _outputPathWithPieces(relative.pieces);

  if (header.diskNumberStart() > _numberOfThisDisk) return CVNZipResultDataError;
  CVNZipLocalFileHeader local;
  uint64_t end = 0;
  if (!_loadLocalFileHeader(header, local, end)) return CVNZipResultDataError;
  const uint32_t disk = header.diskNumberStart();
  const uint64_t start = header.relativeOffsetOfLocalHeader();
  // Entries that share bytes (a small archive that expands a thousandfold) are damaged.
  if (_spans.overlaps(disk, start, end)) return CVNZipResultDataError;
  if (_isDebug) {
    header.dump();
    local.dump();
  }

  std::string made;
  CVNZipResult result = CVNZipResultSucceeded;
  if (isFolder && _parentFolders.erase(outputPath)) {
    // Made for the entries inside it, which came first: this is that folder.
    made = outputPath;
  } else {
    std::unique_ptr<RVFileHandle> output;
    try {
      // Entries come folder by folder: the parent of the last one is there already.
      std::string parent = RVPathDeletingLastComponent(outputPath);
      if (parent != _existingParent) {
        std::vector<std::string> parents;
        RVMakeDirectoryPath(parent, &parents);
        _parentFolders.insert(parents.begin(), parents.end());
        _existingParent = std::move(parent);
      }
      if (isFolder) {
        RVCreateUniqueDirectory(outputPath, &made, &_freeNames);
      } else {
        output = std::make_unique<RVFileHandle>(RVCreateUniqueFile(outputPath, &made, &_freeNames),
                                                true);
      }
    } catch (const RVException& e) {
      // A file where a folder should be: only a damaged archive asks for that.
      if (!RVIsFileSystemError(e, ENOTDIR)) throw;
      result = CVNZipResultDataError;
    }
    if (output) {
      try {
        CVNZipFileData codec;
        codec.setPasswordTrusted(_passwordTrusted);
        result =
            codec.decompressFileDataWithIOHandle(*_extractionHandle, header, _password,
                                                 _inputBuffer, _outputBuffer, *output, _operation);
        output->close();
      } catch (...) {
        output.reset();
        ::unlink(made.c_str());
        _freeNames.stepBack(outputPath, false);
        throw;
      }
    }
  }

  if (result == CVNZipResultSucceeded || result == CVNZipResultVerificationFailed) {
    // Linux keeps no settable creation date; the modification date is what survives.
    if (header.modificationEpoch() != -1) setModificationDate(made, header.modificationEpoch());
  } else if (!made.empty()) {
    // What failed goes, and its name is free again for the next try of the entry.
    if (isFolder) {
      ::rmdir(made.c_str());
    } else {
      ::unlink(made.c_str());
    }
    _freeNames.stepBack(outputPath, isFolder);
  }
  // A wrong or missing password leaves nothing: the same entry comes again.
  if (result != CVNZipResultPasswordRequired) _spans.record(disk, start, end);
  return result;
}
