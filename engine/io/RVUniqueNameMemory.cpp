#include "engine/io/RVUniqueNameMemory.h"

namespace {

// No path ends in NUL, so the folder's key cannot be a file's.
std::string keyOf(const std::string& path, bool folder) { return folder ? path + '\0' : path; }

}  // namespace

unsigned long RVUniqueNameMemory::firstNumber(const std::string& path, bool folder) const {
  auto found = _numbers.find(keyOf(path, folder));
  return found == _numbers.end() ? 1 : found->second.last + 1;
}

void RVUniqueNameMemory::remember(const std::string& path, bool folder, unsigned long number) {
  // A name that was free at once costs one try anyway: only the numbered ones
  // are kept, so that an archive of different names keeps nothing.
  if (number < 2) return;
  auto [found, added] = _numbers.try_emplace(keyOf(path, folder), Numbers{number, 0});
  if (!added) found->second = Numbers{number, found->second.last};
}

void RVUniqueNameMemory::stepBack(const std::string& path, bool folder) {
  auto found = _numbers.find(keyOf(path, folder));
  if (found == _numbers.end()) return;
  if (found->second.previous == 0) {
    _numbers.erase(found);
  } else {
    found->second = Numbers{found->second.previous, 0};
  }
}
