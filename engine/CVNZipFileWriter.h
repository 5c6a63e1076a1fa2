// Writes one Zip archive for Windows into a new file: entries one by one (local
// header, data, local header rewritten with the final sizes), the central
// records spooled to an unlinked temporary file until closeFile.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CVNZipResult.h"

class CVNEngineJob;
class CVNPathComponentEncoder;
class CVNZipFileHandle;
class RVBufferedWriteHandle;

class CVNZipFileWriter {
 public:
  // Creates the archive under a free name (`path`, else "name 2.zip", ...) and
  // the spool of central records. Raises on file-system failure, leaving no
  // archive behind. Only a `splitSize` of 0 (one file) is supported.
  explicit CVNZipFileWriter(const std::string& path, uint64_t splitSize = 0);
  ~CVNZipFileWriter();

  // The archive actually created.
  const std::string& path() const { return _path; }

  // The job asked for cancellation and credited with progress; not owned, may be null.
  CVNEngineJob* operation() const { return _operation; }
  void setOperation(CVNEngineJob* operation) { _operation = operation; }
  // Only its encoding is used, for the bytes of entry names; null means UTF-8.
  const std::shared_ptr<const CVNPathComponentEncoder>& encoder() const { return _encoder; }
  void setEncoder(std::shared_ptr<const CVNPathComponentEncoder> encoder) {
    _encoder = std::move(encoder);
  }
  // Bytes already in the archive's code page; any value encrypts every entry.
  const std::optional<std::vector<uint8_t>>& password() const { return _password; }
  void setPassword(std::optional<std::vector<uint8_t>> password) {
    _password = std::move(password);
  }
  // At most 65,535 bytes; none writes an empty comment.
  const std::optional<std::vector<uint8_t>>& zipFileComment() const { return _zipFileComment; }
  void setZipFileComment(std::optional<std::vector<uint8_t>> comment) {
    _zipFileComment = std::move(comment);
  }
  bool writesArchiveAttribute() const { return _writesArchiveAttribute; }
  uint64_t totalCentralDirectoryCount() const { return _totalCentralDirectoryCount; }

  // Adds the file or folder at `path` (links followed) as the entry `name`, a
  // relative "/"-separated path whose pieces are already legal for Windows.
  // `compressionLevel`: -1 standard, 0 stored, 1 fastest, 9 smallest.
  // Returns 0, 2 when the source does not exist (nothing written), or the
  // codec's failure after the entry was cut off again. Raises on file-system
  // failure, cancellation, a full disk, out of memory, or a name the encoding
  // cannot represent; the archive then ends after the last complete entry.
  CVNZipResult writeFileName(std::u16string_view name, const std::string& path,
                             int compressionLevel);
  // Appends the central directory, the Zip64 end records when something does
  // not fit the classic fields, and the end record. Raises on cancellation and
  // file-system failure; the caller removes the incomplete archive.
  void closeFile();

 private:
  std::vector<uint8_t> encodedEntryName(std::u16string_view name, bool isFolder) const;

  std::string _path;
  CVNEngineJob* _operation = nullptr;
  std::shared_ptr<const CVNPathComponentEncoder> _encoder;
  std::optional<std::vector<uint8_t>> _password;
  std::optional<std::vector<uint8_t>> _zipFileComment;
  bool _writesArchiveAttribute = true;
  std::vector<uint8_t> _inputBuffer;
  std::vector<uint8_t> _outputBuffer;
  // The archive's part handle, owned by _zipHandle, which buffers its writes.
  CVNZipFileHandle* _zipPart = nullptr;
  std::unique_ptr<RVBufferedWriteHandle> _zipHandle;
  std::unique_ptr<RVBufferedWriteHandle> _centralDirectoryHandle;
  uint64_t _totalCentralDirectoryCountOnThisDisk = 0;
  uint64_t _totalCentralDirectoryCount = 0;
};
