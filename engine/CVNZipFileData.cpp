#include "engine/CVNZipFileData.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "engine/CVNDeflateWorkerPool.h"
#include "engine/CVNEngineJob.h"
#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipDecryptor.h"
#include "engine/CVNZipEncryptor.h"
#include "engine/io/RVCRC32.h"
#include "engine/io/RVException.h"
#include "engine/io/RVIOHandle.h"

namespace {

constexpr uint16_t kEncryptedFlag = 0x0001;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint64_t kEncryptionHeaderLength = 12;

// zlib counts in 32 bits; a larger caller buffer is used in pieces of this size.
constexpr uint64_t kZlibChunkLimit = uint64_t{1} << 30;

uInt zlibChunk(const std::vector<uint8_t>& buffer) {
  return static_cast<uInt>(std::min<uint64_t>(buffer.size(), kZlibChunkLimit));
}

// Only a programming error leaves a zlib stream inconsistent.
[[noreturn]] void raiseStreamError(const char* operation) {
  throw RVException(RVInternalInconsistencyException,
                    std::string("zlib stream error in ") + operation);
}

int zlibLevel(int compressionLevel) {
  switch (compressionLevel) {
    case 0:
    case 1:
    case 9:
      return compressionLevel;
    default:
      return Z_DEFAULT_COMPRESSION;
  }
}

// zlib asks for the same few blocks (window, hash chains, pending output) for
// every stream. Handing them back to malloc after each entry lets it return the
// memory to the system, and the next entry pays the page faults again: for many
// small files that cost more than compressing them. So each thread keeps the
// blocks of its last streams and gives them out again by size.
class ZlibBlockCache {
 public:
  ZlibBlockCache() = default;
  ZlibBlockCache(const ZlibBlockCache&) = delete;
  ZlibBlockCache& operator=(const ZlibBlockCache&) = delete;
  ~ZlibBlockCache() {
    for (size_t i = 0; i < _count; ++i) std::free(_blocks[i]);
  }

  void* allocate(size_t size) {
    for (size_t i = 0; i < _count; ++i) {
      if (sizeOf(_blocks[i]) == size) {
        void* block = _blocks[i];
        _blocks[i] = _blocks[--_count];
        return payload(block);
      }
    }
    if (size > SIZE_MAX - kHeader) return nullptr;
    void* block = std::malloc(size + kHeader);
    if (!block) return nullptr;
    *static_cast<size_t*>(block) = size;
    return payload(block);
  }

  void release(void* address) {
    if (!address) return;
    void* block = static_cast<uint8_t*>(address) - kHeader;
    if (_count < _blocks.size()) {
      _blocks[_count++] = block;
    } else {
      std::free(block);
    }
  }

 private:
  // Keeps the payload as aligned as malloc's own.
  static constexpr size_t kHeader = alignof(std::max_align_t);
  static size_t sizeOf(void* block) { return *static_cast<size_t*>(block); }
  static void* payload(void* block) { return static_cast<uint8_t*>(block) + kHeader; }

  std::array<void*, 16> _blocks{};
  size_t _count = 0;
};

thread_local ZlibBlockCache zlibBlocks;

voidpf zlibAllocate(voidpf, uInt items, uInt size) {
  if (size != 0 && items > SIZE_MAX / size) return Z_NULL;
  return zlibBlocks.allocate(size_t{items} * size);
}

void zlibFree(voidpf, voidpf address) { zlibBlocks.release(address); }

z_stream newStream() {
  z_stream stream{};
  stream.zalloc = zlibAllocate;
  stream.zfree = zlibFree;
  return stream;
}

// A raw zlib stream, ended on every way out. A failed initialisation raises
// from the constructor, so a stream that exists is always open until end().
template <int (*End)(z_streamp)>
class ZlibStream {
 public:
  ZlibStream(const ZlibStream&) = delete;
  ZlibStream& operator=(const ZlibStream&) = delete;
  ~ZlibStream() {
    if (_open) End(&_stream);
  }

