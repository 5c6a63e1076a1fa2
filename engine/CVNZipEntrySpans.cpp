#include "engine/CVNZipEntrySpans.h"

#include <algorithm>
#include <iterator>

bool CVNZipEntrySpans::overlaps(uint32_t disk, uint64_t start, uint64_t end) const {
  const Key key{disk, start};
  // Spans are disjoint: only the nearest one on each side can meet this one.
  auto meets = [&](const Key& other, uint64_t otherEnd) {
    return other.first == disk && other.second < end && otherEnd > start;
  };
  auto next = std::lower_bound(_inOrder.begin(), _inOrder.end(), key,
                               [](const Span& span, const Key& k) { return span.key < k; });
  if (next != _inOrder.end() && meets(next->key, next->end)) return true;
  if (next != _inOrder.begin() && meets(std::prev(next)->key, std::prev(next)->end)) return true;
  auto after = _others.lower_bound(key);
  if (after != _others.end() && meets(after->first, after->second)) return true;
  return after != _others.begin() && meets(std::prev(after)->first, std::prev(after)->second);
}

void CVNZipEntrySpans::record(uint32_t disk, uint64_t start, uint64_t end) {
  const Key key{disk, start};
  if (_inOrder.empty() || _inOrder.back().key < key) {
    _inOrder.push_back(Span{key, end});
  } else {
    _others.emplace(key, end);
  }
}
