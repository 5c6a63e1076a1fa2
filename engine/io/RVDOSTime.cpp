#include "engine/io/RVDOSTime.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>

RVDOSTime RVDOSTimeWithEpoch(int64_t epoch) {
  time_t t = static_cast<time_t>(epoch);
  struct tm tm {};
  if (!localtime_r(&t, &tm)) return RVDOSTime{0, (1 << 5) | 1};
  RVDOSTime dos;
  dos.time = static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  // The year field has seven bits; the masked difference is the non-negative
  // residue modulo 128, also for years before 1980.
  unsigned year = static_cast<unsigned>(static_cast<int64_t>(tm.tm_year) + 1900 - 1980) & 0x7F;
  dos.date = static_cast<uint16_t>((year << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  return dos;
}

int64_t RVEpochWithDOSTime(uint16_t time, uint16_t date) {
  struct tm tm {};
  tm.tm_sec = 2 * (time & 0x1F);
  tm.tm_min = (time >> 5) & 0x3F;
  tm.tm_hour = time >> 11;
  tm.tm_mday = date & 0x1F;
  tm.tm_mon = ((date >> 5) & 0x0F) - 1;
  tm.tm_year = 1980 + (date >> 9) - 1900;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&tm));
}

int64_t RVEpochWithDOSTime(RVDOSTime dos) { return RVEpochWithDOSTime(dos.time, dos.date); }

std::optional<RVDate> RVDateWithEpoch(int64_t epoch) {
  if (epoch == -1) return std::nullopt;
  return RVDateWithTimeIntervalSince1970(static_cast<double>(epoch));
}

int64_t RVEpochWithDate(std::optional<RVDate> date) {
  if (!date) return -1;
  double seconds = std::trunc(RVTimeIntervalSince1970(*date));
  if (std::isnan(seconds)) return -1;
  // 2^63 is exactly representable; anything at or above it would overflow the cast.
  constexpr double kLimit = 9223372036854775808.0;
  if (seconds >= kLimit) return std::numeric_limits<int64_t>::max();
  if (seconds < -kLimit) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(seconds);
}

void RVPinLocalTimeZone() {
  if (std::getenv("TZ") == nullptr) ::setenv("TZ", ":/etc/localtime", 0);
  ::tzset();
}