  z_stream& stream() { return _stream; }
  // Ends the stream after its last output, reporting an inconsistent state.
  void end() {
    _open = false;
    if (End(&_stream) == Z_STREAM_ERROR) raiseStreamError(_endName);
  }

 protected:
  explicit ZlibStream(const char* endName) : _endName(endName) {}
  void initialised(int result, const char* call) {
    if (result == Z_MEM_ERROR) RVRaiseOutOfMemory();
    if (result != Z_OK) raiseStreamError(call);
  }
  z_stream _stream = newStream();

 private:
  const char* _endName;
  bool _open = true;
};

class DeflateStream : public ZlibStream<deflateEnd> {
 public:
  explicit DeflateStream(int level) : ZlibStream("deflateEnd") {
    initialised(deflateInit2(&_stream, level, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY),
                "deflateInit2");
  }
};

class InflateStream : public ZlibStream<inflateEnd> {
 public:
  InflateStream() : ZlibStream("inflateEnd") {
    initialised(inflateInit2(&_stream, -MAX_WBITS), "inflateInit2");
  }
};

// One block of a large entry, on a worker: a raw deflate stream of its own,
// primed with the bytes before the block, so that matches reach back across
// the seam as in one stream. A sync flush ends it on a byte boundary with the
// stream still open, so the next block's piece follows it as if one deflater
// had gone on; the last block ends the stream.
void deflateBlock(CVNDeflateWorkerPool::Block& block) {
  DeflateStream deflater(block.level);
  z_stream& z = deflater.stream();
  if (block.dictionaryLength > 0 &&
      deflateSetDictionary(&z, block.data() - block.dictionaryLength,
                           static_cast<uInt>(block.dictionaryLength)) != Z_OK) {
    raiseStreamError("deflateSetDictionary");
  }
  z.next_in = block.data();
  z.avail_in = static_cast<uInt>(block.length);
  z.next_out = block.output();
  z.avail_out = static_cast<uInt>(block.outputCapacity());
  int r = deflate(&z, block.last ? Z_FINISH : Z_SYNC_FLUSH);
  if (r == Z_STREAM_ERROR) raiseStreamError("deflate");
  // The output has room for the worst case: one call takes everything.
  const bool complete =
      block.last ? r == Z_STREAM_END : r == Z_OK && z.avail_in == 0 && z.avail_out > 0;
  if (!complete) raiseStreamError("deflate");
  block.outputLength = block.outputCapacity() - z.avail_out;
  deflater.end();
}

// Whether the entry whose first `n` bytes were just read from `source` has at
// least `threshold` bytes. A read that came back short was the last.
bool reachesThreshold(RVIOHandle& source, uint64_t n, bool filledBuffer, uint64_t threshold) {
  if (n >= threshold) return true;
  if (!filledBuffer) return false;
  uint64_t position;
  try {
    position = source.offset();
  } catch (const RVException&) {
    return false;  // a pipe: no length to ask for, read it as it comes
  }
  const uint64_t end = source.seekToEnd();
  source.seekToOffset(position);
  return end > position && end - position >= threshold - n;
}

}  // namespace

uint32_t CVNZipFileData::calculateCRC32WithIOHandle(RVIOHandle& source,
                                                    std::vector<uint8_t>& buffer,
                                                    CVNEngineJob* job) {
  RVParameterAssert(!buffer.empty());
  uint32_t crc = RVCRC32Init();
  for (;;) {
    CVNRaiseIfCancelled(job);
    uint64_t n = source.readBytesMaxLength(buffer.data(), buffer.size());
    if (n == 0) break;
    crc = RVCRC32Update(crc, buffer.data(), static_cast<int64_t>(n));
  }
  source.seekToOffset(0);
  return RVCRC32Final(crc);
}

