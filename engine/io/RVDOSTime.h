// Time conversions of the Zip records: the DOS time and date (local time) to and
// from whole seconds since 1970, and those seconds to and from points in time.
// Seconds are signed 64-bit; -1 stands for "no time".
#pragma once

#include <cstdint>
#include <optional>

#include "engine/io/RVDate.h"

// The two 16-bit DOS fields. time: hour << 11 | minute << 5 | second / 2;
// date: (year - 1980) << 9 | month << 5 | day, month counted from 1.
struct RVDOSTime {
  uint16_t time = 0;
  uint16_t date = 0;
};

// `epoch` in local time (localtime_r). Years outside 1980...2107 wrap modulo 128.
// -1 is converted like any other second. An instant the system cannot break
// down at all (far beyond any calendar year an int holds) gives 1980-01-01 00:00:00.
RVDOSTime RVDOSTimeWithEpoch(int64_t epoch);

// The DOS fields taken as local time, daylight saving time decided by the zone's
// rules, normalised as mktime does: out-of-range fields carry into the next
// larger unit (day 0 is the last day of the previous month). -1 when mktime
// cannot represent the result.
int64_t RVEpochWithDOSTime(uint16_t time, uint16_t date);
int64_t RVEpochWithDOSTime(RVDOSTime dos);

// None for -1, else the instant `epoch` seconds after 1970-01-01 00:00:00 UTC.
std::optional<RVDate> RVDateWithEpoch(int64_t epoch);
// -1 for none, else the whole seconds since 1970 truncated toward zero. A time
// beyond the 64-bit range saturates; a NaN counts as none.
int64_t RVEpochWithDate(std::optional<RVDate> date);

// Makes local-time conversions read the system's time zone once for the
// process: with TZ unset, the C library checks /etc/localtime again at every
// conversion, a system call per DOS time. Same zone either way. Call at the
// start of main, before any thread.
void RVPinLocalTimeZone();
