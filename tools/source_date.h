// Reproducible builds: with SOURCE_DATE_EPOCH set (seconds since 1970-01-01 UTC, the
// reproducible-builds convention), every time pack and build store is clamped to it: a file
// written later than that moment is stored with the moment instead, an older one keeps its own
// time. Two builds of the same inputs are then the same bytes whatever the files' modification
// times; the times are DOS dates and times in UTC, so the machine's time zone never enters.
#pragma once

#include <cstdint>

namespace tool {

class TimeClamp {
 public:
  // No clamp: every time is stored as it is.
  TimeClamp() = default;

  // The clamp the variable's text sets, or none when text is nullptr (the variable is not set).
  // Throws UsageError naming the variable when the text is not decimal digits only, or names a
  // moment before 1980-01-01, the earliest a DOS date holds.
  static TimeClamp FromText(const char* text);
  // From the environment.
  static TimeClamp FromEnvironment();

  bool active() const { return active_; }
  // Lowers a DOS date and time (low 16 bits each, UTC) to the clamp's when they are later.
  void Apply(uint32_t* dos_date, uint32_t* dos_time) const;

 private:
  bool active_ = false;
  uint32_t dos_date_ = 0;
  uint32_t dos_time_ = 0;
};

// The DOS date and time (UTC) of seconds since 1970; false for a moment outside 1980 to 2107.
bool DosDateTimeFromUnixTime(uint64_t seconds, uint32_t* dos_date, uint32_t* dos_time);

}  // namespace tool