CVNZipResult CVNZipFileData::compressFileDataWithIOHandle(
    RVIOHandle& archive, int compressionLevel, CVNZipCentralFileHeader& header,
    const std::optional<std::vector<uint8_t>>& password, std::vector<uint8_t>& inputBuffer,
    std::vector<uint8_t>& outputBuffer, RVIOHandle* source, CVNEngineJob* job) {
  uint32_t crc = RVCRC32Init();
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint32_t* crcAccumulator = &crc;
  std::optional<CVNZipEncryptor> encryptor;

  if (header.generalPurposeBitFlag() & kEncryptedFlag) {
    RVParameterAssert(password.has_value());
    // The header's check byte needs the CRC before any data is written.
    crc = source ? calculateCRC32WithIOHandle(*source, inputBuffer, job) : 0;
    encryptor.emplace(*password);
    std::vector<uint8_t> encryptionHeader = encryptor->encryptionHeaderWithCRC32(crc);
    archive.writeBytesLength(encryptionHeader.data(), encryptionHeader.size());
    compressedSize = kEncryptionHeaderLength;
    crcAccumulator = nullptr;
  }

  if (source) {
    CVNZipEncryptor* e = encryptor ? &*encryptor : nullptr;
    switch (header.compressionMethod()) {
      case kMethodDeflated:
        _deflateFileDataWithIOHandle(archive, zlibLevel(compressionLevel), e, inputBuffer,
                                     outputBuffer, *source, job, crcAccumulator, compressedSize,
                                     uncompressedSize);
        break;
      case kMethodStored:
        _storeFileDataWithIOHandle(archive, e, inputBuffer, *source, job, crcAccumulator,
                                   compressedSize, uncompressedSize);
        break;
      default:
        return CVNZipResultUnsupportedCompressionMethod;
    }
  }

  if (crcAccumulator) crc = RVCRC32Final(crc);
  header.setCrc32(crc);
  header.setCompressedSize(compressedSize);
  header.setUncompressedSize(uncompressedSize);
  return CVNZipResultSucceeded;
}

void CVNZipFileData::_storeFileDataWithIOHandle(RVIOHandle& archive, CVNZipEncryptor* encryptor,
                                                std::vector<uint8_t>& buffer, RVIOHandle& source,
                                                CVNEngineJob* job, uint32_t* actualCRC32,
                                                uint64_t& actualCompressedSize,
                                                uint64_t& actualUncompressedSize) {
  RVParameterAssert(!buffer.empty());
  for (;;) {
    CVNRaiseIfCancelled(job);
    uint64_t n = source.readBytesMaxLength(buffer.data(), buffer.size());
    if (n == 0) break;
    CVNIncreaseProgress(job, n);
    actualUncompressedSize += n;
    if (actualCRC32) *actualCRC32 = RVCRC32Update(*actualCRC32, buffer.data(), int64_t(n));
    actualCompressedSize += n;
    if (encryptor) encryptor->encryptBytes(buffer.data(), int64_t(n));
    archive.writeBytesLength(buffer.data(), n);
  }
}

