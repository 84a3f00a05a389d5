// DOS dates and times, as the archive and package records store them: a 16-bit date (bits 9-15
// years since 1980, 5-8 month, 0-4 day) and a 16-bit time (bits 11-15 hours, 5-10 minutes, 0-4
// seconds divided by two). Packed and unpacked here only; header-only and tiny, as the stub's
// platform links it.
#pragma once

#include <cstdint>

namespace dos {

constexpr uint32_t kFirstYear = 1980;
constexpr uint32_t kLastYear = 2107;

// A moment as a DOS date and time hold it: a full year, month 1-12, day 1-31, and a time of day
// in two-second steps.
struct DateTimeFields {
  uint32_t year;
  uint32_t month;
  uint32_t day;
  uint32_t hour;
  uint32_t minute;
  uint32_t second;
};

// The DOS date and time of the fields, seconds rounded down to even; false, writing nothing, for
// a year outside 1980 to 2107. The other fields are the caller's to keep in range.
inline bool PackDateTime(const DateTimeFields& fields, uint32_t* dos_date, uint32_t* dos_time) {
  if (fields.year < kFirstYear || fields.year > kLastYear) return false;
  *dos_date = ((fields.year - kFirstYear) << 9) | (fields.month << 5) | fields.day;
  *dos_time = (fields.hour << 11) | (fields.minute << 5) | (fields.second / 2);
  return true;
}

// The fields of the low 16 bits of a DOS date and time, as stored, even when they name no real
// day or time (month 0, hour 31): judging them is the caller's.
inline DateTimeFields UnpackDateTime(uint32_t dos_date, uint32_t dos_time) {
  return DateTimeFields{kFirstYear + ((dos_date >> 9) & 0x7F),
                        (dos_date >> 5) & 0x0F,
                        dos_date & 0x1F,
                        (dos_time >> 11) & 0x1F,
                        (dos_time >> 5) & 0x3F,
                        (dos_time & 0x1F) * 2};
}

}  // namespace dos
