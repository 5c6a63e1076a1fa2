// Helpers for the Zip record tests: little-endian byte layouts written by hand
// (with the extra fields they use), a handle that reads in small steps, the
// checks the central and local header tests share, and a time zone set for a
// test's duration.
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

#include "engine/io/RVDOSTime.h"
#include "engine/io/RVDataHandle.h"
#include "engine/io/RVException.h"
#include "support/TestSupport.h"

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

// The bytes `record` saves.
template <typename Record>
Bytes saved(Record& record) {
  RVDataHandle handle;
  record.saveWithIOHandle(handle);
  return handle.data();
}

// Saving `record` raises an invalid argument before writing a byte.
template <typename Record>
void expectSaveRefused(Record& record) {
  RVDataHandle handle;
  EXPECT_EQ(raisedName([&] { record.saveWithIOHandle(handle); }), RVInvalidArgumentException);
  EXPECT_TRUE(handle.data().empty());
}

// The version needed a saved header holds (at byte `at`) for its name, flag,
// method and sizes; a version set beforehand is replaced.
template <typename Record>
void expectVersionNeeded(size_t at) {
  struct Case {
    const char* name;
    uint16_t flag, method;
    uint64_t uncompressed, compressed;
    uint16_t expected;
  } cases[] = {{"dir/", 0, 0, 0, 0, 20}, {"file", 0, 0, 0, 0, 10},   {"file", 0, 8, 0, 0, 20},
               {"file", 1, 0, 0, 0, 20}, {"", 0, 0, 0, 0, 10},       {nullptr, 0, 0, 0, 0, 10},
               {"/x", 0, 0, 0, 0, 10},   {"f", 0x0800, 0, 0, 0, 10}, {"dir/", 1, 8, 0, 0, 20},
               {"f", 0, 12, 0, 0, 10},   {"dir/", 1, 8, E32, 10, 45}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.name ? c.name : "none") << " " << c.flag << " "
                                    << c.method << " " << c.uncompressed);
    Record r;
    if (c.name) r.setFileName(Bytes(c.name, c.name + std::char_traits<char>::length(c.name)));
    if constexpr (requires { r.setVersionNeededToExtract(99); }) r.setVersionNeededToExtract(99);
    r.setGeneralPurposeBitFlag(c.flag);
    r.setCompressionMethod(c.method);
    r.setUncompressedSize(c.uncompressed);
    r.setCompressedSize(c.compressed);
    Bytes b = saved(r);
    EXPECT_EQ(r.versionNeededToExtract(), c.expected);
    EXPECT_EQ(b[at] | b[at + 1] << 8, c.expected);
  }
}

// A header's load exactly as its steps read, one field at a time through the
// handle (a central header has the fields in brackets): signature, [made by],
// version, flag, method, DOS time and date, CRC, sizes, name, extra [and
// comment] lengths, [disk, attributes, offset,] name, extra, [comment]. The
// version is reported aside too, as the local header has no setter for it.
template <typename Record>
bool fieldByFieldLoad(Record& r, RVIOHandle& h, uint32_t signature,
                      std::optional<uint16_t>& version) {
  constexpr bool central = requires { r.setFileComment(Bytes{}); };
  auto u16 = [&] { return h.readInt16LittleToHost(); };
  auto u32 = [&] { return h.readInt32LittleToHost(); };
  if (u32() != signature) return false;
  if constexpr (central) r.setVersionMadeBy(u16());
  version = u16();
  if constexpr (central) r.setVersionNeededToExtract(*version);
  r.setGeneralPurposeBitFlag(u16());
  r.setCompressionMethod(u16());
  uint16_t time = u16(), date = u16();
  r.setCrc32(u32());
  r.setCompressedSize(u32());
  r.setUncompressedSize(u32());
  uint16_t nameLength = u16(), extraLength = u16(), commentLength = 0;
  if constexpr (central) {
    commentLength = u16();
    r.setDiskNumberStart(u16());
    r.setInternalFileAttributes(u16());
    r.setExternalFileAttributes(u32());
    r.setRelativeOffsetOfLocalHeader(u32());
  }
  r.setFileName(h.readDataOfLength(nameLength));
  Bytes extra = h.readDataOfLength(extraLength);
  if constexpr (central) r.setFileComment(h.readDataOfLength(commentLength));
  r.setModificationEpoch(RVEpochWithDOSTime(time, date));
  r._loadExtraField(extra);
  return true;
}

// Cuts each layout at every length and reads it through handles of each step:
// the load raises, returns, moves and sets fields (the version and `describe`)
// as the field-by-field load does from the same `start`; it raises the end of
// bytes just when a header of `signature` is cut short.
template <typename Record>
void expectCutOffsAsFieldByField(std::initializer_list<Bytes> layouts,
                                 std::initializer_list<uint64_t> steps, const Record& start,
                                 auto describe, uint32_t signature) {
  for (const Bytes& full : layouts) {
    bool own = full.size() >= 4 &&
               Bytes(full.begin(), full.begin() + 4) == Layout().u32(signature).bytes();
    for (size_t length = 0; length <= full.size(); ++length) {
      for (uint64_t step : steps) {
        SCOPED_TRACE(testing::Message() << length << "/" << step);
        std::span<const uint8_t> cut = std::span<const uint8_t>(full).first(length);
        Record expected = start, actual = start;
        std::optional<uint16_t> version;
        TrickleHandle he(cut, step), ha(cut, step);
        bool expectedResult = false, actualResult = false;
        std::string raised = raisedName([&] { actualResult = actual.loadWithIOHandle(ha); });
        ASSERT_EQ(raised, raisedName([&] {
                    expectedResult = fieldByFieldLoad(expected, he, signature, version);
                  }));
        ASSERT_EQ(actualResult, expectedResult);
        ASSERT_EQ(actual.versionNeededToExtract(),
                  version.value_or(start.versionNeededToExtract()));
        ASSERT_EQ(describe(actual), describe(expected));
        ASSERT_EQ(ha.offset(), he.offset());
        ASSERT_EQ(raised, length == full.size() || (length >= 4 && !own) ? "" : kEnd);
      }
    }
  }
}

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
