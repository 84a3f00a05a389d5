// DOS dates and times of calendar days and clock times, for tests that expect them: the
// year from 1980 in 7 bits, the month and the day; the hour, the minute and the second halved.
#pragma once

#include <cstdint>

namespace testing_support {

constexpr uint32_t DosDate(int year, int month, int day) {
  return static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
}

// Seconds are rounded down to even, as the format keeps them.
constexpr uint32_t DosTime(int hour, int minute, int second) {
  return static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
}

}  // namespace testing_support