void CVNZipFileData::_deflateFileDataWithIOHandle(
    RVIOHandle& archive, int level, CVNZipEncryptor* encryptor, std::vector<uint8_t>& inputBuffer,
    std::vector<uint8_t>& outputBuffer, RVIOHandle& source, CVNEngineJob* job,
    uint32_t* actualCRC32, uint64_t& actualCompressedSize, uint64_t& actualUncompressedSize) {
  RVParameterAssert(!inputBuffer.empty() && !outputBuffer.empty());
  const uInt inputLength = zlibChunk(inputBuffer);
  const uInt outputLength = zlibChunk(outputBuffer);
  CVNRaiseIfCancelled(job);
  uint64_t n = source.readBytesMaxLength(inputBuffer.data(), inputLength);
  if (reachesThreshold(source, n, n == inputLength, kParallelDeflateThreshold)) {
    _deflateBlocksWithIOHandle(archive, level, encryptor, {inputBuffer.data(), n}, source, job,
                               actualCRC32, actualCompressedSize, actualUncompressedSize);
    return;
  }

  DeflateStream deflater(level);
  z_stream& z = deflater.stream();
  int flush = Z_NO_FLUSH;
  bool haveRead = true;  // the first buffer, above
  while (flush != Z_FINISH) {
    if (!haveRead) {
      CVNRaiseIfCancelled(job);
      n = source.readBytesMaxLength(inputBuffer.data(), inputLength);
    }
    haveRead = false;
    if (n == 0) flush = Z_FINISH;
    CVNIncreaseProgress(job, n);
    actualUncompressedSize += n;
    if (actualCRC32) *actualCRC32 = RVCRC32Update(*actualCRC32, inputBuffer.data(), int64_t(n));
    z.next_in = inputBuffer.data();
    z.avail_in = static_cast<uInt>(n);

    int r;
    do {
      CVNRaiseIfCancelled(job);
      z.next_out = outputBuffer.data();
      z.avail_out = outputLength;
      r = deflate(&z, flush);
      if (r == Z_STREAM_ERROR) raiseStreamError("deflate");
      uint64_t produced = outputLength - z.avail_out;
      actualCompressedSize += produced;
      if (encryptor) encryptor->encryptBytes(outputBuffer.data(), int64_t(produced));
      archive.writeBytesLength(outputBuffer.data(), produced);
    } while (z.avail_out == 0);
    // Room left in the output means zlib took all input, and with Z_FINISH
    // that it wrote the end of the stream.
    if (flush == Z_FINISH && r != Z_STREAM_END) raiseStreamError("deflate");
  }
  deflater.end();
}

void CVNZipFileData::_deflateBlocksWithIOHandle(RVIOHandle& archive, int level,
                                                CVNZipEncryptor* encryptor,
                                                std::span<const uint8_t> prefix, RVIOHandle& source,
                                                CVNEngineJob* job, uint32_t* actualCRC32,
                                                uint64_t& actualCompressedSize,
                                                uint64_t& actualUncompressedSize) {
  using Block = CVNDeflateWorkerPool::Block;
  constexpr size_t kWindow = CVNDeflateWorkerPool::kWindowSize;
  CVNDeflateWorkerPool& pool = CVNDeflateWorkerPool::shared();
  const size_t blockSize = pool.blockSize();
  const size_t maxInFlight = pool.blockCount();
  // In the order of the data: compressing, done, or being filled (the last).
  std::deque<Block*> inFlight;
  // The end of the block read last, the next block's dictionary.
  std::vector<uint8_t> window(kWindow);
  size_t windowLength = 0;
  bool ended = false;
  bool endsOnBlockBoundary = false;

  auto writeOldest = [&] {
    Block* block = inFlight.front();
    pool.wait(block);
    if (block->error) std::rethrow_exception(block->error);
    CVNRaiseIfCancelled(job);
    if (encryptor) encryptor->encryptBytes(block->output(), int64_t(block->outputLength));
    archive.writeBytesLength(block->output(), block->outputLength);
    actualCompressedSize += block->outputLength;
    CVNIncreaseProgress(job, block->length);
    inFlight.pop_front();
    pool.release(block);
  };

  try {
    while (!ended || !inFlight.empty()) {
      CVNRaiseIfCancelled(job);
      // Finished pieces go out first, so writing overlaps compressing.
      while (!inFlight.empty() && pool.isDone(inFlight.front())) writeOldest();
      Block* block = nullptr;
      if (!ended && inFlight.size() < maxInFlight) {
        block = pool.tryAcquire();
        // Holding nothing, wait for another job's block; asking again for the
        // cancellation now and then.
        if (!block && inFlight.empty()) block = pool.acquire(std::chrono::milliseconds(50));
      }
      if (!block) {
        if (!inFlight.empty()) writeOldest();
        continue;
      }
      inFlight.push_back(block);

      size_t n = std::min(prefix.size(), blockSize);
      std::memcpy(block->data(), prefix.data(), n);
      prefix = prefix.subspan(n);
      while (n < blockSize && prefix.empty()) {
        uint64_t got = source.readBytesMaxLength(block->data() + n, blockSize - n);
        if (got == 0) {
          ended = true;
          break;
        }
        n += got;
      }
      if (n == 0) {
        // The block before ended the data but was flushed as if more followed.
        inFlight.pop_back();
        pool.release(block);
        endsOnBlockBoundary = true;
        continue;
      }
      actualUncompressedSize += n;
      if (actualCRC32) *actualCRC32 = RVCRC32Update(*actualCRC32, block->data(), int64_t(n));
      std::memcpy(block->data() - windowLength, window.data(), windowLength);
      block->dictionaryLength = windowLength;
      block->length = n;
      block->last = ended;
      block->level = level;
      windowLength = std::min(n, kWindow);
      std::memcpy(window.data(), block->data() + n - windowLength, windowLength);
      pool.submit(block, deflateBlock);
    }
    if (endsOnBlockBoundary) {
      // An empty final block with fixed codes: what deflate makes of no input.
      uint8_t end[] = {0x03, 0x00};
      if (encryptor) encryptor->encryptBytes(end, sizeof end);
      archive.writeBytesLength(end, sizeof end);
      actualCompressedSize += sizeof end;
    }
  } catch (...) {
    // No worker may touch a block once it is back in the pool.
    for (Block* block : inFlight) {
      pool.withdraw(block);
      pool.release(block);
    }
    throw;
  }
}

