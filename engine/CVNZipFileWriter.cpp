#include "engine/CVNZipFileWriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "engine/CVNEngineJob.h"
#include "engine/CVNPathComponentEncoder.h"
#include "engine/CVNStringEncoding.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipEndOfCentralDirectoryRecord.h"
#include "engine/CVNZipFileData.h"
#include "engine/CVNZipFileHandle.h"
#include "engine/CVNZipFileWriterInternal.h"
#include "engine/CVNZipLocalFileHeader.h"
#include "engine/CVNZipZip64EndOfCentralDirectoryLocator.h"
#include "engine/CVNZipZip64EndOfCentralDirectoryRecord.h"
#include "engine/io/RVBufferedWriteHandle.h"
#include "engine/io/RVException.h"
#include "engine/io/RVFileHandle.h"
#include "engine/io/RVFileSystem.h"

namespace {

constexpr size_t kBufferSize = 0x40000;
// Central records are about a hundred bytes each; this gathers several hundred.
constexpr size_t kSpoolBufferSize = 0x10000;
constexpr uint16_t kVersionMadeBy = 62;  // host 0 (MS-DOS), format 6.2
constexpr uint32_t kDOSDirectory = 0x10;
constexpr uint32_t kDOSArchive = 0x20;

// A source file read to its end. A read that comes back short just as the bytes
// read from the start reach the size the file's status gave is taken as the
// end, and the read after it returns 0 without a system call: for a small file
// that call costs more than the data. Any other short read, and a file that
// has grown meanwhile, still asks the system.
class SourceHandle final : public RVIOHandle {
 public:
  SourceHandle(std::unique_ptr<RVFileHandle> file, uint64_t size)
      : _file(std::move(file)), _size(size) {}

  bool hasBytesAvailable() override { return !_atEnd && _file->hasBytesAvailable(); }
  uint64_t offset() override { return _file->offset(); }
  void seekToOffset(uint64_t offset) override {
    _atEnd = false;
    _file->seekToOffset(offset);
    _position = offset;
  }
  uint64_t seekToEnd() override {
    _atEnd = false;
    _position = _file->seekToEnd();
    return _position;
  }
  void truncateAtOffset(uint64_t length) override { _file->truncateAtOffset(length); }
  uint64_t readBytesMaxLength(void* buffer, uint64_t maxLength) override {
    if (_atEnd || maxLength == 0) return 0;
    uint64_t n = _file->readBytesMaxLength(buffer, maxLength);
    _position += n;
    _atEnd = n < maxLength && _position == _size;
    return n;
  }
  uint64_t writeBytesMaxLength(const void* buffer, uint64_t length) override {
    return _file->writeBytesMaxLength(buffer, length);
  }

 private:
  std::unique_ptr<RVFileHandle> _file;
  uint64_t _size;
  uint64_t _position = 0;
  bool _atEnd = false;
};

}  // namespace

CVNZipFileWriter::CVNZipFileWriter(const std::string& path, uint64_t splitSize)
    : _inputBuffer(kBufferSize), _outputBuffer(kBufferSize) {
  // Rewriting a local header in place needs the entry and its header in one file.
  RVParameterAssert(splitSize == 0);
  // With many small entries the system calls cost more than the data: each
  // entry reaches the archive in one write, each spooled record in none.
  auto part = CVNZipFileHandle::forUniqueFileAtPath(path, splitSize);
  _zipPart = part.get();
  try {
    _path = part->path();
    _zipHandle = std::make_unique<RVBufferedWriteHandle>(std::move(part), kBufferSize);
    _centralDirectoryHandle = std::make_unique<RVBufferedWriteHandle>(
        std::make_unique<RVFileHandle>(RVCreateTemporaryFile(), true), kSpoolBufferSize);
  } catch (...) {
    // Without a writer nobody would remove the empty archive, and its name
    // would push the next try to "name 2.zip". The handles close as they go;
    // a buffered handle that failed has taken the part along already.
    ::unlink((part ? part->path() : _path).c_str());
    throw;
  }
}

CVNZipFileWriter::~CVNZipFileWriter() = default;

std::vector<uint8_t> CVNZipFileWriter::encodedEntryName(std::u16string_view name,
                                                        bool isFolder) const {
  std::u16string joined;
  size_t i = 0;
  while (i <= name.size()) {
    size_t j = std::min(name.find(u'/', i), name.size());
    if (j > i) {
      if (!joined.empty()) joined += u'/';
      joined.append(name.substr(i, j - i));
    }
    i = j + 1;
  }
  if (isFolder) joined += u'/';
  CVNStringEncoding encoding = _encoder ? _encoder->encoding() : CVNStringEncoding::UTF8;
  std::optional<std::vector<uint8_t>> bytes = CVNEncodeString(joined, encoding);
  // The job only hands over names its encoder made representable.
  if (!bytes) {
    throw RVException(RVInvalidArgumentException,
                      std::string("entry name not representable in the archive's code page"));
  }
  return *bytes;
}

