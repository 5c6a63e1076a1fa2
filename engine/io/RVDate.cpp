#include "engine/io/RVDate.h"

#include <cmath>
#include <cstdio>
#include <ctime>

RVDate _date1601() { return RVDateWithTimeIntervalSince1970(-11644473600.0); }

RVDate dateWithNTFSTimestamp(uint64_t ticks) {
  double seconds = static_cast<double>(ticks) / 10 / 1000 / 1000;
  return _date1601() + std::chrono::duration<double>(seconds);
}

std::string GMTDateString(RVDate date) {
  double seconds = std::floor(RVTimeIntervalSince1970(date));
  time_t t = static_cast<time_t>(seconds);
  struct tm tm;
  if (!gmtime_r(&t, &tm)) return "";
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}
