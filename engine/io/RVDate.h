// Points in time as seconds (with fraction) since 1970-01-01 00:00:00 UTC, and
// the NTFS timestamp conversion the Zip records need.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

using RVDate = std::chrono::time_point<std::chrono::system_clock, std::chrono::duration<double>>;

inline RVDate RVDateWithTimeIntervalSince1970(double seconds) {
  return RVDate(std::chrono::duration<double>(seconds));
}
inline double RVTimeIntervalSince1970(RVDate date) { return date.time_since_epoch().count(); }

// 1601-01-01 00:00:00 UTC, the base of NTFS times.
RVDate _date1601();
// `ticks` 100-nanosecond ticks after _date1601(), to a double's precision.
RVDate dateWithNTFSTimestamp(uint64_t ticks);
// "yyyy-MM-dd HH:mm:ss" in UTC.
std::string GMTDateString(RVDate date);
