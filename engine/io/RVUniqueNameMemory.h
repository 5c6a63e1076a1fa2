// Remembers, per requested path, the last number a free-name search handed out,
// so that many requests for one name cost one try each instead of a walk from
// " 2" every time.
#pragma once

#include <string>
#include <unordered_map>

// Folders and files are remembered apart: "x.txt 2" and "x 2.txt" are
// different searches.
class RVUniqueNameMemory {
 public:
  // The first number worth trying for `path`: 1 (the path itself) when nothing
  // is remembered, else one past the last number handed out. The names below it
  // were all taken when they were handed out.
  unsigned long firstNumber(const std::string& path, bool folder) const;
  // `number` was just handed out for `path` (1 for the path itself, which is
  // not kept: it costs no extra try).
  void remember(const std::string& path, bool folder, unsigned long number);
  // The name handed out last for `path` was removed again: the next search
  // starts where the one before it did. Only one step is kept.
  void stepBack(const std::string& path, bool folder);

 private:
  struct Numbers {
    unsigned long last;
    unsigned long previous;  // 0: nothing was remembered before
  };
  std::unordered_map<std::string, Numbers> _numbers;
};
