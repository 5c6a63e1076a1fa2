// Moves the data of one Zip entry between a plain file and the archive: stored
// or raw deflate, optionally under the traditional encryption, with CRC-32 and
// sizes checked against the central file header on the way back. All data goes
// through the caller's two buffers; the job is polled before every buffer.
//
// Every call may raise RVOperationCancelledException, the handles' exceptions
// and RVOutOfMemoryException; a zlib stream found inconsistent raises
// RVInternalInconsistencyException. zlib streams are ended before anything leaves.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/CVNZipResult.h"

class CVNEngineJob;
class CVNZipCentralFileHeader;
class CVNZipDecryptor;
class CVNZipEncryptor;
class RVIOHandle;

class CVNZipFileData {
 public:
  // Deflated entries of at least this many bytes are compressed in blocks on
  // every core (CVNDeflateWorkerPool); smaller ones in one stream on the
  // calling thread. Two blocks already take half the time of one stream.
  static constexpr uint64_t kParallelDeflateThreshold = uint64_t{512} << 10;

  // The CRC-32 of everything from the source's position to its end; leaves the
  // source at offset 0. Credits no progress.
  static uint32_t calculateCRC32WithIOHandle(RVIOHandle& source, std::vector<uint8_t>& buffer,
                                             CVNEngineJob* job);

  // Appends the entry's data to `archive`: the encryption header first when
  // flag bit 0 of `header` is set (then `password` is required), then the source
  // stored (method 0) or deflated (method 8) at `compressionLevel` (0, 1 and 9
  // as given, anything else zlib's default). Sets the header's crc32,
  // compressedSize (encryption header included) and uncompressedSize. A null
  // `source` is an entry without data. Returns 0, or 1 for any other method (an
  // encryption header already written stays for the caller to cut off).
  static CVNZipResult compressFileDataWithIOHandle(
      RVIOHandle& archive, int compressionLevel, CVNZipCentralFileHeader& header,
      const std::optional<std::vector<uint8_t>>& password, std::vector<uint8_t>& inputBuffer,
      std::vector<uint8_t>& outputBuffer, RVIOHandle* source, CVNEngineJob* job);

  // Writes the entry whose data starts at the archive's position into `output`
  // and checks sizes and CRC-32 against `header`. Returns 0; 1 for a method
  // other than 0 and 8; 3 for data cut short or an invalid deflate stream (also
  // for an encrypted entry too short to hold its encryption header); 4 for a
  // failed check; 5 for an encrypted entry without password, or one whose
  // password is evidently wrong (damaged data or a failed check, unless the
  // password is trusted). After a deflated entry the archive is left just after
  // the deflate stream.
  CVNZipResult decompressFileDataWithIOHandle(RVIOHandle& archive,
                                              const CVNZipCentralFileHeader& header,
                                              const std::optional<std::vector<uint8_t>>& password,
                                              std::vector<uint8_t>& inputBuffer,
                                              std::vector<uint8_t>& outputBuffer,
                                              RVIOHandle& output, CVNEngineJob* job);

  // Trusted, the password is taken as the right one: damaged data (3) and a
  // failed check (4) of an encrypted entry stand as they are instead of meaning
  // a wrong password (5). Untrusted at creation.
  bool isPasswordTrusted() const { return _passwordTrusted; }
  void setPasswordTrusted(bool trusted) { _passwordTrusted = trusted; }

 private:
  // The data passes. The last three arguments accumulate; a null CRC
  // accumulator computes no CRC.
  static void _storeFileDataWithIOHandle(RVIOHandle& archive, CVNZipEncryptor* encryptor,
                                         std::vector<uint8_t>& buffer, RVIOHandle& source,
                                         CVNEngineJob* job, uint32_t* actualCRC32,
                                         uint64_t& actualCompressedSize,
                                         uint64_t& actualUncompressedSize);
  static void _deflateFileDataWithIOHandle(
      RVIOHandle& archive, int level, CVNZipEncryptor* encryptor, std::vector<uint8_t>& inputBuffer,
      std::vector<uint8_t>& outputBuffer, RVIOHandle& source, CVNEngineJob* job,
      uint32_t* actualCRC32, uint64_t& actualCompressedSize, uint64_t& actualUncompressedSize);
  // The deflate pass of a large entry: the source in blocks, each compressed
  // by a worker of the shared pool into its own piece of one raw deflate
  // stream, the pieces written in order. `prefix` holds the first bytes, already
  // read from the source. The bytes depend only on the data, the level and the
  // pool's block size.
  static void _deflateBlocksWithIOHandle(RVIOHandle& archive, int level, CVNZipEncryptor* encryptor,
                                         std::span<const uint8_t> prefix, RVIOHandle& source,
                                         CVNEngineJob* job, uint32_t* actualCRC32,
                                         uint64_t& actualCompressedSize,
                                         uint64_t& actualUncompressedSize);

  // The reading passes over `compressedSize` bytes of data (encryption header
  // excluded); they return 0, 3 or 4.
  CVNZipResult _restoreFileDataWithIOHandle(RVIOHandle& archive, uint32_t crc32,
                                            uint64_t compressedSize, uint64_t uncompressedSize,
                                            CVNZipDecryptor* decryptor,
                                            std::vector<uint8_t>& buffer, RVIOHandle& output,
                                            CVNEngineJob* job);
  CVNZipResult _inflateFileDataWithIOHandle(RVIOHandle& archive, uint32_t crc32,
                                            uint64_t compressedSize, uint64_t uncompressedSize,
                                            CVNZipDecryptor* decryptor,
                                            std::vector<uint8_t>& inputBuffer,
                                            std::vector<uint8_t>& outputBuffer, RVIOHandle& output,
                                            CVNEngineJob* job);

  bool _passwordTrusted = false;
};
