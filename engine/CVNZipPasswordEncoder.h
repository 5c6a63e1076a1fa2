// Hands out a password as bytes in each candidate encoding of an entry's host
// in turn, skipping encodings that cannot represent it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/CVNStringEncoding.h"

class CVNZipPasswordEncoder {
 public:
  // The candidates of `versionMadeBy` (the UTF-8 flag is not consulted).
  CVNZipPasswordEncoder(uint16_t versionMadeBy, std::u16string password);

  const std::vector<CVNStringEncoding>& encodings() const { return _encodings; }
  const std::u16string& password() const { return _password; }
  // The next candidate to try.
  uint64_t index() const { return _index; }

  // The password in the next candidate that represents it, or none once the
  // candidates are used up (and on every later call). A password every
  // candidate represents alike comes back once per candidate.
  std::optional<std::vector<uint8_t>> nextEncoding();

 private:
  std::vector<CVNStringEncoding> _encodings;
  std::u16string _password;
  uint64_t _index = 0;
};
