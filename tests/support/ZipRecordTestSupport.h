// Helpers for the Zip record tests: little-endian byte layouts written by hand
// (with the extra fields they use), a handle that reads in small steps, and a
// time zone set for a test's duration.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/io/RVDataHandle.h"
#include "engine/io/RVException.h"

namespace corvana_test {

using Bytes = std::vector<uint8_t>;

// The escape values of 32- and 16-bit fields, and the name of a cut-off read.
constexpr uint64_t E32 = 0xFFFFFFFF, E16 = 0xFFFF;
inline const std::string kEnd{RVIOHandleEndOfBytesException};

// Builds a byte layout: Layout().u32(0x02014B50).u16(20, 0, 8).text("a.txt").bytes()
class Layout {
 public:
  // Each value in turn, in 1, 2, 4 or 8 bytes.
  Layout& u8(auto... v) { return put(1, {uint64_t(v)...}); }
  Layout& u16(auto... v) { return put(2, {uint64_t(v)...}); }
  Layout& u32(auto... v) { return put(4, {uint64_t(v)...}); }
  Layout& u64(auto... v) { return put(8, {uint64_t(v)...}); }
  Layout& text(const std::string& s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
  }
  Layout& raw(std::span<const uint8_t> b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
  }
  Layout& raw(const Layout& l) { return raw(l.bytes()); }
  const Bytes& bytes() const { return bytes_; }
  operator Bytes() const { return bytes_; }

 private:
  Layout& put(unsigned width, std::initializer_list<uint64_t> values) {
    for (uint64_t v : values)
      for (unsigned i = 0; i < width; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Bytes bytes_;
};

// A Zip64 extra field of 64-bit values alone.
inline Layout zip64(auto... values) {
  return Layout().u16(1, 8 * sizeof...(values)).u64(values...);
}

// An extended timestamp extra field of the flags and times given.
inline Layout ts(uint8_t flags, auto... times) {
  return Layout().u16(0x5455, 1 + 4 * sizeof...(times)).u8(flags).u32(times...);
}

// An NTFS extra field whose attribute 1 holds `times`, in NTFS ticks.
inline Layout ntfs(auto... times) {
  Layout l;
  return l.u16(10, 8 + 8 * sizeof...(times)).u32(0).u16(1, 8 * sizeof...(times)).u64(times...);
}

// Seconds since 1970 as NTFS ticks.
constexpr uint64_t ticks(int64_t seconds) { return (seconds + 11644473600) * 10000000; }

// The record loaded from the start of `b`, which it must fill (or end at `end`).
template <typename Record>
Record loaded(std::span<const uint8_t> b, std::optional<size_t> end = {}) {
  Record r;
  RVDataHandle h(b);
  EXPECT_TRUE(r.loadWithIOHandle(h));
  EXPECT_EQ(h.offset(), end.value_or(b.size()));
  return r;
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
