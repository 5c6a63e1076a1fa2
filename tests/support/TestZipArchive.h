// Zip archives made and taken apart byte by byte, independently of the engine's
// records: hostile and split archives for the reader, the writer's output held
// to the layout field by field; and a job the tests cancel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/CVNEngineJob.h"

namespace corvana_test {

using Bytes = std::vector<uint8_t>;

uint32_t crc32Of(const Bytes& data);
// Bytes of a fixed pseudo-random sequence.
Bytes randomBytes(size_t length, uint32_t seed);
// zlib's one-shot raw deflate with the codec's parameters (-15, memory level 9).
Bytes rawDeflate(const Bytes& data, int level = -1);
// zlib's own reading of a raw stream; a stream that does not end exactly at the
// last byte fails the calling test.
Bytes rawInflate(const Bytes& raw);

// Stored entries from host MS-DOS, laid out part by part; a name ending in "/"
// is a folder. The central directory and the end record go into the last part.
class TestZipBuilder {
 public:
  TestZipBuilder& add(const std::string& name, const Bytes& data);
  TestZipBuilder& add(const std::string& name, const std::string& data = "");
  // Entries added from now on go into the next part.
  TestZipBuilder& nextPart();
  // Call once. Every part; the last one is the file with the archive's own name.
  std::vector<Bytes> finish(const Bytes& comment = {});
  Bytes archive(const Bytes& comment = {}) { return finish(comment).back(); }

 private:
  std::vector<Bytes> _parts{Bytes{}};
  Bytes _central;
  uint64_t _count = 0;
};

// An entry's central record, Zip64 values applied, and where its data lies.
struct ParsedZipEntry {
  uint16_t versionMadeBy, versionNeeded, flags, method;
  uint32_t crc32, externalAttributes;
  uint64_t compressedSize, uncompressedSize, localHeaderOffset, dataOffset;
  Bytes name, localExtra;
  Bytes data;  // compressedSize bytes, when asked for
};

struct ParsedZipArchive {
  std::vector<ParsedZipEntry> entries;
  // The end record's own fields, escape values included.
  uint16_t endRecordEntryCount;
  uint32_t endRecordDirectoryOffset;
  bool hasZip64EndRecord;
  // After the Zip64 replacement.
  uint64_t entryCount, centralDirectorySize, centralDirectoryOffset;
};

// Takes apart a one-file archive laid out as our writer must: throws
// std::runtime_error at a wrong signature, a record cut off, a disk number
// other than 0, a gap between records, Zip64 end records where nothing needs
// them (or none where something does), or a local header that disagrees with
// its central record.
ParsedZipArchive parseZipArchive(const std::string& path, bool withData = true);

// Cancelled when the test says so, or from the first progress on.
struct TestJob : CVNEngineJob {
  bool isCancelled() const override { return cancelled; }
  void increaseCurrentValue(uint64_t byteCount) override {
    progress += byteCount;
    cancelled |= cancelOnProgress;
  }
  bool cancelled = false, cancelOnProgress = false;
  uint64_t progress = 0;
};

}  // namespace corvana_test
