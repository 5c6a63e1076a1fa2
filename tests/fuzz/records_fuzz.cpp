// fuzz-seconds: 30
// Arbitrary bytes through the loads of the Zip records. The first byte picks
// the load and how many bytes each read of the handle delivers; the rest is the
// stream. Only RVException may leave a load. What loads must save and load
// again to the same values, and the end records must save to the very bytes
// they were loaded from.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "engine/CVNZipCentralFileHeader.h"
#include "engine/CVNZipEndOfCentralDirectoryRecord.h"
#include "engine/CVNZipLocalFileHeader.h"
#include "engine/CVNZipZip64EndOfCentralDirectoryLocator.h"
#include "engine/CVNZipZip64EndOfCentralDirectoryRecord.h"
#include "engine/io/RVDataHandle.h"
#include "engine/io/RVException.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Reads deliver at most `step` bytes, as pipes and part boundaries do.
class StepHandle : public RVDataHandle {
 public:
  StepHandle(std::span<const uint8_t> data, uint64_t step) : RVDataHandle(data), step_(step) {}
  uint64_t readBytesMaxLength(void* b, uint64_t n) override {
    return RVDataHandle::readBytesMaxLength(b, std::min(n, step_));
  }

 private:
  uint64_t step_;
};

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// A time survives a save and a load only as an unsigned 32-bit timestamp.
bool survives(int64_t epoch) { return epoch >= 0 && epoch <= 0xFFFFFFFF; }

void roundTrip(CVNZipCentralFileHeader& h) {
  RVDataHandle out;
  h.saveWithIOHandle(out);
  RVDataHandle in(out.data());
  CVNZipCentralFileHeader back;
  check(back.loadWithIOHandle(in));
  check(in.offset() == out.data().size());
  check(back.versionMadeBy() == h.versionMadeBy());
  check(back.versionNeededToExtract() == h.versionNeededToExtract());
  check(back.generalPurposeBitFlag() == h.generalPurposeBitFlag());
  check(back.compressionMethod() == h.compressionMethod());
  check(back.crc32() == h.crc32());
  check(back.compressedSize() == h.compressedSize());
  check(back.uncompressedSize() == h.uncompressedSize());
  check(back.diskNumberStart() == h.diskNumberStart());
  check(back.internalFileAttributes() == h.internalFileAttributes());
  check(back.externalFileAttributes() == h.externalFileAttributes());
  check(back.relativeOffsetOfLocalHeader() == h.relativeOffsetOfLocalHeader());
  check(back.fileName() == h.fileName());
  check(back.fileComment() == h.fileComment());
  if (survives(h.modificationEpoch())) check(back.modificationEpoch() == h.modificationEpoch());
}

void roundTrip(CVNZipLocalFileHeader& h) {
  Bytes data = h.data();
  RVDataHandle in(data);
  CVNZipLocalFileHeader back;
  check(back.loadWithIOHandle(in));
  check(in.offset() == data.size());
  check(back.versionNeededToExtract() == h.versionNeededToExtract());
  check(back.generalPurposeBitFlag() == h.generalPurposeBitFlag());
  check(back.compressionMethod() == h.compressionMethod());
  check(back.crc32() == h.crc32());
  check(back.compressedSize() == h.compressedSize());
  check(back.uncompressedSize() == h.uncompressedSize());
  check(back.fileName() == h.fileName());
  if (survives(h.modificationEpoch())) check(back.modificationEpoch() == h.modificationEpoch());
  for (auto [loaded, reloaded] : {std::pair{h.accessEpoch(), back.accessEpoch()},
                                  std::pair{h.creationEpoch(), back.creationEpoch()}}) {
    if (loaded == -1 || survives(loaded)) check(reloaded == loaded);
  }
}

// Saving `record` gives back exactly the bytes its load consumed.
template <typename Record>
void savesAsLoaded(Record& record, std::span<const uint8_t> stream, uint64_t start, uint64_t end) {
  RVDataHandle out;
  record.saveWithIOHandle(out);
  check(out.data().size() == end - start);
  check(std::equal(out.data().begin(), out.data().end(), stream.begin() + start));
}

void loadOnce(unsigned kind, std::span<const uint8_t> stream, uint64_t step) {
  StepHandle h(stream, step);
  switch (kind) {
    case 0: {
      CVNZipCentralFileHeader r;
      if (r.loadWithIOHandle(h)) roundTrip(r);
      break;
    }
    case 1: {
      CVNZipLocalFileHeader r;
      if (r.loadWithIOHandle(h)) roundTrip(r);
      break;
    }
    case 2: {
      CVNZipEndOfCentralDirectoryRecord r;
      if (r.loadWithIOHandle(h)) savesAsLoaded(r, stream, 0, h.offset());
      break;
    }
    case 3: {
      CVNZipZip64EndOfCentralDirectoryRecord r;
      if (r.loadWithIOHandle(h)) savesAsLoaded(r, stream, 0, h.offset());
      break;
    }
    case 4: {
      CVNZipZip64EndOfCentralDirectoryLocator r;
      if (r.loadWithIOHandle(h)) savesAsLoaded(r, stream, 0, h.offset());
      break;
    }
    case 5: {
      CVNZipCentralFileHeader r;
      r.setUncompressedSize(0xFFFFFFFF);
      r.setCompressedSize(0xFFFFFFFF);
      r.setRelativeOffsetOfLocalHeader(0xFFFFFFFF);
      r.setDiskNumberStart(0xFFFF);
      r._loadExtraField(Bytes(stream.begin(), stream.end()));
      break;
    }
    case 6: {
      CVNZipLocalFileHeader r;
      r.setUncompressedSize(0xFFFFFFFF);
      r.setCompressedSize(0xFFFFFFFF);
      r._loadExtraField(Bytes(stream.begin(), stream.end()));
      break;
    }
    default: {
      // A directory as the reader walks it: central headers until one does not
      // load, then the end records where the last attempt began.
      CVNZipCentralFileHeader r;
      uint64_t at = 0;
      while (r.loadWithIOHandle(h)) {
        check(h.offset() > at);
        at = h.offset();
      }
      check(h.offset() == at + 4);
      h.seekToOffset(at);
      CVNZipZip64EndOfCentralDirectoryRecord zip64;
      if (zip64.loadWithIOHandle(h)) at = h.offset();
      h.seekToOffset(at);
      CVNZipZip64EndOfCentralDirectoryLocator locator;
      if (locator.loadWithIOHandle(h)) at = h.offset();
      h.seekToOffset(at);
      CVNZipEndOfCentralDirectoryRecord end;
      end.loadWithIOHandle(h);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const uint64_t kSteps[] = {UINT64_MAX, 1, 2, 3, 7, 64, 4096, UINT64_MAX};
  unsigned kind = data[0] & 0x07;
  uint64_t step = kSteps[(data[0] >> 3) & 0x07];
  try {
    loadOnce(kind, std::span<const uint8_t>(data + 1, size - 1), step);
  } catch (const RVException&) {
    // Damaged input is expected to end this way, and only this way.
  }
  return 0;
}