CVNZipResult CVNZipFileWriter::writeFileName(std::u16string_view name, const std::string& path,
                                             int compressionLevel) {
  struct stat st;
  if (::stat(path.c_str(), &st) < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return CVNZipResultSourceMissing;
    RVRaiseFileSystemError();
  }
  const bool isFolder = S_ISDIR(st.st_mode);
  std::vector<uint8_t> entryName = encodedEntryName(name, isFolder);
  const uint16_t method = isFolder || compressionLevel == 0 ? 0 : 8;
  const uint64_t diskIndex = _zipPart->currentDiskIndex();
  const uint64_t headerOffset = _zipHandle->offset();

  std::unique_ptr<RVIOHandle> source;
  if (S_ISREG(st.st_mode)) {
    source = std::make_unique<SourceHandle>(RVFileHandle::forReadingAtPath(path),
                                            static_cast<uint64_t>(st.st_size));
  } else if (!isFolder) {
    source = RVFileHandle::forReadingAtPath(path);
  }

  try {
    // The status taken above gives the entry's times: one system call less per
    // entry counts when there are many small ones.
    CVNZipCentralFileHeader central;
    central.setVersionMadeBy(kVersionMadeBy);
    central.setGeneralPurposeBitFlag(_password ? 1 : 0);
    central.setCompressionMethod(method);
    central.setDiskNumberStart(static_cast<uint32_t>(diskIndex));
    central.setInternalFileAttributes(0);
    central.setExternalFileAttributes(isFolder                  ? kDOSDirectory
                                      : _writesArchiveAttribute ? kDOSArchive
                                                                : 0);
    central.setRelativeOffsetOfLocalHeader(headerOffset);
    central.setFileName(entryName);
    central.setFileComment(std::vector<uint8_t>{});
    central.setModificationEpoch(st.st_mtim.tv_sec);

    CVNZipLocalFileHeader local;
    local.setGeneralPurposeBitFlag(central.generalPurposeBitFlag());
    local.setCompressionMethod(method);
    local.setCrc32(0);
    local.setCompressedSize(0);
    local.setUncompressedSize(0);
    local.setFileName(std::move(entryName));
    local.setModificationEpoch(central.modificationEpoch());
    local.setAccessEpoch(st.st_atim.tv_sec);
    local.setCreationEpoch(-1);

    std::vector<uint8_t> firstHeader = local.data();
    _zipHandle->writeData(firstHeader);

    CVNZipResult result = CVNZipFileData::compressFileDataWithIOHandle(
        *_zipHandle, compressionLevel, central, _password, _inputBuffer, _outputBuffer,
        source.get(), _operation);
    if (result != CVNZipResultSucceeded) {
      source.reset();
      _zipHandle->seekToOffset(headerOffset);
      _zipHandle->truncateAtOffset(headerOffset);
      return result;
    }

    local.setCrc32(central.crc32());
    local.setCompressedSize(central.compressedSize());
    local.setUncompressedSize(central.uncompressedSize());
    std::vector<uint8_t> finalHeader = local.data();

    uint64_t entryEnd;
    if (finalHeader.size() == firstHeader.size()) {
      entryEnd = _zipHandle->offset();
    } else {
      CVNZipMoveDataTowardsEnd(*_zipHandle, headerOffset + firstHeader.size(),
                               headerOffset + finalHeader.size(), central.compressedSize(),
                               _inputBuffer);
      entryEnd = headerOffset + finalHeader.size() + central.compressedSize();
    }
    _zipHandle->seekToOffset(headerOffset);
    _zipHandle->writeData(finalHeader);
    _zipHandle->seekToOffset(entryEnd);
    // The entry is in the file before its record is spooled.
    _zipHandle->flush();

    central.saveWithIOHandle(*_centralDirectoryHandle);
  } catch (...) {
    source.reset();
    // A failure here replaces the first one: the archive's state is what matters.
    _zipHandle->seekToOffset(headerOffset);
    _zipHandle->truncateAtOffset(headerOffset);
    throw;
  }
  ++_totalCentralDirectoryCountOnThisDisk;
  ++_totalCentralDirectoryCount;
  return CVNZipResultSucceeded;
}