CVNZipResult CVNZipFileData::decompressFileDataWithIOHandle(
    RVIOHandle& archive, const CVNZipCentralFileHeader& header,
    const std::optional<std::vector<uint8_t>>& password, std::vector<uint8_t>& inputBuffer,
    std::vector<uint8_t>& outputBuffer, RVIOHandle& output, CVNEngineJob* job) {
  uint64_t dataLength = header.compressedSize();
  const bool encrypted = header.generalPurposeBitFlag() & kEncryptedFlag;
  std::optional<CVNZipDecryptor> decryptor;
  if (encrypted) {
    // Too short for its own encryption header: damaged whatever the password.
    if (dataLength < kEncryptionHeaderLength) return CVNZipResultDataError;
    if (!password) return CVNZipResultPasswordRequired;
    std::array<uint8_t, kEncryptionHeaderLength> encryptionHeader;
    archive.readBytesLength(encryptionHeader.data(), encryptionHeader.size());
    decryptor.emplace(*password, encryptionHeader);
    dataLength -= kEncryptionHeaderLength;
  }
  CVNZipDecryptor* d = decryptor ? &*decryptor : nullptr;

  switch (header.compressionMethod()) {
    case kMethodDeflated: {
      CVNZipResult r = _inflateFileDataWithIOHandle(archive, header.crc32(), dataLength,
                                                    header.uncompressedSize(), d, inputBuffer,
                                                    outputBuffer, output, job);
      // A wrong password turns the data into garbage that fails to inflate or,
      // often enough, inflates to a whole stream that fails the sizes or the
      // CRC. Either way the next password must be tried, and the garbage not kept.
      const bool wrongPassword = r == CVNZipResultDataError || r == CVNZipResultVerificationFailed;
      return (wrongPassword && encrypted && !_passwordTrusted) ? CVNZipResultPasswordRequired : r;
    }
    case kMethodStored: {
      CVNZipResult r =
          _restoreFileDataWithIOHandle(archive, header.crc32(), dataLength,
                                       header.uncompressedSize(), d, inputBuffer, output, job);
      // A wrong password shows only in the CRC.
      const bool wrongPassword = r == CVNZipResultVerificationFailed;
      return (wrongPassword && encrypted && !_passwordTrusted) ? CVNZipResultPasswordRequired : r;
    }
    default:
      return CVNZipResultUnsupportedCompressionMethod;
  }
}

