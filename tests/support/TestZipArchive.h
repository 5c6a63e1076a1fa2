// Zip archives made and taken apart byte by byte, independently of the engine's
// records: the tests build hostile or split archives with them and check what
// the writer wrote field by field.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace corvana_test {

using Bytes = std::vector<uint8_t>;

// One entry as it goes into a hand-made archive. `data` is written as it is
// (already compressed or encrypted when the fields say so).
struct TestZipEntry {
  Bytes name;
  Bytes data;
  uint16_t method = 0;
  uint16_t flags = 0;
  uint16_t versionMadeBy = 20;               // host 0 (MS-DOS)
  std::optional<uint32_t> crc32;             // default: the CRC-32 of `data`
  std::optional<uint64_t> uncompressedSize;  // default: the length of `data`
  uint32_t externalAttributes = 0;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0x21;  // 1980-01-01
};

// Lays out entries part by part; the central directory and the end record go
// into the last part, with the disk numbers of a split archive.
class TestZipBuilder {
 public:
  void addEntry(const TestZipEntry& entry);
  // Entries added from now on go into a new part.
  void startNewPart();
  // Appends the central directory and the end record; returns every part,
  // the last one being the file with the archive's own name.
  std::vector<Bytes> finish(const Bytes& comment = {});

 private:
  std::vector<Bytes> _parts{Bytes{}};
  Bytes _centralDirectory;
  uint64_t _count = 0;
};

// A single-file archive of `entries`.
Bytes buildZipArchive(const std::vector<TestZipEntry>& entries, const Bytes& comment = {});
// The raw deflate stream (no zlib header) of `data`.
Bytes rawDeflate(const Bytes& data, int level = 6);
uint32_t crc32Of(const Bytes& data);

// One entry as found in an archive: its central record and its local header.
struct ParsedZipEntry {
  uint16_t versionMadeBy = 0;
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc32 = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint32_t diskNumberStart = 0;
  uint16_t internalAttributes = 0;
  uint32_t externalAttributes = 0;
  uint64_t localHeaderOffset = 0;
  Bytes name;
  Bytes extra;
  Bytes comment;

  uint16_t localVersionNeeded = 0;
  uint16_t localFlags = 0;
  uint16_t localMethod = 0;
  uint32_t localCrc32 = 0;
  uint64_t localCompressedSize = 0;
  uint64_t localUncompressedSize = 0;
  Bytes localName;
  Bytes localExtra;
  // Where the data starts, and the data itself (compressedSize bytes).
  uint64_t dataOffset = 0;
  Bytes data;
};

struct ParsedZipArchive {
  std::vector<ParsedZipEntry> entries;
  uint64_t endRecordOffset = 0;
  bool hasZip64EndRecord = false;
  uint64_t entryCount = 0;
  uint64_t centralDirectorySize = 0;
  uint64_t centralDirectoryOffset = 0;
  uint16_t endRecordEntryCount = 0;
  Bytes comment;
};

// Takes a single-file archive apart; throws std::runtime_error when its
// structure is broken (no end record, records cut off, wrong signatures).
ParsedZipArchive parseZipArchive(const Bytes& archive);

}  // namespace corvana_test