void CVNZipMoveDataTowardsEnd(RVIOHandle& handle, uint64_t from, uint64_t to, uint64_t length,
                              std::span<uint8_t> buffer) {
  RVParameterAssert(to >= from && !buffer.empty());
  uint64_t remaining = length;
  while (remaining > 0) {
    uint64_t n = std::min<uint64_t>(remaining, buffer.size());
    remaining -= n;
    handle.seekToOffset(from + remaining);
    handle.readBytesLength(buffer.data(), n);
    handle.seekToOffset(to + remaining);
    handle.writeBytesLength(buffer.data(), n);
  }
}

void CVNZipFileWriter::closeFile() {
  const uint64_t directoryDisk = _zipPart->currentDiskIndex();
  const uint64_t directoryOffset = _zipHandle->offset();
  uint64_t directorySize = 0;

  _centralDirectoryHandle->seekToOffset(0);
  for (;;) {
    CVNRaiseIfCancelled(_operation);
    uint64_t n =
        _centralDirectoryHandle->readBytesMaxLength(_inputBuffer.data(), _inputBuffer.size());
    if (n == 0) break;
    _zipHandle->writeBytesLength(_inputBuffer.data(), n);
    directorySize += n;
  }
  _centralDirectoryHandle->truncateAtOffset(0);

  const uint64_t lastDisk = _zipPart->currentDiskIndex();
  const bool zip64 =
      static_cast<uint32_t>(lastDisk) >= 0xFFFF || static_cast<uint32_t>(directoryDisk) >= 0xFFFF ||
      _totalCentralDirectoryCountOnThisDisk >= 0xFFFF || _totalCentralDirectoryCount >= 0xFFFF ||
      directorySize >= 0xFFFFFFFF || directoryOffset >= 0xFFFFFFFF;
  if (zip64) {
    const uint64_t zip64Offset = _zipHandle->offset();
    CVNZipZip64EndOfCentralDirectoryRecord record;
    record.setVersionMadeBy(kVersionMadeBy);
    record.setVersionNeededToExtract(45);
    record.setNumberOfThisDisk(static_cast<uint32_t>(lastDisk));
    record.setNumberOfTheDiskWithTheStartOfTheCentralDirectory(
        static_cast<uint32_t>(directoryDisk));
    record.setTotalNumberOfEntriesInTheCentralDirectoryOnThisDisk(
        _totalCentralDirectoryCountOnThisDisk);
    record.setTotalNumberOfEntriesInTheCentralDirectory(_totalCentralDirectoryCount);
    record.setSizeOfTheCentralDirectory(directorySize);
    record.setOffsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber(directoryOffset);
    record.setZip64ExtensibleDataSector(std::vector<uint8_t>{});
    record.saveWithIOHandle(*_zipHandle);

    CVNZipZip64EndOfCentralDirectoryLocator locator;
    locator.setNumberOfTheDiskWithTheStartOfTheZip64EndOfCentralDirectory(
        static_cast<uint32_t>(lastDisk));
    locator.setRelativeOffsetOfTheZip64EndOfCentralDirectoryRecord(zip64Offset);
    locator.setTotalNumberOfDisks(static_cast<uint32_t>(lastDisk + 1));
    locator.saveWithIOHandle(*_zipHandle);
  }

  CVNZipEndOfCentralDirectoryRecord end;
  end.setNumberOfThisDisk(static_cast<uint16_t>(std::min<uint64_t>(lastDisk, 0xFFFF)));
  end.setNumberOfTheDiskWithTheStartOfTheCentralDirectory(
      static_cast<uint16_t>(std::min<uint64_t>(directoryDisk, 0xFFFF)));
  end.setTotalNumberOfEntriesInTheCentralDirectoryOnThisDisk(
      static_cast<uint16_t>(std::min<uint64_t>(_totalCentralDirectoryCountOnThisDisk, 0xFFFF)));
  end.setTotalNumberOfEntriesInTheCentralDirectory(
      static_cast<uint16_t>(std::min<uint64_t>(_totalCentralDirectoryCount, 0xFFFF)));
  end.setSizeOfTheCentralDirectory(
      static_cast<uint32_t>(std::min<uint64_t>(directorySize, 0xFFFFFFFF)));
  end.setOffsetOfStartOfCentralDirectoryWithRespectToTheStartingDiskNumber(
      static_cast<uint32_t>(std::min<uint64_t>(directoryOffset, 0xFFFFFFFF)));
  end.setZipFileComment(_zipFileComment);
  end.saveWithIOHandle(*_zipHandle);
  _zipHandle->flush();
}
