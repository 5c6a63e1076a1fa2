// Helpers for the Zip record tests: little-endian byte layouts written by hand,
// the name of a raised RVException, a handle that reads in small steps, and a
// time zone set for the duration of a test.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/io/RVDataHandle.h"
#include "engine/io/RVException.h"

namespace corvana_test {

using Bytes = std::vector<uint8_t>;

// Builds a byte layout: Layout().u32(0x02014B50).u16(20).text("a.txt").bytes()
class Layout {
 public:
  Layout& u8(uint64_t v) { return little(v, 1); }
  Layout& u16(uint64_t v) { return little(v, 2); }
  Layout& u32(uint64_t v) { return little(v, 4); }
  Layout& u64(uint64_t v) { return little(v, 8); }
  Layout& text(const std::string& s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
  }
  Layout& raw(std::span<const uint8_t> b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }
  size_t size() const { return bytes_.size(); }
  operator Bytes() const { return bytes_; }

 private:
  Layout& little(uint64_t v, unsigned width) {
    for (unsigned i = 0; i < width; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Bytes bytes_;
};

inline Bytes textBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The name of the RVException `f` raises, "" when it returns. Anything else
// escapes and fails the test.
inline std::string raisedName(const std::function<void()>& f) {
  try {
    f();
  } catch (const RVException& e) {
    return e.name();
  }
  return "";
}

// A data handle whose reads deliver at most `step` bytes, like a pipe.
class TrickleHandle : public RVDataHandle {
 public:
  TrickleHandle(std::span<const uint8_t> data, uint64_t step) : RVDataHandle(data), step_(step) {}
  uint64_t readBytesMaxLength(void* b, uint64_t n) override {
    return RVDataHandle::readBytesMaxLength(b, std::min(n, step_));
  }

 private:
  uint64_t step_;
};

// Sets TZ (and tzset) for its lifetime and restores the previous value after.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const std::string& zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone.c_str(), 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (old_)
      setenv("TZ", old_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> old_;
};

// Whether the system has the rules of a named zone such as "Europe/Berlin";
// without them the C library silently falls back to UTC.
inline bool haveTimeZone(const std::string& zone) {
  return access(("/usr/share/zoneinfo/" + zone).c_str(), R_OK) == 0;
}

// DOS time and date fields, each field as given (no range checks, so that
// out-of-range values can be written on purpose).
inline uint16_t dosTime(unsigned hour, unsigned minute, unsigned second) {
  return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}
inline uint16_t dosDate(unsigned year, unsigned month, unsigned day) {
  return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

}  // namespace corvana_test
