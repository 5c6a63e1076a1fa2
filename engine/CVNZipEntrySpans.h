// The byte spans of an archive's entries that have been extracted, per part,
// to refuse an entry whose bytes another one already used (a few kilobytes of
// archive that claim a thousand copies of one stream).
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

class CVNZipEntrySpans {
 public:
  // Whether [start, end) of part `disk` shares a byte with a recorded span.
  // O(log n).
  bool overlaps(uint32_t disk, uint64_t start, uint64_t end) const;
  // Records [start, end) of part `disk`, which must overlap no recorded span.
  void record(uint32_t disk, uint64_t start, uint64_t end);

 private:
  using Key = std::pair<uint32_t, uint64_t>;  // part, start
  struct Span {
    Key key;
    uint64_t end;
  };
  // Entries usually come in archive order: those that do are appended here,
  // 24 bytes each; the others go to the map. Each holds disjoint spans.
  std::vector<Span> _inOrder;
  std::map<Key, uint64_t> _others;
};