CVNZipResult CVNZipFileData::_restoreFileDataWithIOHandle(RVIOHandle& archive, uint32_t crc32,
                                                          uint64_t compressedSize,
                                                          uint64_t uncompressedSize,
                                                          CVNZipDecryptor* decryptor,
                                                          std::vector<uint8_t>& buffer,
                                                          RVIOHandle& output, CVNEngineJob* job) {
  RVParameterAssert(!buffer.empty());
  uint32_t crc = RVCRC32Init();
  uint64_t read = 0;
  uint64_t written = 0;
  while (read < compressedSize) {
    CVNRaiseIfCancelled(job);
    uint64_t n = archive.readBytesMaxLength(
        buffer.data(), std::min<uint64_t>(compressedSize - read, buffer.size()));
    if (n == 0) return CVNZipResultDataError;
    if (decryptor) decryptor->decryptBytes(buffer.data(), int64_t(n));
    read += n;
    CVNIncreaseProgress(job, n);
    written += n;
    crc = RVCRC32Update(crc, buffer.data(), int64_t(n));
    output.writeBytesLength(buffer.data(), n);
  }
  bool verified =
      written == uncompressedSize && read == compressedSize && RVCRC32Final(crc) == crc32;
  return verified ? CVNZipResultSucceeded : CVNZipResultVerificationFailed;
}

CVNZipResult CVNZipFileData::_inflateFileDataWithIOHandle(
    RVIOHandle& archive, uint32_t crc32, uint64_t compressedSize, uint64_t uncompressedSize,
    CVNZipDecryptor* decryptor, std::vector<uint8_t>& inputBuffer,
    std::vector<uint8_t>& outputBuffer, RVIOHandle& output, CVNEngineJob* job) {
  RVParameterAssert(!inputBuffer.empty() && !outputBuffer.empty());
  const uInt inputLength = zlibChunk(inputBuffer);
  const uInt outputLength = zlibChunk(outputBuffer);
  InflateStream inflater;
  z_stream& z = inflater.stream();
  uint64_t consumed = 0;
  uint64_t produced = 0;
  uint32_t crc = RVCRC32Init();
  for (;;) {
    CVNRaiseIfCancelled(job);
    // No more than the entry claims to hold while it claims more: a small entry
    // then costs a small read. A stream that runs on past its size is read in
    // whole buffers, and any surplus is given back below.
    uint64_t wanted = consumed < compressedSize
                          ? std::min<uint64_t>(inputLength, compressedSize - consumed)
                          : inputLength;
    uint64_t n = archive.readBytesMaxLength(inputBuffer.data(), wanted);
    if (n == 0) return CVNZipResultDataError;
    consumed += n;
    if (decryptor) decryptor->decryptBytes(inputBuffer.data(), int64_t(n));
    z.next_in = inputBuffer.data();
    z.avail_in = static_cast<uInt>(n);

    int r;
    do {
      CVNRaiseIfCancelled(job);
      z.next_out = outputBuffer.data();
      z.avail_out = outputLength;
      r = inflate(&z, Z_NO_FLUSH);
      switch (r) {
        case Z_MEM_ERROR:
          RVRaiseOutOfMemory();
        case Z_STREAM_ERROR:
          raiseStreamError("inflate");
        case Z_DATA_ERROR:
        case Z_NEED_DICT:
          return CVNZipResultDataError;
        default:
          break;  // Z_OK, Z_STREAM_END, or Z_BUF_ERROR without progress
      }
      uint64_t out = outputLength - z.avail_out;
      CVNIncreaseProgress(job, out);
      produced += out;
      crc = RVCRC32Update(crc, outputBuffer.data(), int64_t(out));
      output.writeBytesLength(outputBuffer.data(), out);
    } while (z.avail_out == 0);

    if (r == Z_STREAM_END) {
      uint64_t unused = z.avail_in;
      if (unused > 0) archive.seekWithOffset(-static_cast<int64_t>(unused));
      consumed -= unused;
      inflater.end();
      bool verified =
          produced == uncompressedSize && consumed == compressedSize && RVCRC32Final(crc) == crc32;
      return verified ? CVNZipResultSucceeded : CVNZipResultVerificationFailed;
    }
  }
}
